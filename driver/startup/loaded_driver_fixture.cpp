#include "loaded_driver_fixture.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/sid.h"
#include "sim_clock.h"
#include "sim_registry.h"
#include "startup/driver_entry.h"
#include "testing/control_messages.h"

namespace vesk::testing {

using namespace kernel;

void LoadedDriverTest::SetUp() {
    NamesTest::SetUp();
    char pattern[] = "/tmp/vesk-capture-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(sim::Registry::Open(DatabasePath()));
    clientProcess_ = sim::World::CreateProcess(kClientProcessId, kTestSessionId, testToken_);
    clientThread1_ = sim::World::CreateThread(clientProcess_, kClientThreadId1);
    clientThread2_ = sim::World::CreateThread(clientProcess_, kClientThreadId2);
}

void LoadedDriverTest::TearDown() {
    if (Loaded()) {
        Unload();
    }
    client_.reset();
    sim::Registry::Close();
    std::filesystem::remove_all(dir_);
    NamesTest::TearDown();
}

NTSTATUS LoadedDriverTest::Load() {
    const std::u16string path = kVeskServiceKey;
    return driver::DriverEntry(sim::FilterManager::DriverObject(), Text(path));
}

void LoadedDriverTest::Unload() {
    flt::Filter* filter = sim::FilterManager::RegisteredFilter();
    ASSERT_NE(filter, nullptr);
    std::atomic<bool> done{false};
    std::atomic<NTSTATUS> status{STATUS_UNSUCCESSFUL};
    std::thread unloader([&] {
        sim::World::SetCurrentThread(testThread_);
        status = sim::FilterManager::UnloadFilter(filter);
        done = true;
    });
    for (int i = 0; i < 50 && !done.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sim::SimClock::AdvanceUntil([&] { return done.load(); }, 10 * 10'000'000LL);
    unloader.join();
    EXPECT_EQ(status.load(), STATUS_SUCCESS);
    EXPECT_FALSE(Loaded());
}

bool LoadedDriverTest::Loaded() const {
    return driver::LoadedDriverState() != nullptr;
}

driver::DriverState& LoadedDriverTest::Driver() {
    return *driver::LoadedDriverState();
}

flt::Filter* LoadedDriverTest::Filter() {
    return sim::FilterManager::RegisteredFilter();
}

void LoadedDriverTest::ConnectAndActivate(std::uint32_t options, std::uint32_t categories) {
    const auto context = ContextBytes(options, categories, kClientThreadId1, kClientThreadId2);
    ASSERT_EQ(ConnectCommunicationPort(driver::kVeskPortName, context.data(),
                                       static_cast<std::uint16_t>(context.size()), &client_),
              STATUS_SUCCESS);
    ASSERT_EQ(Command(MessageBuilder(wire::VeskCmdActivate).Build()), STATUS_SUCCESS);
}

NTSTATUS LoadedDriverTest::Command(const std::vector<std::uint8_t>& message,
                                   std::vector<std::uint8_t>* output) {
    std::uint32_t returned = 0;
    return client_->SendMessage(message.data(), static_cast<std::uint32_t>(message.size()),
                                output != nullptr ? output->data() : nullptr,
                                output != nullptr ? static_cast<std::uint32_t>(output->size()) : 0,
                                &returned);
}

wire::StatisticsReply LoadedDriverTest::Statistics() {
    std::vector<std::uint8_t> reply(sizeof(wire::StatisticsReply));
    EXPECT_EQ(Command(MessageBuilder(wire::VeskCmdGetStatistics).Build(), &reply), STATUS_SUCCESS);
    wire::StatisticsReply statistics;
    std::memcpy(&statistics, reply.data(), sizeof statistics);
    return statistics;
}

std::optional<ParsedNotification> LoadedDriverTest::Receive() {
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        std::uint32_t received = 0;
        const std::int64_t timeout = -30 * 10'000'000LL;
        std::atomic<NTSTATUS> status{0x103};
        std::thread receiver([&] {
            status = client_->GetMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                         &received, &timeout);
        });
        // A queued message arrives in real time; only a missing one needs the clock to move.
        for (int i = 0; i < 2000 && status.load() == 0x103; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sim::SimClock::AdvanceUntil([&] { return status.load() != 0x103; }, -timeout);
        receiver.join();
        if (status.load() == STATUS_BUFFER_TOO_SMALL) {
            buffer.resize(received);  // the message waits for a larger buffer
            continue;
        }
        if (status.load() != STATUS_SUCCESS) {
            return std::nullopt;
        }
        buffer.resize(received);
        return ParseReceived(buffer);
    }
}

::testing::AssertionResult LoadedDriverTest::NothingMoreQueued() {
    for (int i = 0; i < 2000; ++i) {
        if (QueryPoolTag(driver::kTagMessage).Outstanding() == 0 &&
            QueryPoolTag(driver::kTagQueueEntry).Outstanding() == 0) {
            return ::testing::AssertionSuccess();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::testing::AssertionFailure()
           << QueryPoolTag(driver::kTagMessage).Outstanding() << " messages still queued";
}

flt::Volume* LoadedDriverTest::MountVolume(const std::u16string& deviceName,
                                           std::uint32_t deviceType) {
    sim::VolumeSpec spec;
    spec.deviceName = deviceName;
    spec.deviceType = deviceType;
    return sim::FilterManager::MountVolume(spec);
}

::testing::AssertionResult LoadedDriverTest::Matches(
    const std::optional<ParsedNotification>& received, const ExpectedRecord& expected) {
    if (!received) {
        return ::testing::AssertionFailure() << "no record arrived";
    }
    const wire::NotificationHeader& h = received->header;
    const std::vector<std::uint8_t> testSid = SidFromString(kTestUserSid);
    std::string mismatches;
    auto check = [&mismatches](bool ok, const char* what) {
        if (!ok) {
            mismatches += std::string(" ") + what;
        }
    };
    check(h.Category == expected.category, "Category");
    check(h.Operation == expected.operation, "Operation");
    check(h.Status == static_cast<std::uint32_t>(expected.status), "Status");
    check(h.ThreadId == expected.threadId, "ThreadId");
    check(h.ProcessId == expected.processId, "ProcessId");
    check(h.SessionId == kTestSessionId, "SessionId");
    check(h.AuthenticationIdLow == kTestLogonId.LowPart &&
              h.AuthenticationIdHigh == kTestLogonId.HighPart,
          "AuthenticationId");
    check(h.Impersonated == 0, "Impersonated");
    check(h.VolumeId == expected.volumeId, "VolumeId");
    check(h.FileObjectId == expected.fileObjectId, "FileObjectId");
    check(h.VolumePrefixLength == expected.prefix, "VolumePrefixLength");
    check(received->name == expected.name, "Name");
    check(h.NameLength == expected.name.size() * 2, "NameLength");
    check(h.PayloadLength == expected.payload.size(), "PayloadLength");
    check(received->payload == expected.payload, "Payload");
    check(received->sid == testSid, "Sid");
    check(h.TotalLength == wire::kNotificationFixedLength + h.NameLength + received->sid.size() +
                               h.PayloadLength,
          "TotalLength");
    if (!mismatches.empty()) {
        return ::testing::AssertionFailure()
               << "record differs in" << mismatches << " (operation 0x" << std::hex << h.Operation
               << ", status 0x" << h.Status << ", name length " << std::dec << h.NameLength
               << ", prefix " << h.VolumePrefixLength << ", payload " << h.PayloadLength
               << " bytes)";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) {
        const std::size_t at = all.size();
        all.resize(at + part.size());
        if (!part.empty()) {
            std::memcpy(all.data() + at, part.data(), part.size());
        }
    }
    return all;
}

std::vector<std::uint8_t> TextBytes(const std::u16string& text, bool terminated) {
    std::vector<std::uint8_t> bytes(text.size() * 2 + (terminated ? 2 : 0), 0);
    if (!text.empty()) {
        std::memcpy(bytes.data(), text.data(), text.size() * 2);
    }
    return bytes;
}

}  // namespace vesk::testing
