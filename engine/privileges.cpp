// Enabling a privilege in the caller's token, by its index in the table below.

#include <iterator>
#include <string_view>

#include "last_error.h"
#include "platform/user/privileges.h"
#include "vesk/vesklib.h"

namespace vesk::engine {
namespace {

constexpr std::u16string_view kPrivilegeNames[] = {
    u"SeAssignPrimaryTokenPrivilege",   u"SeAuditPrivilege",
    u"SeBackupPrivilege",               u"SeChangeNotifyPrivilege",
    u"SeCreateGlobalPrivilege",         u"SeCreatePagefilePrivilege",
    u"SeCreatePermanentPrivilege",      u"SeCreateSymbolicLinkPrivilege",
    u"SeCreateTokenPrivilege",          u"SeDebugPrivilege",
    u"SeEnableDelegationPrivilege",     u"SeImpersonatePrivilege",
    u"SeIncreaseBasePriorityPrivilege", u"SeIncreaseQuotaPrivilege",
    u"SeIncreaseWorkingSetPrivilege",   u"SeLoadDriverPrivilege",
    u"SeLockMemoryPrivilege",           u"SeMachineAccountPrivilege",
    u"SeManageVolumePrivilege",         u"SeProfileSingleProcessPrivilege",
    u"SeRelabelPrivilege",              u"SeRemoteShutdownPrivilege",
    u"SeRestorePrivilege",              u"SeSecurityPrivilege",
    u"SeShutdownPrivilege",             u"SeSyncAgentPrivilege",
    u"SeSystemEnvironmentPrivilege",    u"SeSystemProfilePrivilege",
    u"SeSystemtimePrivilege",           u"SeTakeOwnershipPrivilege",
    u"SeTcbPrivilege",                  u"SeTimeZonePrivilege",
    u"SeTrustedCredManAccessPrivilege", u"SeUndockPrivilege",
    u"SeUnsolicitedInputPrivilege",
};
static_assert(std::size(kPrivilegeNames) == 35);

}  // namespace
}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" VESK_API VeskBool VeskEnablePrivilege(uint32_t privilege) {
    if (privilege >= std::size(kPrivilegeNames)) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    user::PrivilegeValue value;
    std::uint32_t error = user::LookupPrivilegeValue(kPrivilegeNames[privilege], &value);
    if (error == 0) {
        // Whether the caller held the privilege is not asked: a later call that needs it says so.
        bool allAssigned = true;
        error = user::EnablePrivilege(value, &allAssigned);
    }
    SetLastError(error);
    return error == 0;
}
