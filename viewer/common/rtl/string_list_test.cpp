#include "rtl/string_list.h"

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

TEST(StringList, TextEndsEveryLineWithCRLF) {
    EXPECT_EQ(StringsToText({"a", "b"}), "a\r\nb\r\n");
    EXPECT_EQ(StringsToText({}), "");
    EXPECT_EQ(StringsToText({""}), "\r\n");
}

TEST(StringList, LinesSplitAtAnyLineBreak) {
    const struct {
        const char* text;
        TStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"a\r\n\r\n", {"a", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextToStrings(c.text), c.lines) << c.text;
    }
}

}  // namespace
}  // namespace nimbrel
