#include "request_credentials.h"

#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace linux_fuse {
namespace {

std::vector<gid_t> ThreadGroups() {
    const long count = syscall(SYS_getgroups, 0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0) {
        const long got = syscall(SYS_getgroups, count, groups.data());
        groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return groups;
}

void SetThreadGroups(const std::vector<gid_t>& groups) {
    (void)syscall(SYS_setgroups, groups.size(), groups.empty() ? nullptr : groups.data());
}

}  // namespace

CredentialScope::CredentialScope(const Credentials& caller)
    : savedGroups_(ThreadGroups()),
      savedUid_(static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1)))),
      savedGid_(static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1)))) {
    // Groups and gid first: changing the fsuid away from 0 drops the capabilities these need.
    SetThreadGroups(caller.groups);
    setfsgid(caller.gid);
    setfsuid(caller.uid);
}

CredentialScope::~CredentialScope() {
    setfsuid(savedUid_);
    setfsgid(savedGid_);
    SetThreadGroups(savedGroups_);
}

}  // namespace linux_fuse
