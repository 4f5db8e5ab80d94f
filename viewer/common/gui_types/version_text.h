#pragma once

#include <string>

namespace nimbrel {

// "major.minor.release", followed by " build N" when the build number is not 0: "3.1.0 build 17".
std::string FormatVersionText(int major, int minor, int release, int build);

// The viewer's own version text, from the version the build compiles into every program. The
// monitoring service must report exactly this text.
std::string VersionText();

}  // namespace nimbrel
