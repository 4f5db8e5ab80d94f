#include "platform/kernel/sid.h"

#include <gtest/gtest.h>

namespace {

using namespace kernel;

TEST(SidTest, TextRoundTripsAndMeasures) {
    struct Case {
        const char* text;
        std::size_t length;
    };
    const Case cases[] = {
        {"S-1-1-0", 12},
        {"S-1-5-18", 12},
        {"S-1-22-1-1000", 16},
        {"S-1-5-21-1000-2000-3000-1001", 28},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", 68},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto sid = SidFromString(c.text);
        ASSERT_EQ(sid.size(), c.length);
        EXPECT_TRUE(IsValidSid(sid.data(), sid.size()));
        EXPECT_EQ(SidLength(sid.data()), c.length);
        EXPECT_EQ(SidToString(sid.data()), c.text);
    }
}

TEST(SidTest, RejectsMalformedText) {
    for (const char* bad : {"", "S-", "S-1", "S-2-5-18", "X-1-5", "S-1-5-", "S-1-5--1",
                            "S-1-5-4294967296", "S-1-281474976710656",
                            "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
        EXPECT_TRUE(SidFromString(bad).empty()) << bad;
    }
}

TEST(SidTest, BinaryLayoutIsRevisionCountAuthorityThenSubAuthorities) {
    const auto sid = SidFromString("S-1-5-18");
    const std::vector<std::uint8_t> expected{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_EQ(sid, expected);
}

TEST(SidTest, ValidityChecksRevisionCountAndSpace) {
    auto sid = SidFromString("S-1-5-18");
    EXPECT_FALSE(IsValidSid(sid.data(), 11));  // one byte short
    sid[0] = 2;
    EXPECT_FALSE(IsValidSid(sid.data(), sid.size()));
    sid[0] = 1;
    sid[1] = 16;
    EXPECT_FALSE(IsValidSid(sid.data(), 200));
}

TEST(SidTest, CopyRefusesASmallDestination) {
    const auto sid = SidFromString("S-1-5-18");
    std::uint8_t out[12] = {};
    EXPECT_EQ(CopySid(11, out, sid.data()), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(CopySid(12, out, sid.data()), STATUS_SUCCESS);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 12), sid);
}

}  // namespace
