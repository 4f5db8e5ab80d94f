// A list of text lines (the string-list properties of remotable objects) and its text form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

using TStringList = std::vector<std::string>;

// Every line followed by CR LF.
std::string StringsToText(const TStringList& Lines);

// Lines split at CR LF, CR or LF; a line break at the very end does not start another line.
TStringList TextToStrings(std::string_view Text);

}  // namespace nimbrel
