#include "platform/user/privileges.h"

#include <sys/capability.h>

#include <cerrno>
#include <iterator>

namespace user {
namespace {

constexpr int kNone = -1;

struct Row {
    std::u16string_view name;
    int capability;
};

// The privileges and the capability each maps to. The value of a privilege is its row number
// plus one.
//
// Why each capability: what the privilege lets its holder do on its own platform, and which
// capability lets a Linux process do that thing. kNone where Linux asks for no capability (every
// process may already do it: creating symbolic links or global objects, traversing directories it
// may search is a permission, not a privilege) or where nothing of Linux corresponds (machine and
// delegation accounts, credential manager, docking, unsolicited input, sync agents, time zones,
// which are per process or a file here). Acting as part of the operating system and creating
// tokens have no one capability that matches; they stay without one rather than map to a
// capability that grants far more.
constexpr Row kPrivileges[] = {
    {u"SeAssignPrimaryTokenPrivilege", CAP_SETUID},       // give a process another identity
    {u"SeAuditPrivilege", CAP_AUDIT_WRITE},               // write audit records
    {u"SeBackupPrivilege", CAP_DAC_READ_SEARCH},          // read any file
    {u"SeChangeNotifyPrivilege", kNone},                  // traversal: a permission here
    {u"SeCreateGlobalPrivilege", kNone},                  // anyone may create IPC objects
    {u"SeCreatePagefilePrivilege", CAP_SYS_ADMIN},        // swapon
    {u"SeCreatePermanentPrivilege", kNone},
    {u"SeCreateSymbolicLinkPrivilege", kNone},            // anyone may symlink
    {u"SeCreateTokenPrivilege", kNone},
    {u"SeDebugPrivilege", CAP_SYS_PTRACE},                // trace any process
    {u"SeEnableDelegationPrivilege", kNone},
    {u"SeImpersonatePrivilege", CAP_SETUID},              // act under another uid (setfsuid)
    {u"SeIncreaseBasePriorityPrivilege", CAP_SYS_NICE},   // raise priorities
    {u"SeIncreaseQuotaPrivilege", CAP_SYS_RESOURCE},      // raise resource limits
    {u"SeIncreaseWorkingSetPrivilege", kNone},            // no working-set quota here
    {u"SeLoadDriverPrivilege", CAP_SYS_ADMIN},            // the host mounts FUSE volumes
    {u"SeLockMemoryPrivilege", CAP_IPC_LOCK},             // mlock
    {u"SeMachineAccountPrivilege", kNone},
    {u"SeManageVolumePrivilege", CAP_SYS_ADMIN},          // mount, file-system administration
    {u"SeProfileSingleProcessPrivilege", CAP_PERFMON},    // perf on a process
    {u"SeRelabelPrivilege", CAP_MAC_ADMIN},               // change mandatory-access labels
    {u"SeRemoteShutdownPrivilege", CAP_SYS_BOOT},
    {u"SeRestorePrivilege", CAP_DAC_OVERRIDE},            // write any file
    {u"SeSecurityPrivilege", CAP_AUDIT_CONTROL},          // manage auditing and the audit log
    {u"SeShutdownPrivilege", CAP_SYS_BOOT},               // reboot
    {u"SeSyncAgentPrivilege", kNone},
    {u"SeSystemEnvironmentPrivilege", CAP_SYS_ADMIN},     // firmware variables
    {u"SeSystemProfilePrivilege", CAP_PERFMON},           // system-wide profiling
    {u"SeSystemtimePrivilege", CAP_SYS_TIME},             // set the clock
    {u"SeTakeOwnershipPrivilege", CAP_FOWNER},            // act as any file's owner
    {u"SeTcbPrivilege", kNone},
    {u"SeTimeZonePrivilege", kNone},                      // TZ is per process
    {u"SeTrustedCredManAccessPrivilege", kNone},
    {u"SeUndockPrivilege", kNone},
    {u"SeUnsolicitedInputPrivilege", kNone},
};

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

const Row* RowOf(PrivilegeValue privilege) {
    if (privilege.value == 0 || privilege.value > std::size(kPrivileges)) {
        return nullptr;
    }
    return &kPrivileges[privilege.value - 1];
}

}  // namespace

std::uint32_t LookupPrivilegeValue(std::u16string_view name, PrivilegeValue* privilege) {
    for (std::size_t i = 0; i < std::size(kPrivileges); ++i) {
        if (SameName(kPrivileges[i].name, name)) {
            privilege->value = static_cast<std::uint32_t>(i + 1);
            return 0;
        }
    }
    return 1313;  // ERROR_NO_SUCH_PRIVILEGE
}

int CapabilityOfPrivilege(PrivilegeValue privilege) {
    const Row* row = RowOf(privilege);
    return row == nullptr ? kNone : row->capability;
}

std::uint32_t EnablePrivilege(PrivilegeValue privilege, bool* allAssigned) {
    *allAssigned = true;
    const Row* row = RowOf(privilege);
    if (row == nullptr) {
        return 1313;
    }
    if (row->capability == kNone) {
        return 0;
    }
    // A capability this kernel does not know cannot be held.
    if (!CAP_IS_SUPPORTED(row->capability)) {
        *allAssigned = false;
        return 0;
    }
    std::uint32_t result = 0;
    cap_t caps = cap_get_proc();
    if (caps == nullptr) {
        return 8;  // ERROR_NOT_ENOUGH_MEMORY: the only way cap_get_proc fails
    }
    const cap_value_t value = row->capability;
    cap_flag_value_t permitted = CAP_CLEAR;
    cap_flag_value_t effective = CAP_CLEAR;
    if (cap_get_flag(caps, value, CAP_PERMITTED, &permitted) != 0 ||
        cap_get_flag(caps, value, CAP_EFFECTIVE, &effective) != 0) {
        result = 87;
    } else if (permitted != CAP_SET) {
        *allAssigned = false;
    } else if (effective != CAP_SET) {
        if (cap_set_flag(caps, CAP_EFFECTIVE, 1, &value, CAP_SET) != 0 || cap_set_proc(caps) != 0) {
            result = errno == EPERM ? 5 : 87;
        }
    }
    cap_free(caps);
    return result;
}

}  // namespace user
