// Decimal text forms of numbers, independent of the user's locale: the forms that travel in the
// viewer's XML documents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// An optional sign ("+" or "-") and decimal digits, nothing else (no white space). The raising
// forms throw EConvertError "'<text>' is not a valid integer value".
bool TryStrToInt64(std::string_view Text, std::int64_t& Value);
bool TryStrToUInt64(std::string_view Text, std::uint64_t& Value);  // no "-" accepted
std::int32_t StrToInt(std::string_view Text);
std::int64_t StrToInt64(std::string_view Text);
std::uint64_t StrToUInt64(std::string_view Text);

// General format with up to 15 significant digits, "." as decimal separator, no grouping;
// scientific (mantissa, "E", exponent without "+" or leading zeros, as in 1E20 or 1.5E-7) when
// the magnitude is below 0.00001 or the value has more than 15 integer digits. NaN and the
// infinities are "NAN", "INF" and "-INF".
std::string FloatToStr(double Value);

// A decimal or scientific number with "." as decimal separator; false for anything else.
bool TryStrToFloat(std::string_view Text, double& Value);

}  // namespace nimbrel
