#include "rtl/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "rtl/exceptions.h"

namespace nimbrel {
namespace {

[[noreturn]] void RaiseNotInteger(std::string_view Text) {
    throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
}

// Digits only, at least one, all consumed.
bool ParseDigits(std::string_view Digits, std::uint64_t& Value) {
    if (Digits.empty()) {
        return false;
    }
    const char* end = Digits.data() + Digits.size();
    const auto [ptr, ec] = std::from_chars(Digits.data(), end, Value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

bool TryStrToInt64(std::string_view Text, std::int64_t& Value) {
    bool negative = false;
    if (!Text.empty() && (Text.front() == '-' || Text.front() == '+')) {
        negative = Text.front() == '-';
        Text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    if (!ParseDigits(Text, magnitude)) {
        return false;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > kMax + 1) {
            return false;
        }
        Value = magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                                      : -static_cast<std::int64_t>(magnitude);
    } else {
        if (magnitude > kMax) {
            return false;
        }
        Value = static_cast<std::int64_t>(magnitude);
    }
    return true;
}

bool TryStrToUInt64(std::string_view Text, std::uint64_t& Value) {
    if (!Text.empty() && Text.front() == '+') {
        Text.remove_prefix(1);
    }
    return ParseDigits(Text, Value);
}

std::int32_t StrToInt(std::string_view Text) {
    std::int64_t value = 0;
    if (!TryStrToInt64(Text, value) || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        RaiseNotInteger(Text);
    }
    return static_cast<std::int32_t>(value);
}

std::int64_t StrToInt64(std::string_view Text) {
    std::int64_t value = 0;
    if (!TryStrToInt64(Text, value)) {
        RaiseNotInteger(Text);
    }
    return value;
}

std::uint64_t StrToUInt64(std::string_view Text) {
    std::uint64_t value = 0;
    if (!TryStrToUInt64(Text, value)) {
        RaiseNotInteger(Text);
    }
    return value;
}

std::string FloatToStr(double Value) {
    if (std::isnan(Value)) {
        return "NAN";
    }
    if (std::isinf(Value)) {
        return Value < 0 ? "-INF" : "INF";
    }
    if (Value == 0) {
        return "0";
    }
    // Round to 15 significant digits first; the rounded exponent decides the layout.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(Value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    const int exponent = std::atoi(p + 1);
    digits.erase(digits.find_last_not_of('0') + 1);

    std::string text = Value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += 'E';
        text += std::to_string(exponent);
    } else if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            text += digits;
            text.append(integerDigits - digits.size(), '0');
        } else {
            text.append(digits, 0, integerDigits);
            text += '.';
            text.append(digits, integerDigits);
        }
    } else {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    }
    return text;
}

bool TryStrToFloat(std::string_view Text, double& Value) {
    if (!Text.empty() && Text.front() == '+') {
        Text.remove_prefix(1);
        if (!Text.empty() && Text.front() == '-') {
            return false;
        }
    }
    if (Text.empty()) {
        return false;
    }
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, Value, std::chars_format::general);
    return ec == std::errc() && ptr == end;
}

}  // namespace nimbrel
