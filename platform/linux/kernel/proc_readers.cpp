#include "proc_readers.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <climits>

namespace linux_kernel {
namespace {

std::optional<std::uint32_t> Number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

// The whitespace-separated fields after "Name:" on the line that starts with it.
std::optional<std::string_view> Line(std::string_view text, std::string_view key) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == ':') {
            return line.substr(key.size() + 1);
        }
        at = end + 1;
    }
    return std::nullopt;
}

// The index-th (0-based) whitespace-separated field.
std::optional<std::uint32_t> Field(std::string_view fields, int index) {
    int current = 0;
    std::size_t at = 0;
    while (at < fields.size()) {
        while (at < fields.size() && (fields[at] == ' ' || fields[at] == '\t')) {
            ++at;
        }
        if (at >= fields.size()) {
            break;
        }
        std::size_t end = at;
        while (end < fields.size() && fields[end] != ' ' && fields[end] != '\t') {
            ++end;
        }
        if (current == index) {
            return Number(fields.substr(at, end - at));
        }
        ++current;
        at = end;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TaskStatus> ParseTaskStatus(std::string_view text) {
    const auto tgid = Line(text, "Tgid");
    const auto ppid = Line(text, "PPid");
    const auto uid = Line(text, "Uid");
    const auto gid = Line(text, "Gid");
    if (!tgid || !ppid || !uid || !gid) {
        return std::nullopt;
    }
    TaskStatus status;
    const auto group = Field(*tgid, 0);
    const auto parent = Field(*ppid, 0);
    const auto realUid = Field(*uid, 0);
    const auto effectiveUid = Field(*uid, 1);
    const auto fsUid = Field(*uid, 3);
    const auto realGid = Field(*gid, 0);
    const auto fsGid = Field(*gid, 3);
    if (!group || !parent || !realUid || !effectiveUid || !fsUid || !realGid || !fsGid) {
        return std::nullopt;
    }
    status.threadGroup = *group;
    status.parent = *parent;
    status.realUid = *realUid;
    status.effectiveUid = *effectiveUid;
    status.fsUid = *fsUid;
    status.realGid = *realGid;
    status.fsGid = *fsGid;
    return status;
}

std::optional<std::uint32_t> ParseStatSession(std::string_view text) {
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    // After the command: state (3), ppid (4), pgrp (5), session (6).
    return Field(text.substr(close + 1), 3);
}

std::optional<std::uint32_t> ParseSessionId(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    return Number(text);
}

std::uint32_t LogonIdOf(std::optional<std::uint32_t> auditSession, std::uint32_t session) {
    return auditSession && *auditSession != kUnsetAuditSession ? *auditSession : session;
}

std::optional<std::string> ReadProcFile(std::uint32_t id, const char* name) {
    const std::string path = "/proc/" + std::to_string(id) + "/" + name;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

std::optional<TaskStatus> ReadTaskStatus(std::uint32_t id) {
    const auto text = ReadProcFile(id, "status");
    return text ? ParseTaskStatus(*text) : std::nullopt;
}

std::optional<std::uint32_t> ReadSession(std::uint32_t id) {
    const auto text = ReadProcFile(id, "stat");
    return text ? ParseStatSession(*text) : std::nullopt;
}

std::optional<std::uint32_t> ReadAuditSession(std::uint32_t id) {
    const auto text = ReadProcFile(id, "sessionid");
    return text ? ParseSessionId(*text) : std::nullopt;
}

std::string ReadImagePath(std::uint32_t id) {
    const std::string link = "/proc/" + std::to_string(id) + "/exe";
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
        return {};
    }
    return std::string(target, static_cast<std::size_t>(length));
}

}  // namespace linux_kernel
