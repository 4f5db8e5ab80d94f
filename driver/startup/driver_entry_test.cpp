// Load and unload: what the driver registers, the port's security, a load that fails at any step
// leaving nothing behind, and unloading with a client connected and operations in flight.
#include "driver_entry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "capture/capture_contexts.h"
#include "core/pool_tags.h"
#include "loaded_driver_fixture.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/port.h"
#include "platform/kernel/security_descriptor.h"
#include "platform/kernel/sid.h"
#include "sim_registry.h"
#include "testing/control_messages.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;

class DriverEntryTest : public LoadedDriverTest {};

TEST_F(DriverEntryTest, RegistersContextsOperationsAndCallbacks) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const flt::Registration* r = FilterManager::RegistrationOf(Filter());
    EXPECT_EQ(r->version, 0x0202);
    EXPECT_EQ(r->flags, flt::kRegistrationDoNotSupportServiceStop);
    ASSERT_EQ(r->contextCount, 2u);
    EXPECT_EQ(r->contexts[0].type, flt::ContextType::Stream);
    EXPECT_EQ(r->contexts[0].poolType, PoolType::NonPaged);
    EXPECT_EQ(r->contexts[0].poolTag, driver::kTagStreamContext);
    EXPECT_EQ(r->contexts[1].type, flt::ContextType::Volume);
    EXPECT_EQ(r->contexts[1].poolTag, driver::kTagVolumeContext);
    EXPECT_EQ(r->contexts[0].cleanup, r->contexts[1].cleanup) << "one cleanup routine for both";
    using M = flt::MajorFunction;
    const M order[] = {M::Create,
                       M::NetworkQueryOpen,
                       M::Close,
                       M::Cleanup,
                       M::Read,
                       M::MdlRead,
                       M::MdlReadComplete,
                       M::Write,
                       M::PrepareMdlWrite,
                       M::MdlWriteComplete,
                       M::VolumeMount,
                       M::VolumeDismount,
                       M::SetVolumeInformation,
                       M::SetInformation,
                       M::SetSecurity,
                       M::SetEa,
                       M::SetQuota,
                       M::FileSystemControl,
                       M::FlushBuffers};
    ASSERT_EQ(r->operationCount, 19u);
    for (std::uint32_t i = 0; i < 19; ++i) {
        EXPECT_EQ(r->operations[i].majorFunction, order[i]) << i;
        EXPECT_EQ(r->operations[i].flags, 0u);
        EXPECT_EQ(r->operations[i].pre, r->operations[0].pre);
        EXPECT_EQ(r->operations[i].post, r->operations[0].post);
    }
    EXPECT_NE(r->unload, nullptr);
    EXPECT_NE(r->instanceSetup, nullptr);
    EXPECT_NE(r->instanceTeardownComplete, nullptr);
    EXPECT_TRUE(FilterManager::IsFiltering(Filter()));
}

TEST_F(DriverEntryTest, PortGrantsAllPortAccessToTheWorld) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    std::uint32_t length = 0;
    ASSERT_EQ(QueryCommunicationPortSecurity(driver::kVeskPortName, nullptr, 0, &length),
              STATUS_BUFFER_TOO_SMALL);
    std::vector<std::uint8_t> sd(length);
    ASSERT_EQ(QueryCommunicationPortSecurity(driver::kVeskPortName, sd.data(), length, &length),
              STATUS_SUCCESS);
    std::uint16_t control;
    std::uint32_t daclOffset;
    std::memcpy(&control, sd.data() + 2, 2);
    std::memcpy(&daclOffset, sd.data() + 16, 4);
    EXPECT_NE(control & kSeDaclPresent, 0);
    ASSERT_GE(length, daclOffset + sizeof(Acl) + 8 + 12);
    Acl acl;
    std::memcpy(&acl, sd.data() + daclOffset, sizeof acl);
    EXPECT_EQ(acl.AclRevision, 2);
    EXPECT_EQ(acl.AceCount, 1);
    EXPECT_EQ(acl.AclSize, 12 + 20) << "the world SID and 20 bytes";
    const std::uint8_t* ace = sd.data() + daclOffset + sizeof(Acl);
    std::uint32_t mask;
    std::memcpy(&mask, ace + 4, 4);
    EXPECT_EQ(ace[0], kAccessAllowedAceType);
    EXPECT_EQ(mask, 0x1F0001u);
    EXPECT_EQ(SidToString(ace + 8), "S-1-1-0");
    EXPECT_EQ(
        QueryPoolTag(driver::kTagAcl).Outstanding() + QueryPoolTag(driver::kTagSid).Outstanding(),
        0u)
        << "the port keeps its own copy";
}

