#include "port_socket_server.h"

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "frames.h"
#include "platform/error_table.h"
#include "platform/kernel/port_client.h"
#include "run_directory.h"
#include "socket_io.h"

namespace port_socket {

using kernel::NTSTATUS;

namespace {

// A notify frame carries what one batch receive took; this is its usual buffer.
constexpr std::uint32_t kBatchBuffer = 256 * 1024;
// Sender threads of one client served at once; further sends wait for a free worker.
constexpr std::size_t kMaxWorkers = 32;
// How long a new socket may take to send its connect frame.
constexpr int kConnectFrameTimeoutMs = 10'000;

NTSTATUS LastErrnoStatus() {
    return platform::NtStatusFromErrno(errno);
}

gid_t DefaultGroup() {
    group grp{};
    group* found = nullptr;
    std::vector<char> scratch(16 * 1024);
    if (getgrnam_r("vesk", &grp, scratch.data(), scratch.size(), &found) == 0 && found != nullptr) {
        return found->gr_gid;
    }
    return getegid();
}

// The peer's supplementary groups as the kernel recorded them at connect time; the user
// database's view of its account when the kernel cannot tell.
std::vector<gid_t> PeerGroups(int fd, uid_t uid, gid_t gid) {
    std::vector<gid_t> groups(64);
    for (;;) {
        auto length = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) == 0) {
            groups.resize(length / sizeof(gid_t));
            return groups;
        }
        if (errno != ERANGE || groups.size() > 65536) {
            break;
        }
        groups.resize(std::max<std::size_t>(groups.size() * 2, length / sizeof(gid_t)));
    }
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> scratch(16 * 1024);
    if (getpwuid_r(uid, &pw, scratch.data(), scratch.size(), &found) != 0 || found == nullptr) {
        return {};
    }
    int count = 64;
    groups.assign(static_cast<std::size_t>(count), 0);
    if (getgrouplist(found->pw_name, gid, groups.data(), &count) < 0) {
        groups.assign(static_cast<std::size_t>(count), 0);
        if (getgrouplist(found->pw_name, gid, groups.data(), &count) < 0) {
            return {};
        }
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

}  // namespace

bool PeerMayConnect(uid_t uid, gid_t gid, const gid_t* groups, int groupCount, gid_t group) {
    if (uid == 0 || gid == group) {
        return true;
    }
    return std::find(groups, groups + groupCount, group) != groups + groupCount;
}

// One accepted socket: one client connection of the kernel port.
class Connection {
  public:
    Connection(PortSocketServer::Impl& server, int fd) : server_(server), fd_(fd) {}

    void Start() {
        reader_ = std::thread([this] { Serve(); });
    }

    // Ends the connection from the server's side: the reader sees the socket close and tears the
    // connection down.
    void Shut() {
        std::lock_guard lock(fdMutex_);
        if (!fdClosed_) {
            shutdown(fd_, SHUT_RDWR);
        }
    }
    void Join() {
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    bool Finished() const { return finished_.load(); }
    // Whether the client has gone: its socket hung up, or the connection is ending anyway.
    bool ClientGone() {
        std::lock_guard lock(fdMutex_);
        if (fdClosed_) {
            return true;
        }
        pollfd fd{fd_, POLLRDHUP, 0};
        return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    }

  private:
    struct Request {
        std::uint64_t id;
        std::vector<std::uint8_t> body;  // SendBody, output prefix, control message
    };

    void Serve();
    bool Admit(std::uint16_t* contextLength, std::vector<std::uint8_t>* context);
    bool ReadFrame(FrameHeader* header, std::vector<std::uint8_t>* body);
    bool WriteFrame(std::uint16_t type, std::uint64_t requestId, iovec* parts, int count);
    void ReplyConnect(NTSTATUS status);
    void Pump();
    void QueueRequest(Request request);
    void Work();
    void Answer(const Request& request);
    void Teardown();

    PortSocketServer::Impl& server_;
    const int fd_;
    std::mutex fdMutex_;
    bool fdClosed_ = false;  // protected by fdMutex_
    std::atomic<bool> finished_{false};
    std::thread reader_;
    std::thread pump_;
    std::unique_ptr<kernel::PortConnection> port_;
    std::mutex writeMutex_;  // one frame at a time on the socket

    // Receive window. Lock order: none of these is held while another mutex is taken.
    std::mutex flowMutex_;
    std::condition_variable flowChanged_;
    std::uint64_t windowMessages_ = 0;  // protected by flowMutex_
    std::uint64_t windowBytes_ = 0;
    std::uint64_t inflightMessages_ = 0;
    std::uint64_t inflightBytes_ = 0;
    bool closing_ = false;

    std::mutex workMutex_;
    std::condition_variable workChanged_;
    std::deque<Request> requests_;  // protected by workMutex_
    std::vector<std::thread> workers_;
    std::size_t idleWorkers_ = 0;
    bool workStop_ = false;
};

class PortSocketServer::Impl {
  public:
    std::string portName;
    std::string path;
    ServerOptions options;
    gid_t group = 0;
    int listenFd = -1;
    int wakeFd = -1;
    std::thread acceptor;
    mutable std::mutex mutex;
    std::list<std::unique_ptr<Connection>> connections;  // protected by mutex

