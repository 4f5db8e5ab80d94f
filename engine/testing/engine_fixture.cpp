#include "engine_fixture.h"

#include <dirent.h>

#include <cstdlib>
#include <cstring>

#include "core/pool_tags.h"
#include "message/notification_builder.h"
#include "platform/kernel/pool.h"
#include "run_directory.h"
#include "sim_world.h"

namespace vesk::testing {

using namespace kernel;

void RecordingNames::Answer(std::u16string dos, std::u16string unc, std::uint32_t provider) {
    std::lock_guard lock(mutex_);
    dos_ = std::move(dos);
    unc_ = std::move(unc);
    provider_ = provider;
}

std::vector<RecordingNames::Request> RecordingNames::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

NTSTATUS RecordingNames::ResolveName(const driver::ResolveNameRequest& request,
                                     std::uint32_t* replyLength) {
    std::lock_guard lock(mutex_);
    wire::ResolveNameReply reply{};
    std::memcpy(&reply, request.reply.data(), sizeof reply);
    std::u16string name(request.name->Buffer != nullptr ? request.name->Buffer : u"",
                        request.name->Length / 2);
    requests_.push_back({request.flags, request.sessionId, request.logonId, name,
                         reply.DosNameLength, reply.UncNameLength});
    const auto dosBytes = static_cast<std::uint16_t>(dos_.size() * 2);
    const auto uncBytes = static_cast<std::uint16_t>(unc_.size() * 2);
    if (dosBytes > reply.DosNameLength || uncBytes > reply.UncNameLength) {
        reply.DosNameLength = dosBytes;
        reply.UncNameLength = uncBytes;
        std::memcpy(request.reply.data() + 4, &reply.DosNameLength, 4);
        return STATUS_BUFFER_TOO_SMALL;
    }
    reply = {provider_, dosBytes, uncBytes};
    std::memcpy(request.reply.data(), &reply, sizeof reply);
    std::memcpy(request.reply.data() + sizeof reply, dos_.data(), dosBytes);
    std::memcpy(request.reply.data() + sizeof reply + dosBytes, unc_.data(), uncBytes);
    *replyLength = sizeof reply + dosBytes + uncBytes;
    return STATUS_SUCCESS;
}

void EngineTest::SetUp() {
    DriverHarnessTest::SetUp();
    char root[] = "/tmp/vesk-engine-XXXXXX";
    ASSERT_NE(mkdtemp(root), nullptr);
    root_ = root;
    setenv("VESK_ROOT", root_.c_str(), 1);
    driver_->names = &names_;
    StartServer();
}

void EngineTest::TearDown() {
    VeskUninitialize();  // 5023 when the test already did
    StopServer();
    driver_->names = nullptr;
    DriverHarnessTest::TearDown();
    std::system(("rm -rf " + root_).c_str());
}

void EngineTest::StartServer() {
    port_socket::ServerOptions options;
    // The library connects to the system's port name; the harness created its own.
    options.socketPath = port_socket::SocketPathForPort("\\TallowmereVeskPort");
    kernel::Process* process = testProcess_;
    // The client's two threads are real threads of some process: the simulated world learns of
    // them when the connect names them, so the driver can look them up.
    options.beforeConnect = [process](const void* context, std::uint16_t length) {
        if (length != sizeof(wire::ConnectionContext)) {
            return;
        }
        wire::ConnectionContext ctx;
        std::memcpy(&ctx, context, sizeof ctx);
        for (std::uint32_t id : {ctx.ExcludedThreadId1, ctx.ExcludedThreadId2}) {
            Thread* existing = nullptr;
            if (id != 0 && NtSuccess(LookupThreadByThreadId(id, &existing))) {
                DereferenceObject(existing);
            } else if (id != 0) {
                sim::World::CreateThread(process, id);
            }
        }
    };
    ASSERT_EQ(port_socket::PortSocketServer::Start(kPortName, options, &server_), STATUS_SUCCESS);
}

void EngineTest::StopServer() {
    server_.reset();
}

void EngineTest::Enqueue(const RecordSpec& spec) {
    const std::u16string text = Wide(spec.name);
    UnicodeString counted{static_cast<std::uint16_t>(text.size() * 2),
                          static_cast<std::uint16_t>(text.size() * 2),
                          const_cast<char16_t*>(text.data())};
    driver::MessageParameters p;
    p.actingThread = testThread_;
    p.name = spec.name.empty() ? nullptr : &counted;
    p.volumePrefixLength = spec.volumePrefixLength;
    p.category = spec.category;
    p.operation = spec.operation;
    p.status = spec.status;
    p.payloadLength = static_cast<std::uint32_t>(spec.payload.size());
    driver::BuiltMessage built;
    ASSERT_EQ(driver::BuildMessage(p, &built), STATUS_SUCCESS);
    if (!spec.payload.empty()) {
        std::memcpy(built.payload, spec.payload.data(), spec.payload.size());
    }
    ASSERT_EQ(driver_->queue.EnqueueMessage(built.message, built.totalLength), STATUS_SUCCESS);
}

void EngineTest::EnqueueRaw(const std::vector<std::uint8_t>& bytes) {
    void* block = AllocatePool(PoolType::NonPaged, bytes.size(), driver::kTagMessage);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, bytes.data(), bytes.size());
    ASSERT_EQ(driver_->queue.EnqueueMessage(static_cast<wire::NotificationHeader*>(block),
                                            static_cast<std::uint32_t>(bytes.size())),
              STATUS_SUCCESS);
}

namespace {
int CountEntries(const char* directory) {
    DIR* dir = opendir(directory);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count;
}
}  // namespace

int CountThreads() {
    return CountEntries("/proc/self/task");
}
int CountDescriptors() {
    return CountEntries("/proc/self/fd") - 1;
}  // less the listing's own

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Narrow(const VeskChar* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return out;
}

}  // namespace vesk::testing