// What a load failure must leave: no filter, no process routine, no port, no pool block.
::testing::AssertionResult NothingLeftRegistered() {
    if (FilterManager::RegisteredFilter() != nullptr) {
        return ::testing::AssertionFailure() << "a filter is still registered";
    }
    if (sim::ProcessNotifications::BasicRoutines() +
            sim::ProcessNotifications::ExtendedRoutines() !=
        0) {
        return ::testing::AssertionFailure() << "a process routine is still registered";
    }
    std::uint32_t length = 0;
    if (QueryCommunicationPortSecurity(driver::kVeskPortName, nullptr, 0, &length) !=
        STATUS_OBJECT_NAME_NOT_FOUND) {
        return ::testing::AssertionFailure() << "the port still exists";
    }
    const std::string pool = DescribeOutstandingPool();
    if (!pool.empty()) {
        return ::testing::AssertionFailure() << "pool left allocated: " << pool;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(DriverEntryTest, LoadFailingAtEachStepUndoesEverything) {
    MountVolume();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<void()> restore;
    };
    ServerPort* squatter = nullptr;
    const Case cases[] = {
        {"registration refused",
         [] { FilterManager::FailRegisterFilter(STATUS_INSUFFICIENT_RESOURCES); },
         [] { FilterManager::FailRegisterFilter(0); }},
        {"rule database on a read-only disk",
         [this] {
             sim::Registry::Close();
             ASSERT_TRUE(sim::Registry::Open(DatabasePath(), true));
         },
         [this] {
             sim::Registry::Close();
             ASSERT_TRUE(sim::Registry::Open(DatabasePath()));
         }},
        {"port name taken",
         [&squatter] {
             const PortCallbacks none{
                 [](void*, ClientPort*, const void*, std::uint32_t) { return STATUS_SUCCESS; },
                 [](void*, ClientPort*) {},
                 [](void*, const void*, std::uint32_t, void*, std::uint32_t, std::uint32_t*) {
                     return STATUS_SUCCESS;
                 }};
             ASSERT_EQ(CreateCommunicationPort(driver::kVeskPortName, nullptr, none, 1, &squatter),
                       STATUS_SUCCESS);
         },
         [&squatter] { CloseCommunicationPort(squatter); }},
        {"no delivery thread",
         [] { sim::World::FailSystemThreadCreation(STATUS_INSUFFICIENT_RESOURCES); },
         [] { sim::World::FailSystemThreadCreation(0); }},
        {"filtering refused", [] { FilterManager::FailStartFiltering(STATUS_UNSUCCESSFUL); },
         [] { FilterManager::FailStartFiltering(0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        EXPECT_FALSE(NtSuccess(Load()));
        EXPECT_FALSE(Loaded());
        if (std::string(c.what) == "port name taken") {
            EXPECT_EQ(FilterManager::RegisteredFilter(), nullptr);
            EXPECT_EQ(DescribeOutstandingPool(), "");
        } else {
            EXPECT_TRUE(NothingLeftRegistered());
        }
        c.restore();
    }
    ASSERT_EQ(Load(), STATUS_SUCCESS) << "and a load after them all succeeds";
}

TEST_F(DriverEntryTest, LoadFailingAtEachAllocationInTurnUndoesEverything) {
    MountVolume();
    // A saved rule, so that loading reads one back.
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ConnectAndActivate();
    ASSERT_EQ(Command(AddRuleMessage({7, 0, 0, {0}}, wire::kRuleAnyProcess, wire::VeskRuleSave, 0,
                                     0, u"\\DEVICE\\HARDDISKVOLUME2\\*")),
              STATUS_SUCCESS);
    client_.reset();
    Unload();

    // Every allocation a successful load makes, by tag.
    ResetPoolAccounting();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    std::map<std::uint32_t, std::uint64_t> made;
    for (const PoolTagUsage& usage : QueryPoolTags()) {
        if (usage.allocations != 0) {
            made[usage.tag] = usage.allocations;
        }
    }
    Unload();
    // The port's SID and ACL, the rule database's enumeration buffer, the saved rule.
    for (std::uint32_t tag :
         {driver::kTagSid, driver::kTagAcl, driver::kTagRuleEnumeration, driver::kTagRule}) {
        EXPECT_EQ(made.count(tag), 1u) << PoolTagText(tag);
    }

    const std::int64_t names = LiveFileNameInformationRecords();
    for (const auto& [tag, count] : made) {
        for (std::uint64_t n = 1; n <= count; ++n) {
            SCOPED_TRACE(PoolTagText(tag) + " allocation " + std::to_string(n));
            ResetPoolAccounting();
            FailNthPoolAllocation(tag, n);
            const NTSTATUS status = Load();
            FailNthPoolAllocation(tag, 0);
            if (NtSuccess(status)) {
                Unload();  // an allocation the load can do without
            } else {
                EXPECT_TRUE(NothingLeftRegistered());
            }
            EXPECT_EQ(LiveFileNameInformationRecords(), names);
            EXPECT_EQ(DescribeOutstandingPool(), "");
        }
    }
}

TEST_F(DriverEntryTest, UnloadWithAClientConnectedDiscardsTheQueue) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    flt::Volume* volume = MountVolume();
    ConnectAndActivate();
    flt::FileObject* file =
        FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume2\\queued.txt");
    for (int i = 0; i < 5; ++i) {
        Operation flush(flt::MajorFunction::FlushBuffers, file);
        FilterManager::Run(flush);
    }
    EXPECT_EQ(QueryPoolTag(driver::kTagMessage).Outstanding(), 5u) << "nobody received";
    Unload();
    EXPECT_EQ(QueryPoolTag(driver::kTagMessage).Outstanding(), 0u);
    EXPECT_EQ(QueryPoolTag(driver::kTagQueueEntry).Outstanding(), 0u);
    std::vector<std::uint8_t> buffer(4096);
    std::uint32_t received = 0;
    const std::int64_t timeout = -10'000'000;
    EXPECT_EQ(client_->GetMessage(buffer.data(), 4096, &received, &timeout),
              STATUS_PORT_DISCONNECTED);
    FilterManager::CloseFileObject(file);
}

TEST_F(DriverEntryTest, UnloadWaitsForOperationsInFlightAndReleasesWhatTheyDeferred) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    flt::Volume* volume = MountVolume();
    ConnectAndActivate();
    flt::FileObject* file =
        FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume2\\inflight.txt");
    sim::Operation create(flt::MajorFunction::Create, file);
    FilterManager::Run(create);
    ASSERT_TRUE(Receive());
    const std::int64_t names = LiveFileNameInformationRecords();

    std::atomic<bool> running{false};
    std::atomic<bool> go{false};
    std::thread operation([&] {
        sim::World::SetCurrentThread(testThread_);
        // Drained at dispatch level while the driver unloads: its name release is deferred to a
        // queue whose delivery thread has already stopped.
        Operation flush(flt::MajorFunction::FlushBuffers, file);
        flush.draining = true;
        flush.postIrql = DISPATCH_LEVEL;
        flush.fileSystem = [&](flt::CallbackData&) {
            running = true;
            while (!go.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
        FilterManager::Run(flush);
    });
    while (!running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::thread releaser([&] {
        // Let the operation finish once the port (and with it delivery) is gone.
        std::uint32_t length = 0;
        while (QueryCommunicationPortSecurity(driver::kVeskPortName, nullptr, 0, &length) !=
               STATUS_OBJECT_NAME_NOT_FOUND) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        go = true;
    });
    Unload();
    operation.join();
    releaser.join();
    EXPECT_EQ(LiveFileNameInformationRecords(), names - 1)
        << "the stream's name went with the driver's contexts, the deferred one with the last "
           "drain";
    FilterManager::CloseFileObject(file);
}

}  // namespace
}  // namespace vesk::testing
