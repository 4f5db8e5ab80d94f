#include "gui_types/natural_compare.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

int Sign(int value) {
    return (value > 0) - (value < 0);
}

struct Case {
    const char* a;
    const char* b;
    int sign;
};

TEST(CompareNaturalTest, DigitRunsByValueLettersWithoutCase) {
    const Case cases[] =
        {
            {"file2", "file10", -1}, {"2", "10", -1},         {"x9y", "x10y", -1},
            {"a10b2", "a10b10", -1}, {"File10", "file10", 0}, {"ABC", "abc", 0},
            {"a", "B", -1},  // by letter, not by character code ("B" < "a")
            {"abc", "abd", -1},      {"", "a", -1},           {"", "", 0},
        };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(CompareNatural(c.a, c.b)), c.sign) << c.a << " : " << c.b;
        EXPECT_EQ(Sign(CompareNatural(c.b, c.a)), -c.sign) << c.b << " : " << c.a;
    }
}

TEST(CompareNaturalTest, SortsNamesAsPeopleCount) {
    std::vector<std::string> names{"file20.log", "File2.log", "file10.log", "file1.log", "b.txt"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNatural(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "file1.log", "File2.log", "file10.log",
                                               "file20.log"}));
}

}  // namespace
}  // namespace nimbrel
