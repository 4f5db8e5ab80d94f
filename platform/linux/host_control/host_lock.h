// The host's pidfile "<run directory>/host.pid" and its lock.
//
// A running host holds an exclusive flock on the pidfile for its whole life, so the lock, not the
// file, says whether a host runs: a host that died (even by SIGKILL) leaves a file nobody holds.
// The file holds the host's pid as text, for people.
#pragma once

#include <memory>
#include <string>

namespace host_control {

std::string HostSocketPath();  // "<run directory>/host.sock"
std::string HostPidPath();     // "<run directory>/host.pid"

class HostLock {
  public:
    // Takes the lock and writes the pid. Null with *error = EEXIST when another host holds it,
    // or the errno of the failing call.
    static std::unique_ptr<HostLock> Acquire(int* error);
    // Removes the socket and the pidfile while still holding the lock, then lets it go, so a new
    // host never finds this host's files.
    ~HostLock();
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

  private:
    explicit HostLock(int fd) : fd_(fd) {}
    int fd_;
};

// Whether a live host holds the lock.
bool HostRunning();

// When no host holds the lock, removes what a dead one left (socket and pidfile) and returns true;
// false when a host runs.
bool CleanDeadHost();

}  // namespace host_control