    void AcceptLoop();
    void Reap();
    void WaitForDepartedClients(const Connection* arriving);
};

// ---------------------------------------------------------------------------------------------
// Connection
// ---------------------------------------------------------------------------------------------

bool Connection::ReadFrame(FrameHeader* header, std::vector<std::uint8_t>* body) {
    if (!ReadAll(fd_, header, sizeof *header)) {
        return false;
    }
    if (header->bodyLength > kMaxFrameBody) {
        return false;
    }
    body->resize(header->bodyLength);
    return header->bodyLength == 0 || ReadAll(fd_, body->data(), header->bodyLength);
}

bool Connection::WriteFrame(std::uint16_t type, std::uint64_t requestId, iovec* parts, int count) {
    FrameHeader header{0, type, 0, requestId};
    std::uint64_t length = 0;
    for (int i = 0; i < count; ++i) {
        length += parts[i].iov_len;
    }
    header.bodyLength = static_cast<std::uint32_t>(length);
    iovec iov[4];
    iov[0] = {&header, sizeof header};
    for (int i = 0; i < count; ++i) {
        iov[i + 1] = parts[i];
    }
    std::lock_guard lock(writeMutex_);
    return WriteAll(fd_, iov, count + 1);
}

void Connection::ReplyConnect(NTSTATUS status) {
    ConnectReplyBody reply{status, kProtocolVersion};
    iovec part{&reply, sizeof reply};
    WriteFrame(kFrameConnectReply, 0, &part, 1);
}

// Reads the connect frame and checks who is calling. On refusal the client has been answered.
bool Connection::Admit(std::uint16_t* contextLength, std::vector<std::uint8_t>* context) {
    if (WaitReadable(fd_, kConnectFrameTimeoutMs) != 1) {
        return false;
    }
    FrameHeader header{};
    std::vector<std::uint8_t> body;
    if (!ReadFrame(&header, &body)) {
        return false;
    }
    ConnectBody connect{};
    if (header.type != kFrameConnect || body.size() < sizeof connect) {
        ReplyConnect(kernel::STATUS_BAD_DATA);
        return false;
    }
    std::memcpy(&connect, body.data(), sizeof connect);
    if (connect.version != kProtocolVersion ||
        body.size() != sizeof connect + connect.contextLength || connect.windowMessages == 0 ||
        connect.windowBytes == 0) {
        ReplyConnect(kernel::STATUS_BAD_DATA);
        return false;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        ReplyConnect(kernel::STATUS_ACCESS_DENIED);
        return false;
    }
    const std::vector<gid_t> groups = PeerGroups(fd_, peer.uid, peer.gid);
    if (!PeerMayConnect(peer.uid, peer.gid, groups.data(), static_cast<int>(groups.size()),
                        server_.group)) {
        ReplyConnect(kernel::STATUS_ACCESS_DENIED);
        return false;
    }
    {
        std::lock_guard lock(flowMutex_);
        windowMessages_ = connect.windowMessages;
        windowBytes_ = connect.windowBytes;
    }
    *contextLength = connect.contextLength;
    context->assign(body.begin() + sizeof connect, body.end());
    return true;
}

void Connection::Serve() {
    std::uint16_t contextLength = 0;
    std::vector<std::uint8_t> context;
    if (Admit(&contextLength, &context)) {
        const void* ctx = contextLength != 0 ? context.data() : nullptr;
        if (server_.options.beforeConnect) {
            server_.options.beforeConnect(ctx, contextLength);
        }
        server_.WaitForDepartedClients(this);
        const NTSTATUS status =
            kernel::ConnectCommunicationPort(server_.portName.c_str(), ctx, contextLength, &port_);
        ReplyConnect(status);
        if (kernel::NtSuccess(status)) {
            pump_ = std::thread([this] { Pump(); });
            FrameHeader header{};
            std::vector<std::uint8_t> body;
            while (ReadFrame(&header, &body)) {
                if (header.type == kFrameSend && body.size() >= sizeof(SendBody)) {
                    SendBody send{};
                    std::memcpy(&send, body.data(), sizeof send);
                    if (send.outputCapacity > kMaxMessageLength ||
                        send.outputPrefixLength >
                            std::min(send.outputCapacity, kOutputPrefixLength) ||
                        send.outputPrefixLength > body.size() - sizeof send) {
                        break;
                    }
                    QueueRequest(Request{header.requestId, std::move(body)});
                    body = {};
                } else if (header.type == kFrameCredit && body.size() == sizeof(CreditBody)) {
                    CreditBody credit{};
                    std::memcpy(&credit, body.data(), sizeof credit);
                    std::lock_guard lock(flowMutex_);
                    inflightMessages_ -=
                        std::min<std::uint64_t>(credit.messages, inflightMessages_);
                    inflightBytes_ -= std::min<std::uint64_t>(credit.bytes, inflightBytes_);
                    flowChanged_.notify_all();
                } else {
                    break;  // not a frame a client sends: the connection cannot be trusted
                }
            }
        }
    }
    Teardown();
}

void Connection::Teardown() {
    if (port_) {
        port_->Disconnect();  // pending receives and later sends end; the filter hears of it
    }
    Shut();
    {
        std::lock_guard lock(flowMutex_);
        closing_ = true;
        flowChanged_.notify_all();
    }
    if (pump_.joinable()) {
        pump_.join();
    }
    {
        std::lock_guard lock(workMutex_);
        workStop_ = true;
        workChanged_.notify_all();
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    port_.reset();
    {
        std::lock_guard lock(fdMutex_);
        close(fd_);
        fdClosed_ = true;
    }
    finished_.store(true);
}

void Connection::Pump() {
    std::vector<std::uint8_t> buffer(kBatchBuffer);
    for (;;) {
        std::uint32_t maxCount;
        {
            std::unique_lock lock(flowMutex_);
            flowChanged_.wait(lock, [&] {
                return closing_ ||
                       (inflightMessages_ < windowMessages_ && inflightBytes_ < windowBytes_);
            });
            if (closing_) {
                break;
            }
            maxCount = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(windowMessages_ - inflightMessages_, 0xFFFFFFFFU));
        }
        std::uint32_t used = 0;
        std::uint32_t count = 0;
        const NTSTATUS status =
            port_->GetMessages(buffer.data(), static_cast<std::uint32_t>(buffer.size()), maxCount,
                               &used, &count, nullptr);
        if (status == kernel::STATUS_BUFFER_TOO_SMALL) {
            if (used > kMaxMessageLength + 4) {
                break;  // cannot travel; the filter keeps it and sees the client leave
            }
            buffer.resize(used);
            continue;
        }
        if (!kernel::NtSuccess(status)) {
            break;  // the client port closed
        }
        {
            std::lock_guard lock(flowMutex_);
            inflightMessages_ += count;
            inflightBytes_ += used;
        }
        iovec part{buffer.data(), used};
        if (!WriteFrame(kFrameNotify, 0, &part, 1)) {
            break;
        }
        if (buffer.size() > 4 * kBatchBuffer) {
            buffer.assign(kBatchBuffer, 0);
            buffer.shrink_to_fit();
        }
    }
    // The filter or the socket ended the connection: make sure the client sees it.
    Shut();
}

void Connection::QueueRequest(Request request) {
    std::lock_guard lock(workMutex_);
    requests_.push_back(std::move(request));
    if (idleWorkers_ == 0 && workers_.size() < kMaxWorkers) {
        workers_.emplace_back([this] { Work(); });
    } else {
        workChanged_.notify_one();
    }
}

void Connection::Work() {
    std::unique_lock lock(workMutex_);
    for (;;) {
        ++idleWorkers_;
        workChanged_.wait(lock, [&] { return workStop_ || !requests_.empty(); });
        --idleWorkers_;
        if (requests_.empty()) {
            return;  // stopping
        }
        Request request = std::move(requests_.front());
        requests_.pop_front();
        lock.unlock();
        Answer(request);
        lock.lock();
    }
}

void Connection::Answer(const Request& request) {
    SendBody send{};
    std::memcpy(&send, request.body.data(), sizeof send);
    const std::uint8_t* prefix = request.body.data() + sizeof send;
    const std::uint8_t* input = prefix + send.outputPrefixLength;
    const auto inputLength =
        static_cast<std::uint32_t>(request.body.size() - sizeof send - send.outputPrefixLength);
    std::vector<std::uint8_t> output(send.outputCapacity);
    std::copy(prefix, prefix + send.outputPrefixLength, output.begin());
    std::uint32_t replyLength = 0;
    const NTSTATUS status = port_->SendMessage(inputLength != 0 ? input : nullptr, inputLength,
                                               output.empty() ? nullptr : output.data(),
                                               send.outputCapacity, &replyLength);
    replyLength = std::min(replyLength, send.outputCapacity);
    SendReplyBody reply{status, replyLength, std::max(replyLength, send.outputPrefixLength)};
    iovec parts[2] = {{&reply, sizeof reply}, {output.data(), reply.outputLength}};
    WriteFrame(kFrameSendReply, request.id, parts, 2);
}

// ---------------------------------------------------------------------------------------------
// Server
// ---------------------------------------------------------------------------------------------

void PortSocketServer::Impl::Reap() {
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if ((*it)->Finished()) {
                done.push_back(std::move(*it));
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : done) {
        connection->Join();
    }
}

// A client that closed its socket has left, but its connection may not have told the filter yet:
// the reader still has to see the end of the socket and take the connection down. A client
// connecting right then would be refused as a second one although the first is gone, so it waits
// (a bounded time) until every departed client's connection has ended.
void PortSocketServer::Impl::WaitForDepartedClients(const Connection* arriving) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::lock_guard lock(mutex);  // holds off Reap, which would free what is looked at here
    for (const auto& connection : connections) {
        if (connection.get() == arriving || !connection->ClientGone()) {
            continue;
        }
        while (!connection->Finished() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void PortSocketServer::Impl::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, 1000) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        Reap();
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        auto connection = std::make_unique<Connection>(*this, fd);
        Connection* started = connection.get();
        {
            std::lock_guard lock(mutex);
            connections.push_back(std::move(connection));
        }
        started->Start();
    }
}

PortSocketServer::PortSocketServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NTSTATUS PortSocketServer::Start(const std::string& portName, const ServerOptions& options,
                                 std::unique_ptr<PortSocketServer>* server) {
    auto impl = std::make_unique<Impl>();
    impl->portName = portName;
    impl->options = options;
    impl->path = options.socketPath.empty() ? SocketPathForPort(portName) : options.socketPath;
    if (impl->path.empty() || impl->path.size() >= sizeof(sockaddr_un::sun_path)) {
        return static_cast<NTSTATUS>(0xC0000106U);  // STATUS_NAME_TOO_LONG
    }
    impl->group = options.group != static_cast<gid_t>(-1) ? options.group : DefaultGroup();
    const std::string directory = impl->path.substr(0, impl->path.rfind('/'));
    if (!directory.empty() && !EnsureRunDirectory(directory)) {
        return LastErrnoStatus();
    }

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, impl->path.c_str(), impl->path.size() + 1);

