#include "mountinfo.h"

#include <charconv>

namespace mounts {
namespace {

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

// The next field separated by single spaces; false at the end of the line.
bool NextField(std::string_view* line, std::string_view* field) {
    if (line->empty()) {
        return false;
    }
    const std::size_t space = line->find(' ');
    *field = line->substr(0, space);
    line->remove_prefix(space == std::string_view::npos ? line->size() : space + 1);
    return !field->empty();
}

bool ParseInt(std::string_view text, int* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string UnescapeMountPath(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && IsOctal(text[i + 1]) &&
            IsOctal(text[i + 2]) && IsOctal(text[i + 3])) {
            const int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            if (value <= 0xFF) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::optional<MountEntry> ParseMountInfoLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    MountEntry entry;
    std::string_view field;
    std::string_view deviceNumbers, options;
    if (!NextField(&line, &field) || !ParseInt(field, &entry.id) || !NextField(&line, &field) ||
        !ParseInt(field, &entry.parentId) || !NextField(&line, &deviceNumbers) ||
        deviceNumbers.find(':') == std::string_view::npos || !NextField(&line, &field)) {
        return std::nullopt;
    }
    entry.device = std::string(deviceNumbers);
    entry.root = UnescapeMountPath(field);
    if (!NextField(&line, &field)) {
        return std::nullopt;
    }
    entry.mountPoint = UnescapeMountPath(field);
    if (!NextField(&line, &options)) {
        return std::nullopt;
    }
    // Optional fields ("shared:1", "master:2", ...) end at a lone "-".
    for (;;) {
        if (!NextField(&line, &field)) {
            return std::nullopt;
        }
        if (field == "-") {
            break;
        }
    }
    if (!NextField(&line, &field)) {
        return std::nullopt;
    }
    entry.fsType = UnescapeMountPath(field);
    if (!NextField(&line, &field)) {
        return std::nullopt;
    }
    entry.source = UnescapeMountPath(field);
    return entry;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (auto entry = ParseMountInfoLine(text.substr(0, end))) {
            entries.push_back(std::move(*entry));
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return entries;
}

bool IsVeskMount(const MountEntry& entry) {
    return entry.fsType == kVeskFsType;
}

}  // namespace mounts
