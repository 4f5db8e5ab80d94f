#include "text/text_encoding.h"

#include <string>
#include <system_error>

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

struct EncodeCase {
    const char* name;
    std::string utf8;
    std::string encoded;
};

TEST(TextEncoderTest, Utf16LittleEndianWithReplacementForBrokenInput) {
    TTextEncoder encoder(TTextEncoding::Utf16LE);
    EXPECT_EQ(encoder.ByteOrderMark(), "\xFF\xFE");
    const EncodeCase cases[] = {
        {"ascii and latin", "A\xC3\xA9", std::string("A\0\xE9\0", 4)},
        {"euro sign", "\xE2\x82\xAC", "\xAC\x20"},
        {"outside the BMP as a surrogate pair", "\xF0\x9F\x98\x80",
         std::string("\x3D\xD8\x00\xDE", 4)},
        {"a cut sequence", "a\xC3", std::string("a\0\xFD\xFF", 4)},
        {"a stray byte inside",
         "a\xFF"
         "b",
         std::string("a\0\xFD\xFF"
                     "b\0",
                     6)},
        {"empty", "", ""},
    };
    for (const EncodeCase& c : cases) {
        EXPECT_EQ(encoder.Encode(c.utf8), c.encoded) << c.name;
    }
    // Far more output than the first guess of its size.
    EXPECT_EQ(encoder.Encode(std::string(10000, 'a')).size(), 20000u);
}

TEST(TextEncoderTest, EightBitCodePageReplacesWhatItLacks) {
    TTextEncoder encoder(std::string("CP1252"));
    EXPECT_EQ(encoder.ByteOrderMark(), "");
    const EncodeCase cases[] = {
        {"ascii", "plain.txt", "plain.txt"},
        {"latin and euro", "\xC3\xA9\xE2\x82\xAC", "\xE9\x80"},
        {"a letter the code page lacks, as one mark", "x\xCE\xA9y", "x?y"},
        {"a stray byte", "\xFF", "?"},
    };
    for (const EncodeCase& c : cases) {
        EXPECT_EQ(encoder.Encode(c.utf8), c.encoded) << c.name;
    }
}

TEST(TextEncoderTest, Utf8PassesThrough) {
    TTextEncoder encoder(TTextEncoding::Utf8);
    EXPECT_EQ(encoder.ByteOrderMark(), "\xEF\xBB\xBF");
    EXPECT_EQ(encoder.Encode("Gr\xC3\xBC\xC3\x9F"
                             "e"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
}

TEST(TextEncoderTest, AnsiIsTheCodesetOfTheCLibraryLocale) {
    // The tests run in the "C" locale, whose codeset is ASCII.
    TTextEncoder encoder(TTextEncoding::Ansi);
    EXPECT_EQ(encoder.ByteOrderMark(), "");
    EXPECT_EQ(encoder.Encode("a\xC3\xA9"
                             "b"),
              "a?b");
}

TEST(TextEncoderTest, UnknownCodesetIsRefused) {
    EXPECT_THROW(TTextEncoder(std::string("NO-SUCH-CODESET")), std::system_error);
}

}  // namespace
}  // namespace nimbrel
