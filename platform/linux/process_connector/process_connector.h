// The kernel's process connector (netlink, CN_IDX_PROC): a listener thread that turns fork, exec,
// exit and identity-change events into calls of a sink. Forks of threads are left out; exits of
// threads other than a process's first are told apart from a process's exit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/kernel/status.h"

namespace linux_kernel {

struct ProcessEvent {
    enum class Kind : std::uint8_t {
        Fork,
        Exec,
        Exit,
        ThreadExit,  // a thread other than the process's first ended
        Identity,    // the process changed its uids, gids or session
        Overrun,     // events were lost: what was learned from them may be stale
    };
    Kind kind;
    std::uint32_t processId;       // the process (thread group) concerned
    std::uint32_t parentId;        // fork: the parent's process id
    std::uint32_t actingThreadId;  // fork: the forking thread; exec and exit: the process's
    std::int32_t exitCode;         // exit: the process's wait status as the kernel reports it
};

// The exit code a process's wait status stands for: the status it passed to exit, or 128 plus
// the number of the signal that ended it, as shells report it.
std::uint32_t ExitCodeOfWaitStatus(std::int32_t waitStatus);

class ProcessConnector {
  public:
    using Sink = std::function<void(const ProcessEvent&)>;

    // Subscribes and starts the listener thread; STATUS_ACCESS_DENIED without CAP_NET_ADMIN,
    // STATUS_NOT_SUPPORTED on a kernel without the connector.
    static kernel::NTSTATUS Start(Sink sink, std::unique_ptr<ProcessConnector>* connector);
    // Unsubscribes, then ends the listener once its current call of the sink returned.
    ~ProcessConnector();

    ProcessConnector(const ProcessConnector&) = delete;
    ProcessConnector& operator=(const ProcessConnector&) = delete;

  private:
    ProcessConnector() = default;
    void Run();

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace linux_kernel
