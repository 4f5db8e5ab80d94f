// The command line of veskd: the command word and its arguments, checked and dispatched.
#pragma once

#include <string>
#include <vector>

#include "console_io.h"

namespace vesk::console {

// arguments: everything after the program's name. Every outcome, errors included, is text on
// the output; the program's exit code does not depend on it.
void RunCommandLine(const std::vector<std::string>& arguments, const ConsoleIo& io);

}  // namespace vesk::console
