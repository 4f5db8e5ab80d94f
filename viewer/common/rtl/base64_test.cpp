#include "rtl/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace nimbrel {
namespace {

TEST(Base64, EncodesWithFillAndDecodesBack) {
    const struct {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"a\r\nb\r\n", "YQ0KYg0K"},
        {std::string("\xFF\x00\xFE", 3), "/wD+"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Base64Encode(c.bytes), c.text);
        EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
    }
}

TEST(Base64, BreaksLinesAfterSeventySixCharacters) {
    const std::string bytes(57 * 2, 'x');  // exactly two full lines of 76 characters
    const std::string text = Base64Encode(bytes);
    ASSERT_EQ(text.size(), 76u * 2 + 2);
    EXPECT_EQ(text.substr(76, 2), "\r\n");
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");  // no break after the last line
    EXPECT_EQ(Base64Encode(std::string(58, 'x')).find("\r\n"), 76u);
    EXPECT_EQ(Base64Decode(text), bytes);
}

TEST(Base64, DecoderIgnoresCharactersOutsideTheAlphabet) {
    EXPECT_EQ(Base64Decode("YQ0K\r\nYg0K"), "a\r\nb\r\n");
    EXPECT_EQ(Base64Decode("Y Q\t=="), "a");
    EXPECT_EQ(Base64Decode("YWJj=garbage"), "abc");
    EXPECT_EQ(Base64Decode("YWJjZ"), "abc");  // a single leftover character is no byte
    EXPECT_EQ(Base64Decode("%%%"), "");
}

}  // namespace
}  // namespace nimbrel
