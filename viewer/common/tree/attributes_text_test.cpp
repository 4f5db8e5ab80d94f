#include "tree/attributes_text.h"

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

TEST(AttributesToText, LettersInFixedOrder) {
    const struct {
        std::uint32_t flags;
        const char* text;
    } cases[] = {
        {0, ""},
        {0x80, ""},
        {0x2000 | 0x400 | 0x200, ""},
        {0x21, "AR"},
        {0x16, "DSH"},
        {0x10010, "DV"},
        {0x1000, "O"},
        {0x4800, "CE"},
        {0x100, "T"},
        {0xFFFFFFFF, "DASHRTCEVO"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AttributesToText(c.flags), c.text) << std::hex << c.flags;
    }
}

}  // namespace
}  // namespace nimbrel
