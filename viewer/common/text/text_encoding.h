#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// The encodings the viewer writes text files in. Texts inside the viewer are UTF-8.
enum class TTextEncoding : std::uint8_t {
    Ansi = 0,  // the system's 8-bit code page: the codeset of the C library's locale
    Utf8 = 1,
    Utf16LE = 2,
};

// The codeset of the C library's current locale ("UTF-8", "ISO-8859-1", ...).
std::string SystemCodeset();

// Converts UTF-8 text to one encoding through iconv(3). A character the target cannot hold, and a
// broken UTF-8 sequence, become "?" in an 8-bit codeset and U+FFFD in UTF-16, so a file is always
// written whole. UTF-8 (also as the system's codeset) passes through unchanged.
class TTextEncoder {
  public:
    explicit TTextEncoder(TTextEncoding encoding);
    // An 8-bit codeset by its iconv name ("CP1252"): the Ansi encoding of a given code page.
    explicit TTextEncoder(const std::string& codeset);
    TTextEncoder(TTextEncoder&& other) noexcept;
    TTextEncoder& operator=(TTextEncoder&&) = delete;
    TTextEncoder(const TTextEncoder&) = delete;
    TTextEncoder& operator=(const TTextEncoder&) = delete;
    ~TTextEncoder();

    std::string Encode(std::string_view utf8);

    // EF BB BF for UTF-8, FF FE for UTF-16; none for an 8-bit codeset.
    std::string_view ByteOrderMark() const { return FByteOrderMark; }

  private:
    void Open(const std::string& codeset);

    void* FConverter = nullptr;  // iconv_t; null when the text passes through
    std::string_view FReplacement = "?";
    std::string_view FByteOrderMark;
};

}  // namespace nimbrel
