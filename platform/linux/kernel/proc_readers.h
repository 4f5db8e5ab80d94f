// What /proc says about a task: the readers parse the text of /proc/<id>/status, /proc/<id>/stat
// and /proc/<id>/sessionid; the Read... functions fetch it. Kept apart from the objects built on
// them so the parsing can be checked against fixed texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linux_kernel {

// The fields of /proc/<id>/status the kernel face needs.
struct TaskStatus {
    std::uint32_t threadGroup = 0;  // Tgid: the process
    std::uint32_t parent = 0;       // PPid
    std::uint32_t realUid = 0;      // Uid: real, effective, saved, file system
    std::uint32_t effectiveUid = 0;
    std::uint32_t fsUid = 0;
    std::uint32_t realGid = 0;
    std::uint32_t fsGid = 0;
};

// nullopt when a needed line is missing or malformed.
std::optional<TaskStatus> ParseTaskStatus(std::string_view text);

// The session id (field 6) of /proc/<id>/stat; the command in field 2 may hold spaces and
// parentheses, so fields are counted from the last ')'.
std::optional<std::uint32_t> ParseStatSession(std::string_view text);

// The audit login session of /proc/<id>/sessionid; 4294967295 means unset.
constexpr std::uint32_t kUnsetAuditSession = 4294967295U;
std::optional<std::uint32_t> ParseSessionId(std::string_view text);

// The logon id the system uses: the audit login session when set, else the session id.
std::uint32_t LogonIdOf(std::optional<std::uint32_t> auditSession, std::uint32_t session);

// Readers of the live files; nullopt when the task is gone or the file unreadable.
std::optional<std::string> ReadProcFile(std::uint32_t id, const char* name);
std::optional<TaskStatus> ReadTaskStatus(std::uint32_t id);
std::optional<std::uint32_t> ReadSession(std::uint32_t id);
std::optional<std::uint32_t> ReadAuditSession(std::uint32_t id);
// The target of /proc/<id>/exe ("/usr/bin/sh"); empty when unreadable (a kernel thread, a task
// gone, or a process without an image).
std::string ReadImagePath(std::uint32_t id);

}  // namespace linux_kernel
