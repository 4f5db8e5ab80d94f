#include "settings/format.h"

#include <array>
#include <charconv>
#include <cmath>

namespace nimbrel {

namespace {

struct ByteUnit {
    std::uint64_t below;  // the first count that takes the next unit
    double divisor;
    const char* name;
};

constexpr std::array<ByteUnit, 4> kUnits{{
    {1'000'000ULL, 1024.0, "kB"},
    {1'000'000'000ULL, 1048576.0, "MB"},
    {1'000'000'000'000ULL, 1073741824.0, "GB"},
    {UINT64_MAX, 1099511627776.0, "TB"},
}};

// `value` with `decimals` fraction digits, rounded as printf's "%.*f" rounds, with the locale's
// decimal separator. to_chars ignores the C library's locale, so the separator is ours alone.
std::string FixedText(double value, int decimals, const LocaleFormat& format) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    std::string text(buffer.data(), result.ptr);
    if (const auto point = text.find('.'); point != std::string::npos) {
        text.replace(point, 1, format.decimal_separator);
    }
    return text;
}

bool EndsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace

std::string FormatBytes(std::uint64_t value) {
    return FormatBytes(value, CurrentLocaleFormat());
}

std::string FormatBytes(std::uint64_t value, const LocaleFormat& format) {
    if (value < 1000) {
        return std::to_string(value) + ' ' + Pluralize("byte", static_cast<std::int64_t>(value));
    }
    const ByteUnit* unit = &kUnits.back();
    for (const ByteUnit& candidate : kUnits) {
        if (value < candidate.below) {
            unit = &candidate;
            break;
        }
    }
    const double x = static_cast<double>(value) / unit->divisor;
    int decimals = 0;
    if (x != std::floor(x)) {
        decimals = x < 10 ? 2 : x < 100 ? 1 : 0;
    }
    return FixedText(x, decimals, format) + ' ' + unit->name;
}

std::string Pluralize(std::string_view word, std::int64_t count) {
    std::string result(word);
    if (count == 1) {
        return result;
    }
    if (EndsWith(word, "s") || EndsWith(word, "x") || EndsWith(word, "z") || EndsWith(word, "ch") ||
        EndsWith(word, "sh")) {
        return result + "es";
    }
    if (word.size() >= 2 && word.back() == 'y' &&
        std::string_view("bcdfghjklmnpqrstvwxz").find(word[word.size() - 2]) !=
            std::string_view::npos) {
        result.pop_back();
        return result + "ies";
    }
    return result + "s";
}

std::string DateTimeToStr(TDateTime value) {
    return DateTimeToStr(value, Now(), CurrentLocaleFormat());
}

std::string DateTimeToStr(TDateTime value, TDateTime now, const LocaleFormat& format) {
    if (std::fabs(value) <= 1e-12) {
        return "None";
    }
    const std::string time = FormatDateTime(format.short_time_format, value);
    const long long day = DayNumber(value);
    const long long today = DayNumber(now);
    if (day == today) {
        return "Today " + time;
    }
    if (day == today - 1) {
        return "Yesterday " + time;
    }
    if (day == today + 1) {
        return "Tomorrow " + time;
    }
    return FormatDateTime(format.short_date_format, value) + ' ' + time;
}

}  // namespace nimbrel
