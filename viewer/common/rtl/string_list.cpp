#include "rtl/string_list.h"

namespace nimbrel {

std::string StringsToText(const TStringList& Lines) {
    std::string text;
    for (const auto& line : Lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

TStringList TextToStrings(std::string_view Text) {
    TStringList lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(Text.substr(start));
            break;
        }
        lines.emplace_back(Text.substr(start, end - start));
        start = end + (Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

}  // namespace nimbrel
