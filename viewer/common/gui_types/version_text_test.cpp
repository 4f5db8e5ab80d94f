#include "gui_types/version_text.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vesk_version.h>

namespace nimbrel {
namespace {

TEST(VersionTextTest, BuildNumberOnlyWhenNotZero) {
    EXPECT_EQ(FormatVersionText(2, 0, 1, 0), "2.0.1");
    EXPECT_EQ(FormatVersionText(2, 0, 1, 34), "2.0.1 build 34");
    EXPECT_EQ(FormatVersionText(3, 1, 0, 17), "3.1.0 build 17");
}

TEST(VersionTextTest, IsTheBuildsVersion) {
    // Read the other way round: from the dotted version text the build was configured with.
    std::vector<std::string> parts;
    std::istringstream dotted(VESK_VERSION_STRING);
    for (std::string part; std::getline(dotted, part, '.');) {
        parts.push_back(part);
    }
    ASSERT_GE(parts.size(), 3u);
    std::string expected = parts[0] + "." + parts[1] + "." + parts[2];
    if (parts.size() > 3 && parts[3] != "0") {
        expected += " build " + parts[3];
    }
    EXPECT_EQ(VersionText(), expected);
}

}  // namespace
}  // namespace nimbrel
