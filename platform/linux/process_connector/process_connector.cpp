#include "process_connector.h"

#include <linux/cn_proc.h>
#include <linux/connector.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/error_table.h"

namespace linux_kernel {

struct ProcessConnector::State {
    int socket = -1;
    int stop = -1;  // eventfd that ends the listener
    Sink sink;
    std::thread listener;
};

namespace {

// Sends the subscription switch (listen or ignore).
bool SendOperation(int socket, proc_cn_mcast_op operation) {
    alignas(nlmsghdr) std::uint8_t request[NLMSG_SPACE(sizeof(cn_msg) + sizeof(proc_cn_mcast_op))]{};
    auto* header = reinterpret_cast<nlmsghdr*>(request);
    header->nlmsg_len = NLMSG_LENGTH(sizeof(cn_msg) + sizeof(proc_cn_mcast_op));
    header->nlmsg_type = NLMSG_DONE;
    header->nlmsg_pid = 0;
    auto* message = static_cast<cn_msg*>(NLMSG_DATA(header));
    message->id.idx = CN_IDX_PROC;
    message->id.val = CN_VAL_PROC;
    message->len = sizeof(proc_cn_mcast_op);
    std::memcpy(message->data, &operation, sizeof operation);
    return send(socket, request, header->nlmsg_len, 0) == static_cast<ssize_t>(header->nlmsg_len);
}

}  // namespace

std::uint32_t ExitCodeOfWaitStatus(std::int32_t waitStatus) {
    const int signal = waitStatus & 0x7F;
    if (signal != 0) {
        return 128U + static_cast<std::uint32_t>(signal);
    }
    return (static_cast<std::uint32_t>(waitStatus) >> 8) & 0xFFU;
}

kernel::NTSTATUS ProcessConnector::Start(Sink sink, std::unique_ptr<ProcessConnector>* connector) {
    connector->reset();
    const int fd = socket(PF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_CONNECTOR);
    if (fd < 0) {
        return platform::NtStatusFromErrno(errno);
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = CN_IDX_PROC;
    address.nl_pid = 0;  // the kernel picks a port id
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !SendOperation(fd, PROC_CN_MCAST_LISTEN)) {
        const int error = errno;
        close(fd);
        return platform::NtStatusFromErrno(error);
    }
    const int stop = eventfd(0, EFD_CLOEXEC);
    if (stop < 0) {
        const int error = errno;
        close(fd);
        return platform::NtStatusFromErrno(error);
    }
    std::unique_ptr<ProcessConnector> created(new ProcessConnector);
    created->state_ = std::make_unique<State>();
    created->state_->socket = fd;
    created->state_->stop = stop;
    created->state_->sink = std::move(sink);
    ProcessConnector* self = created.get();
    created->state_->listener = std::thread([self] { self->Run(); });
    *connector = std::move(created);
    return kernel::STATUS_SUCCESS;
}

ProcessConnector::~ProcessConnector() {
    if (!state_) {
        return;
    }
    (void)SendOperation(state_->socket, PROC_CN_MCAST_IGNORE);
    const std::uint64_t one = 1;
    (void)!write(state_->stop, &one, sizeof one);
    if (state_->listener.joinable()) {
        state_->listener.join();
    }
    close(state_->socket);
    close(state_->stop);
}

void ProcessConnector::Run() {
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        pollfd fds[2] = {{state_->socket, POLLIN, 0}, {state_->stop, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        const ssize_t received = recv(state_->socket, buffer, sizeof buffer, 0);
        if (received <= 0) {
            if (received < 0 && errno == ENOBUFS) {
                // Events were lost under load; later ones still come.
                state_->sink({ProcessEvent::Kind::Overrun, 0, 0, 0, 0});
                continue;
            }
            if (received < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        int left = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_ERROR || header->nlmsg_type == NLMSG_NOOP) {
                continue;
            }
            const auto* message = static_cast<const cn_msg*>(NLMSG_DATA(header));
            if (message->id.idx != CN_IDX_PROC || message->id.val != CN_VAL_PROC ||
                message->len < offsetof(proc_event, event_data)) {
                continue;
            }
            proc_event event{};
            std::memcpy(&event, message->data, std::min<std::size_t>(message->len, sizeof event));
            ProcessEvent out{};
            switch (event.what) {
                case proc_event::PROC_EVENT_FORK:
                    if (event.event_data.fork.child_pid != event.event_data.fork.child_tgid) {
                        continue;  // a new thread, not a new process
                    }
                    out = {ProcessEvent::Kind::Fork,
                           static_cast<std::uint32_t>(event.event_data.fork.child_tgid),
                           static_cast<std::uint32_t>(event.event_data.fork.parent_tgid),
                           static_cast<std::uint32_t>(event.event_data.fork.parent_pid), 0};
                    break;
                case proc_event::PROC_EVENT_EXEC:
                    out = {ProcessEvent::Kind::Exec,
                           static_cast<std::uint32_t>(event.event_data.exec.process_tgid), 0,
                           static_cast<std::uint32_t>(event.event_data.exec.process_pid), 0};
                    break;
                case proc_event::PROC_EVENT_EXIT:
                    out = {event.event_data.exit.process_pid == event.event_data.exit.process_tgid
                               ? ProcessEvent::Kind::Exit
                               : ProcessEvent::Kind::ThreadExit,
                           static_cast<std::uint32_t>(event.event_data.exit.process_tgid), 0,
                           static_cast<std::uint32_t>(event.event_data.exit.process_pid),
                           static_cast<std::int32_t>(event.event_data.exit.exit_code)};
                    break;
                case proc_event::PROC_EVENT_UID:
                case proc_event::PROC_EVENT_GID:
                    out = {ProcessEvent::Kind::Identity,
                           static_cast<std::uint32_t>(event.event_data.id.process_tgid), 0,
                           static_cast<std::uint32_t>(event.event_data.id.process_pid), 0};
                    break;
                case proc_event::PROC_EVENT_SID:
                    out = {ProcessEvent::Kind::Identity,
                           static_cast<std::uint32_t>(event.event_data.sid.process_tgid), 0,
                           static_cast<std::uint32_t>(event.event_data.sid.process_pid), 0};
                    break;
                default:
                    continue;
            }
            state_->sink(out);
        }
    }
}

}  // namespace linux_kernel
