#include "locale/locale_format.h"

#include <langinfo.h>
#include <clocale>
#include <optional>
#include <string_view>
#include <utility>

namespace nimbrel {

namespace {

std::optional<LocaleFormat>& Current() {
    static std::optional<LocaleFormat> current;
    return current;
}

}  // namespace

LocaleFormat LocaleFormat::FromSystem() {
    LocaleFormat format;
    if (const std::lconv* conv = std::localeconv();
        conv != nullptr && conv->decimal_point != nullptr && *conv->decimal_point != '\0') {
        format.decimal_separator = conv->decimal_point;
    }
    format.list_separator = format.decimal_separator == "," ? ";" : ",";
    if (const char* date = nl_langinfo(D_FMT); date != nullptr && *date != '\0') {
        format.short_date_format = date;
    }
    const std::string_view time = nl_langinfo(T_FMT);
    const bool twelve_hour = time.find("%r") != std::string_view::npos ||
                             time.find("%p") != std::string_view::npos ||
                             time.find("%I") != std::string_view::npos;
    format.short_time_format = twelve_hour ? "%-I:%M %p" : "%H:%M";
    return format;
}

const LocaleFormat& CurrentLocaleFormat() {
    auto& current = Current();
    if (!current) {
        current = LocaleFormat::FromSystem();
    }
    return *current;
}

void SetCurrentLocaleFormat(LocaleFormat format) {
    Current() = std::move(format);
}

}  // namespace nimbrel
