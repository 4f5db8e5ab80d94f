#include "object_namespace.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/process.h"
#include "platform/kernel/string_routines.h"
#include "platform/kernel/symbolic_link.h"

namespace kernel {

// A handle to an opened link: a paged pool block holding a copy of the target, so that the link
// may be removed from the namespace while the handle is open.
class SymbolicLink {
  public:
    std::uint16_t targetBytes;
    char16_t target[1];
};

}  // namespace kernel

namespace kernel::objects {
namespace {

constexpr std::uint32_t kLinkHandleTag = MakePoolTag("ObSl");
constexpr int kMaxLinkDepth = 32;

struct Entry {
    std::u16string name;  // as inserted
    bool link = false;
    std::u16string target;
    DriveType driveType = DRIVE_UNKNOWN;
};

// The namespace lock is a host mutex held only while the map is read or changed; nothing that
// waits or allocates pool runs under it.
struct State {
    std::mutex lock;
    std::map<std::u16string, Entry> entries;  // by upper-cased name
    NTSTATUS deviceMapFailure = STATUS_SUCCESS;
};

State& S() {
    static State state;
    return state;
}

std::u16string Fold(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        c = UpcaseUnicodeChar(c);
    }
    return folded;
}

bool StartsWithFolded(const std::u16string& folded, std::u16string_view prefix) {
    return folded.size() >= prefix.size() && folded.compare(0, prefix.size(), prefix) == 0;
}

// True when some entry lies below the folded directory name. Caller holds the lock.
bool IsDirectoryLocked(const std::u16string& folded) {
    const std::u16string below = folded + u'\\';
    auto it = S().entries.lower_bound(below);
    return it != S().entries.end() && StartsWithFolded(it->first, below);
}

// The caller's logon session, after its effective token.
std::optional<Luid> CallerLogonId() {
    Thread* thread = CurrentThread();
    ImpersonationLevel level;
    Luid id{0, 0};
    if (Token* token = ReferenceImpersonationToken(thread, &level)) {
        const NTSTATUS status = QueryAuthenticationIdToken(token, &id);
        DereferenceImpersonationToken(token);
        return NtSuccess(status) ? std::optional<Luid>(id) : std::nullopt;
    }
    Token* token = ReferencePrimaryToken(ThreadToProcess(thread));
    if (token == nullptr) {
        return std::nullopt;
    }
    const NTSTATUS status = QueryAuthenticationIdToken(token, &id);
    DereferencePrimaryToken(token);
    return NtSuccess(status) ? std::optional<Luid>(id) : std::nullopt;
}

// Finds the object a name designates, following links met before the last component. Caller
// holds the lock; logonDirectory is the caller's session directory, folded (may be empty).
NTSTATUS LookupLocked(std::u16string_view name, const std::u16string& logonDirectory, int depth,
                      Entry* found) {
    if (depth > kMaxLinkDepth) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    if (name.empty() || name.front() != u'\\') {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    const std::u16string folded = Fold(name);
    for (std::u16string_view dosDevices :
         {std::u16string_view(u"\\??\\"), std::u16string_view(u"\\DOSDEVICES\\")}) {
        if (StartsWithFolded(folded, dosDevices)) {
            const std::u16string_view rest = name.substr(dosDevices.size());
            if (!logonDirectory.empty() && IsDirectoryLocked(logonDirectory)) {
                const NTSTATUS status = LookupLocked(logonDirectory + u'\\' + std::u16string(rest),
                                                     logonDirectory, depth + 1, found);
                if (status != STATUS_OBJECT_NAME_NOT_FOUND &&
                    status != STATUS_OBJECT_PATH_NOT_FOUND) {
                    return status;
                }
            }
            return LookupLocked(u"\\GLOBAL??\\" + std::u16string(rest), logonDirectory, depth + 1,
                                found);
        }
    }

    std::size_t end = 0;
    while (true) {
        const std::size_t start = end + 1;
        end = folded.find(u'\\', start);
        if (end == start || start == folded.size()) {
            return STATUS_OBJECT_NAME_INVALID;  // an empty component
        }
        const bool last = end == std::u16string::npos;
        const std::u16string prefix = last ? folded : folded.substr(0, end);
        auto it = S().entries.find(prefix);
        if (last) {
            if (it == S().entries.end()) {
                return STATUS_OBJECT_NAME_NOT_FOUND;
            }
            if (!it->second.link) {
                return STATUS_OBJECT_TYPE_MISMATCH;
            }
            *found = it->second;
            return STATUS_SUCCESS;
        }
        if (it != S().entries.end()) {
            if (!it->second.link) {
                // The rest of the name is the device's to interpret: it names no link.
                return STATUS_OBJECT_TYPE_MISMATCH;
            }
            return LookupLocked(it->second.target + std::u16string(name.substr(end)),
                                logonDirectory, depth + 1, found);
        }
        if (!IsDirectoryLocked(prefix)) {
            return STATUS_OBJECT_PATH_NOT_FOUND;
        }
    }
}

void FillDrivesLocked(const std::u16string& directory, ProcessDeviceMap* map) {
    for (int letter = 0; letter < 26; ++letter) {
        if ((map->DriveMap >> letter) & 1U) {
            continue;  // a session's letter hides the global one
        }
        std::u16string name = directory + u'\\' + static_cast<char16_t>(u'A' + letter) + u':';
        auto it = S().entries.find(Fold(name));
        if (it != S().entries.end() && it->second.link) {
            map->DriveMap |= 1U << letter;
            map->DriveType[letter] = it->second.driveType;
        }
    }
}

}  // namespace

void InsertObject(std::u16string_view name) {
    std::lock_guard lock(S().lock);
    S().entries[Fold(name)] = Entry{std::u16string(name), false, u"", DRIVE_UNKNOWN};
}

void InsertSymbolicLink(std::u16string_view name, std::u16string_view target, DriveType driveType) {
    std::lock_guard lock(S().lock);
    S().entries[Fold(name)] = Entry{std::u16string(name), true, std::u16string(target), driveType};
}

void Remove(std::u16string_view name) {
    std::lock_guard lock(S().lock);
    S().entries.erase(Fold(name));
}

void Clear() {
    std::lock_guard lock(S().lock);
    S().entries.clear();
    S().deviceMapFailure = STATUS_SUCCESS;
}

void FailDeviceMapQueries(NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().deviceMapFailure = status;
}

std::u16string LogonSessionDosDevices(const Luid& logonId) {
    char text[64];
    std::snprintf(text, sizeof text, "\\Sessions\\0\\DosDevices\\%08X-%08X",
                  static_cast<unsigned>(logonId.HighPart), static_cast<unsigned>(logonId.LowPart));
    return std::u16string(text, text + std::strlen(text));
}

}  // namespace kernel::objects

