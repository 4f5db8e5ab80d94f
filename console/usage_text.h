// The usage text: the short form (syntax) and the full form (commands, parameters, examples).
#pragma once

#include <string>

namespace vesk::console {

std::string UsageText(bool full);

}  // namespace vesk::console