    // A socket file left by a server that died is replaced; one somebody still serves is not.
    struct stat st {};
    if (lstat(impl->path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            return kernel::STATUS_OBJECT_NAME_COLLISION;
        }
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool served = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address),
                                                  sizeof address) == 0;
        if (probe >= 0) {
            close(probe);
        }
        if (served) {
            return kernel::STATUS_OBJECT_NAME_COLLISION;
        }
        unlink(impl->path.c_str());
    }

    NTSTATUS status = kernel::STATUS_SUCCESS;
    impl->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl->listenFd < 0 ||
        bind(impl->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chown(impl->path.c_str(), static_cast<uid_t>(-1), impl->group) != 0 ||
        chmod(impl->path.c_str(), options.mode) != 0 || listen(impl->listenFd, 64) != 0) {
        status = LastErrnoStatus();
    }
    if (kernel::NtSuccess(status)) {
        impl->wakeFd = eventfd(0, EFD_CLOEXEC);
        if (impl->wakeFd < 0) {
            status = LastErrnoStatus();
        }
    }
    if (!kernel::NtSuccess(status)) {
        if (impl->listenFd >= 0) {
            close(impl->listenFd);
            unlink(impl->path.c_str());
        }
        return status;
    }
    Impl* raw = impl.get();
    raw->acceptor = std::thread([raw] { raw->AcceptLoop(); });
    server->reset(new PortSocketServer(std::move(impl)));
    return kernel::STATUS_SUCCESS;
}

PortSocketServer::~PortSocketServer() {
    const std::uint64_t one = 1;
    if (write(impl_->wakeFd, &one, sizeof one) != sizeof one) {
        // An eventfd write of 1 cannot fail short of a closed descriptor; the acceptor then
        // still ends within its poll interval once the listening socket is shut down.
        shutdown(impl_->listenFd, SHUT_RDWR);
    }
    impl_->acceptor.join();
    close(impl_->listenFd);
    close(impl_->wakeFd);
    unlink(impl_->path.c_str());
    std::list<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard lock(impl_->mutex);
        connections.swap(impl_->connections);
    }
    for (auto& connection : connections) {
        connection->Shut();
    }
    for (auto& connection : connections) {
        connection->Join();
    }
}

const std::string& PortSocketServer::SocketPath() const {
    return impl_->path;
}

int PortSocketServer::ConnectionCount() const {
    std::lock_guard lock(impl_->mutex);
    int open = 0;
    for (const auto& connection : impl_->connections) {
        open += connection->Finished() ? 0 : 1;
    }
    return open;
}

}  // namespace port_socket