namespace kernel {

NTSTATUS OpenSymbolicLinkObject(const UnicodeString& name, SymbolicLink** link) {
    using namespace objects;
    if (CurrentIrql() >= DISPATCH_LEVEL) {
        BugCheck("OpenSymbolicLinkObject at DISPATCH_LEVEL or above");
    }
    const std::optional<Luid> logonId = CallerLogonId();
    const std::u16string logonDirectory =
        logonId ? Fold(LogonSessionDosDevices(*logonId)) : std::u16string();
    Entry found;
    {
        std::lock_guard lock(S().lock);
        const NTSTATUS status = LookupLocked(std::u16string_view(name.Buffer, CharCount(name)),
                                             logonDirectory, 0, &found);
        if (!NtSuccess(status)) {
            return status;
        }
    }
    const std::size_t bytes = found.target.size() * sizeof(char16_t);
    auto* handle = static_cast<SymbolicLink*>(
        AllocatePool(PoolType::Paged, sizeof(SymbolicLink) + bytes, kLinkHandleTag));
    if (handle == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    handle->targetBytes = static_cast<std::uint16_t>(bytes);
    std::memcpy(handle->target, found.target.data(), bytes);
    *link = handle;
    return STATUS_SUCCESS;
}

NTSTATUS QuerySymbolicLinkObject(SymbolicLink* link, UnicodeString* target,
                                 std::uint32_t* returnedLength) {
    const std::uint32_t needed = link->targetBytes + sizeof(char16_t);
    if (returnedLength != nullptr) {
        *returnedLength = needed;
    }
    if (link->targetBytes > target->MaximumLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (link->targetBytes != 0) {
        std::memcpy(target->Buffer, link->target, link->targetBytes);
    }
    target->Length = link->targetBytes;
    if (needed <= target->MaximumLength) {
        target->Buffer[link->targetBytes / sizeof(char16_t)] = u'\0';
    }
    return STATUS_SUCCESS;
}

void CloseSymbolicLink(SymbolicLink* link) {
    FreePool(link, objects::kLinkHandleTag);
}

NTSTATUS QueryDeviceMap(const Luid* logonId, ProcessDeviceMap* map) {
    using namespace objects;
    *map = ProcessDeviceMap{};
    std::lock_guard lock(S().lock);
    if (!NtSuccess(S().deviceMapFailure)) {
        return S().deviceMapFailure;
    }
    if (logonId != nullptr) {
        FillDrivesLocked(LogonSessionDosDevices(*logonId), map);
    }
    FillDrivesLocked(u"\\GLOBAL??", map);
    return STATUS_SUCCESS;
}

NTSTATUS QueryProcessDeviceMap(Process* process, ProcessDeviceMap* map) {
    if (CurrentIrql() >= DISPATCH_LEVEL) {
        BugCheck("QueryProcessDeviceMap at DISPATCH_LEVEL or above");
    }
    Token* token = ReferencePrimaryToken(process);
    if (token == nullptr) {
        return QueryDeviceMap(nullptr, map);
    }
    Luid logonId{0, 0};
    const NTSTATUS status = QueryAuthenticationIdToken(token, &logonId);
    DereferencePrimaryToken(token);
    if (!NtSuccess(status)) {
        return status;
    }
    return QueryDeviceMap(&logonId, map);
}

}  // namespace kernel
