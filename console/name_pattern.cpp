#include "name_pattern.h"

#include "text_conversion.h"

namespace vesk::console {

namespace {

bool SameCharacter(char16_t pattern, char16_t name) {
    return pattern == u'?' || pattern == name || UpperCase(pattern) == UpperCase(name);
}

// One pattern without ';'. The classic two-cursor glob match: on a mismatch the last '*' takes
// one more character of the name and matching resumes after it; earlier stars never need to be
// revisited, because the last one can absorb whatever an earlier one could have.
bool MatchOne(std::u16string_view name, std::u16string_view pattern) {
    if (pattern == u"*.*") {
        return true;
    }
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::u16string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && SameCharacter(pattern[p], name[n])) {
            ++p;
            ++n;
        } else if (starPattern != std::u16string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesNamePattern(std::u16string_view name, std::u16string_view patterns) {
    while (true) {
        const std::size_t end = patterns.find(u';');
        std::u16string_view pattern = patterns.substr(0, end);
        while (!pattern.empty() && pattern.front() == u' ') {
            pattern.remove_prefix(1);
        }
        if (MatchOne(name, pattern)) {
            return true;
        }
        if (end == std::u16string_view::npos) {
            return false;
        }
        patterns.remove_prefix(end + 1);
    }
}

}  // namespace vesk::console
