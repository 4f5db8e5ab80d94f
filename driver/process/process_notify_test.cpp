// Process records through both notification forms: who is reported as acting, which status, the
// image name from each of its sources, the rules and the client's categories.
#include <gtest/gtest.h>

#include "capture/capture_test_support.h"
#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::ProcessNotifications;

constexpr std::uint32_t kChildId = 3000;
constexpr std::uint32_t kCreatorProcessId = 1300;
constexpr std::uint32_t kCreatorThreadId = 1301;
const std::u16string kImage = std::u16string(kVolume) + u"\\Windows\\app.exe";

class ProcessNotifyTest : public LoadedDriverTest {
  protected:
    void SetUp() override {
        LoadedDriverTest::SetUp();
        creator_ = sim::World::CreateThread(
            sim::World::CreateProcess(kCreatorProcessId, kTestSessionId, testToken_),
            kCreatorThreadId);
        child_ = sim::World::CreateProcess(kChildId, kTestSessionId, testToken_);
        ProcessNotifications::SetParent(child_, kTestProcessId);
        ProcessNotifications::SetImagePath(child_, kImage);
    }
    void TearDown() override {
        if (image_ != nullptr) {
            FilterManager::CloseFileObject(image_);
        }
        LoadedDriverTest::TearDown();
    }

    void Start(std::uint32_t categories = wire::VeskWantProcess) {
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        volume_ = MountVolume(kVolume);
        image_ = FilterManager::OpenFileObject(volume_, kImage);
        ConnectAndActivate(0, categories);
    }

    ExpectedRecord ProcessRecord(std::uint32_t operation, NTSTATUS status, bool named,
                                 std::uint32_t threadId = kTestThreadId,
                                 std::uint32_t processId = kTestProcessId) {
        ExpectedRecord expected;
        expected.category = wire::VeskCategoryProcess;
        expected.operation = operation;
        expected.status = status;
        expected.name = named ? kImage : u"";
        expected.prefix = named ? kVolumeChars : 0;
        expected.payload = Bytes(wire::ProcessPayload{kChildId, kTestProcessId});
        expected.threadId = threadId;
        expected.processId = processId;
        return expected;
    }

    Thread* creator_ = nullptr;
    Process* child_ = nullptr;
    flt::Volume* volume_ = nullptr;
    flt::FileObject* image_ = nullptr;
};

TEST_F(ProcessNotifyTest, ExtendedFormReportsTheCreatorAndTheStatuses) {
    Start();
    EXPECT_EQ(ProcessNotifications::ExtendedRoutines(), 1);
    EXPECT_EQ(ProcessNotifications::BasicRoutines(), 0);
    ProcessNotifications::NotifyCreate(
        {child_, kTestProcessId, creator_, image_, nullptr, static_cast<NTSTATUS>(0xC0000022)});
    EXPECT_TRUE(Matches(
        Receive(), ProcessRecord(wire::VeskOpProcessCreate, static_cast<NTSTATUS>(0xC0000022), true,
                                 kCreatorThreadId, kCreatorProcessId)));
    // The exit: the image from the process's file pointer, the exit status, the current thread.
    ProcessNotifications::SetImageFile(child_, image_);
    ProcessNotifications::SetExitStatus(child_, 0x103);
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessExit, 0x103, true)));
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(ProcessNotifyTest, ImageByPathIsOpenedThroughTheDriversOwnFilter) {
    FilterManager::SetRoutineAvailable("PsReferenceProcessFilePointer", false);
    Start(wire::VeskWantProcess | wire::VeskWantFileSystem);
    ProcessNotifications::NotifyExit(child_);
    // The open of the image is an operation like any other.
    std::vector<std::uint32_t> operations;
    for (int i = 0; i < 4; ++i) {
        auto record = Receive();
        ASSERT_TRUE(record);
        operations.push_back(record->header.Category * 0x100 + record->header.Operation);
        if (record->header.Category == wire::VeskCategoryProcess) {
            EXPECT_EQ(record->name, kImage);
        }
    }
    EXPECT_EQ(operations, (std::vector<std::uint32_t>{0x201, 0x202, 0x202, 0x101}))
        << "create, cleanup and close of the image, then the exit";
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(ProcessNotifyTest, BasicFormReportsTheCurrentThreadAndStatusZero) {
    FilterManager::SetRoutineAvailable("PsSetCreateProcessNotifyRoutineEx", false);
    Start();
    EXPECT_EQ(ProcessNotifications::BasicRoutines(), 1);
    ProcessNotifications::SetExitStatus(child_, static_cast<NTSTATUS>(0xC0000005));
    ProcessNotifications::NotifyCreate({child_, kTestProcessId, creator_, image_, nullptr, 0});
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessCreate, 0, true)));
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessExit, 0, true)));
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(ProcessNotifyTest, NamelessProcessesAreReportedOnlyWhileNoRuleExists) {
    FilterManager::SetRoutineAvailable("PsSetCreateProcessNotifyRoutineEx", false);
    Start();
    FilterManager::FailOpen(kImage, STATUS_OBJECT_NAME_NOT_FOUND);
    ProcessNotifications::NotifyCreate({child_, kTestProcessId, nullptr, nullptr, nullptr, 0});
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessCreate, 0, false)));

    ASSERT_EQ(Command(AddRuleMessage({1, 0, 0, {0}}, wire::kRuleAnyProcess, 0, 1, 0, u"*")),
              STATUS_SUCCESS);
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(NothingMoreQueued()) << "a rule needs a name to match";
    FilterManager::FailOpen(kImage, 0);
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessExit, 0, true)));
}

