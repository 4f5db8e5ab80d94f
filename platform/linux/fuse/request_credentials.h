// Runs a FUSE request with its caller's file-system identity on the worker thread: fsuid, fsgid
// and supplementary groups, so the real operation is checked and owned as the caller's own.
// Only this thread changes: setfsuid and setfsgid are per thread, and the groups are set with the
// raw system call, since the C library's setgroups changes every thread of the process.
#pragma once

#include <sys/types.h>

#include <vector>

namespace linux_fuse {

struct Credentials {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

class CredentialScope {
  public:
    // The host's own credentials are put back when the scope ends.
    explicit CredentialScope(const Credentials& caller);
    ~CredentialScope();
    CredentialScope(const CredentialScope&) = delete;
    CredentialScope& operator=(const CredentialScope&) = delete;

  private:
    std::vector<gid_t> savedGroups_;
    uid_t savedUid_;
    gid_t savedGid_;
};

}  // namespace linux_fuse
