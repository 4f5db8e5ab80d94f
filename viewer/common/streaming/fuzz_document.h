// Documents for the fuzz targets. The XML parser is not instrumented, so the fuzzer cannot learn
// XML syntax from coverage; besides raw bytes it therefore gets documents built from tokens
// (tags, names and value texts of the viewer's format), one token per input byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel::fuzzing {

inline constexpr std::string_view kTokens[] = {
    "<root>",
    "</root>",
    "<items>",
    "</items>",
    "<item>",
    "</item>",
    "<id>",
    "</id>",
    "<kind>",
    "</kind>",
    "<userid>",
    "</userid>",
    "<procid>",
    "</procid>",
    "<operdata>",
    "</operdata>",
    "<timestamp>",
    "</timestamp>",
    "<key>",
    "</key>",
    "<value>",
    "</value>",
    "<status>",
    "</status>",
    "<message>",
    "</message>",
    "<command>",
    "</command>",
    "<email>",
    "</email>",
    "<filter>",
    "</filter>",
    "<pathnames>",
    "</pathnames>",
    "<operkinds>",
    "</operkinds>",
    "<runtimedbsize>",
    "</runtimedbsize>",
    "<name>",
    "</name>",
    "<frequency>",
    "</frequency>",
    "<attributes>",
    "</attributes>",
    "<pastdate>",
    "</pastdate>",
    "<x/>",
    "0",
    "1",
    "-1",
    "3",
    "5",
    "255",
    "4294967296",
    "18446744073709551615",
    "18446744073709551616",
    "-9223372036854775809",
    "true",
    "FALSE",
    "abc",
    "1.5E-7",
    "2024-03-05T14:07:09",
    "2024-02-30",
    "2024.03.05T14.07.09",
    "YQ0KYg0K",
    "===",
    "\r\n",
    " ",
    "&amp;",
    "&#13;",
    "&#0;",
    "<![CDATA[",
    "]]>",
    "<!--",
    "-->",
    "<",
    ">",
    "/",
    "\xC3\xA9",
    "\xFF",
    "XmlGetFiles",
    "xmlgetfiles",
    "<?xml version=\"1.0\"?>",
};

// The document spelled by Bytes, one token per byte.
inline std::string TokenDocument(const std::uint8_t* Bytes, std::size_t Size) {
    std::string text;
    for (std::size_t i = 0; i < Size; ++i) {
        text += kTokens[Bytes[i] % std::size(kTokens)];
    }
    return text;
}

}  // namespace nimbrel::fuzzing