TEST_F(ProcessNotifyTest, RulesDecideByCategoryAndClass) {
    Start();
    // Category 1 with operations 0x2: a creation (class 0) passes, an exit (class 1) does not.
    ASSERT_EQ(Command(AddRuleMessage({2, 0, 0, {0}}, wire::kRuleAnyProcess, 0, 1, 0x2, u"*")),
              STATUS_SUCCESS);
    ProcessNotifications::NotifyCreate({child_, kTestProcessId, nullptr, image_, nullptr, 0});
    ProcessNotifications::SetImageFile(child_, image_);
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(Matches(Receive(), ProcessRecord(wire::VeskOpProcessCreate, 0, true)));
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(ProcessNotifyTest, NothingWithoutTheProcessCategoryOrWithTheGateClosed) {
    Start(wire::VeskWantFileSystem);
    ProcessNotifications::SetImageFile(child_, image_);
    ProcessNotifications::NotifyExit(child_);
    EXPECT_TRUE(NothingMoreQueued());
    client_.reset();  // disconnected: the gate is closed
    const std::uint64_t messages = QueryPoolTag(driver::kTagMessage).allocations;
    ProcessNotifications::NotifyCreate({child_, kTestProcessId, nullptr, nullptr, nullptr, 0});
    EXPECT_EQ(QueryPoolTag(driver::kTagMessage).allocations, messages);
}

TEST_F(ProcessNotifyTest, LongImagePathsAreQueriedAgainWithTheirSize) {
    FilterManager::SetRoutineAvailable("PsSetCreateProcessNotifyRoutineEx", false);
    const std::u16string longImage =
        std::u16string(kVolume) + u"\\" + std::u16string(600, u'x') + u".exe";
    ProcessNotifications::SetImagePath(child_, longImage);
    Start();
    ProcessNotifications::NotifyExit(child_);
    auto record = Receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->name, longImage);
    EXPECT_EQ(QueryPoolTag(driver::kTagImageName).allocations, 1u);
}

TEST_F(ProcessNotifyTest, RefusedRegistrationLeavesTheDriverWithoutProcessRecords) {
    ProcessNotifications::FailRegistration(STATUS_INSUFFICIENT_RESOURCES);
    Start();
    EXPECT_EQ(ProcessNotifications::ExtendedRoutines() + ProcessNotifications::BasicRoutines(), 0)
        << "no fall-back from the extended form to the basic one";
    ProcessNotifications::NotifyCreate({child_, kTestProcessId, creator_, image_, nullptr, 0});
    EXPECT_TRUE(NothingMoreQueued());
}

}  // namespace
}  // namespace vesk::testing
