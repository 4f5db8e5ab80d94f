// Privileges of the user-mode face: the system's "Se...Privilege" names over Linux capabilities.
//
// Every name of the table looks up. Where a capability corresponds, enabling the privilege raises
// that capability in the calling thread's effective set, provided the thread holds it in its
// permitted set (Linux keeps capabilities per thread: threads created afterwards inherit it, other
// threads keep theirs). Where none corresponds, enabling succeeds and changes nothing.
//
// The table and the reasons for each row are in privileges.cpp.
#pragma once

#include <cstdint>
#include <string_view>

namespace user {

struct PrivilegeValue {
    std::uint32_t value = 0;  // this platform's own identifier of the privilege (not a capability)
};

// 0, or 1313 (ERROR_NO_SUCH_PRIVILEGE) for a name the table does not hold. Names compare without
// regard to case.
std::uint32_t LookupPrivilegeValue(std::u16string_view name, PrivilegeValue* privilege);

// The capability a privilege maps to, or -1 when none does (or the value is unknown).
int CapabilityOfPrivilege(PrivilegeValue privilege);

// Enables the privilege. 0 on success, and *allAssigned says whether the thread held it (false
// when the capability is not in its permitted set, which leaves its sets as they were: the
// system's code 1300, not all assigned). An error code (1313 unknown value, or the failure of the
// capability calls) otherwise.
std::uint32_t EnablePrivilege(PrivilegeValue privilege, bool* allAssigned);

}  // namespace user
