// The capture frame through create, network query-open, cleanup and close: the exact record that
// reaches the client, the name cache, the gate, exclusion and counting, safe completion and the
// release of every name reference on every path.
#include <gtest/gtest.h>

#include <thread>

#include "capture_test_support.h"
#include "core/pool_tags.h"
#include "platform/fltmgr/names.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"
#include "wire/wire_encodings.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;
using sim::Outcome;

constexpr std::uint32_t kSupersede = 0, kOpen = 1, kCreate = 2;
constexpr std::uint64_t kSuperseded = 0, kOpened = 1, kCreatedInfo = 2, kDoesNotExist = 5;

struct CreateCase {
    const char* what;
    flt::MajorFunction major;
    std::uint32_t disposition;
    std::uint32_t options;     // platform create options
    std::uint16_t attributes;  // platform attribute bits
    std::uint16_t share;
    std::int64_t allocation;
    std::uint32_t access;
    NTSTATUS status;
    std::uint64_t information;
    wire::CreatePayload expected;  // all but nothing: every field is compared
};

const CreateCase kCreateCases[] = {
    {"open of an existing file",
     flt::MajorFunction::Create,
     kOpen,
     0x60,
     0x80,
     3,
     0,
     0x120089,
     STATUS_SUCCESS,
     kOpened,
     {1, 0x82, 3, 0, 0x1, 3, 0x120089, 2}},
    {"new file with a size and attributes",
     flt::MajorFunction::Create,
     kCreate,
     0x1042,
     0x22,
     0,
     4096,
     0x12019F,
     STATUS_SUCCESS,
     kCreatedInfo,
     {1, 0x1006, 1, 4096, 0x14, 0, 0x12019F, 1}},
    {"supersede of a directory",
     flt::MajorFunction::Create,
     kSupersede,
     0x00000001,
     0x10,
     7,
     0,
     0x10000,
     STATUS_SUCCESS,
     kSuperseded,
     {1, 0x1, 2, 0, 0x2, 7, 0x10000, 4}},
    {"share bits beyond delete dropped",
     flt::MajorFunction::Create,
     kOpen,
     0,
     0,
     0xFF,
     0,
     1,
     STATUS_SUCCESS,
     kOpened,
     {1, 0, 3, 0, 0, 7, 1, 2}},
    {"failed open keeps a known result",
     flt::MajorFunction::Create,
     kOpen,
     0,
     0,
     1,
     0,
     1,
     static_cast<NTSTATUS>(0xC0000034),
     kDoesNotExist,
     {1, 0, 3, 0, 0, 1, 1, 6}},
    {"failed open without result",
     flt::MajorFunction::Create,
     kOpen,
     0,
     0,
     1,
     0,
     1,
     static_cast<NTSTATUS>(0xC0000022),
     0,
     {1, 0, 3, 0, 0, 1, 1, 0}},
    {"network query-open",
     flt::MajorFunction::NetworkQueryOpen,
     kOpen,
     0x40,
     0,
     1,
     0,
     0x80,
     STATUS_SUCCESS,
     kOpened,
     {2, 0x2, 3, 0, 0, 1, 0x80, 2}},
};

class CreateCloseCaptureTest : public CaptureTest {};

TEST_F(CreateCloseCaptureTest, EachCreateArrivesAsItsExactRecord) {
    int n = 0;
    for (const CreateCase& c : kCreateCases) {
        SCOPED_TRACE(c.what);
        const std::u16string path =
            u"\\dir\\file" + std::u16string(1, static_cast<char16_t>(u'a' + n++));
        flt::FileObject* file = Open(path);
        Operation create(c.major, file);
        create.iopb.parameters.create = {(c.disposition << 24) | c.options, c.attributes, c.share,
                                         c.allocation, c.access};
        create.finalStatus = c.status;
        create.information = c.information;
        EXPECT_EQ(FilterManager::Run(create), Outcome::Completed);
        ExpectedRecord expected;
        expected.operation = wire::VeskOpCreate;
        expected.status = c.status;
        expected.name = std::u16string(kVolume) + path;
        expected.prefix = kVolumeChars;
        expected.volumeId = VolumeId();
        expected.fileObjectId = flt::FileObjectIdentity(file);
        expected.payload = Bytes(c.expected);
        EXPECT_TRUE(Matches(Receive(), expected));
        // Only a create that succeeded names the stream.
        EXPECT_EQ(FilterManager::HasStreamContext(file), NtSuccess(c.status));
    }
    EXPECT_TRUE(NothingMoreQueued());
    const wire::StatisticsReply statistics = Statistics();
    EXPECT_EQ(statistics.CreatesSucceeded, 5u);
    EXPECT_EQ(statistics.CreatesFailed, 2u);
}

TEST_F(CreateCloseCaptureTest, NameFormDependsOnOutcomeAndVolume) {
    flt::FileObject* file = Open(u"\\a.txt");
    FilterManager::ClearNameQueryOptions();
    Operation ok(flt::MajorFunction::Create, file);
    FilterManager::Run(ok);
    ASSERT_TRUE(Receive());
    // Before the open and after it: the normalized name.
    EXPECT_EQ(FilterManager::NameQueryOptions(), (std::vector<std::uint32_t>{0x101, 0x101}));

    FilterManager::ClearNameQueryOptions();
    FilterManager::FailNameQueries(STATUS_OBJECT_NAME_NOT_FOUND);
    Operation failed(flt::MajorFunction::Create, file);
    failed.finalStatus = static_cast<NTSTATUS>(0xC0000034);
    FilterManager::Run(failed);
    // No pre-create name: after the failure the opened name from the cache is asked for, by the
    // create and once more by the frame that needs a name for the record.
    EXPECT_EQ(FilterManager::NameQueryOptions(), (std::vector<std::uint32_t>{0x101, 0x402, 0x402}));
    FilterManager::FailNameQueries(0);
    EXPECT_TRUE(NothingMoreQueued()) << "no name, no record";
}

TEST_F(CreateCloseCaptureTest, FailedCreateIsReportedUnderItsPreCreateName) {
    flt::FileObject* file = Open(u"\\missing.txt");
    Operation create(flt::MajorFunction::Create, file);
    create.finalStatus = static_cast<NTSTATUS>(0xC0000034);
    // The platform could name the file before the open but not after it failed.
    create.fileSystem = [file](flt::CallbackData&) {
        FilterManager::FailNameQuery(file, STATUS_OBJECT_NAME_NOT_FOUND);
    };
    FilterManager::Run(create);
    auto record = Receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->name, std::u16string(kVolume) + u"\\missing.txt");
    EXPECT_EQ(record->header.Status, 0xC0000034u);
    FilterManager::FailNameQuery(file, 0);
}

TEST_F(CreateCloseCaptureTest, ReparseStatusProducesNothing) {
    flt::FileObject* file = Open(u"\\link");
    Operation create(flt::MajorFunction::Create, file);
    create.finalStatus = STATUS_REPARSE;
    EXPECT_EQ(FilterManager::Run(create), Outcome::Completed);
    EXPECT_TRUE(NothingMoreQueued());
    EXPECT_FALSE(FilterManager::HasStreamContext(file));
    EXPECT_EQ(Statistics().CreatesSucceeded, 0u) << "not counted either";
}

TEST_F(CreateCloseCaptureTest, CleanupAndCloseUseTheStreamsCachedName) {
    flt::FileObject* file = Open(u"\\doc.txt");
    Created(file);
    // The platform can no longer name the file (a close never can): the cache still does.
    FilterManager::FailNameQuery(file, STATUS_OBJECT_NAME_NOT_FOUND);
    for (auto [major, kind] : {std::pair{flt::MajorFunction::Cleanup, wire::VeskCloseCleanup},
                               std::pair{flt::MajorFunction::Close, wire::VeskCloseClose}}) {
        Operation op(major, file);
        FilterManager::Run(op);
        ExpectedRecord expected;
        expected.operation = wire::VeskOpClose;
        expected.name = std::u16string(kVolume) + u"\\doc.txt";
        expected.prefix = kVolumeChars;
        expected.volumeId = VolumeId();
        expected.fileObjectId = flt::FileObjectIdentity(file);
        expected.payload = Bytes(wire::ClosePayload{kind});
        EXPECT_TRUE(Matches(Receive(), expected));
    }
    FilterManager::FailNameQuery(file, 0);
}

TEST_F(CreateCloseCaptureTest, FileOpenedWhileTheGateWasClosedIsNamedOnlyWhenThePlatformCan) {
    ASSERT_EQ(Command(MessageBuilder(wire::VeskCmdDeactivate).Build()), STATUS_SUCCESS);
    flt::FileObject* file = Open(u"\\early.txt");
    Operation create(flt::MajorFunction::Create, file);
    EXPECT_EQ(FilterManager::Run(create), Outcome::NoCallback);
    // Deactivation cleared the categories: connect again with a context.
    client_.reset();
    ConnectAndActivate();
    Operation cleanup(flt::MajorFunction::Cleanup, file);
    FilterManager::Run(cleanup);
    auto record = Receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->name, std::u16string(kVolume) + u"\\early.txt") << "asked of the platform";
    FilterManager::FailNameQuery(file, static_cast<NTSTATUS>(0xC0000128));
    Operation close(flt::MajorFunction::Close, file);
    FilterManager::Run(close);
    EXPECT_TRUE(NothingMoreQueued());
    FilterManager::FailNameQuery(file, 0);
}

TEST_F(CreateCloseCaptureTest, OperationStartedWithTheGateClosedIsNeverReported) {
    ASSERT_EQ(Command(MessageBuilder(wire::VeskCmdDeactivate).Build()), STATUS_SUCCESS);
    client_.reset();
    const auto context = ContextBytes(0, 3, kClientThreadId1, kClientThreadId2);
    ASSERT_EQ(ConnectCommunicationPort(driver::kVeskPortName, context.data(), 16, &client_),
              STATUS_SUCCESS);
    flt::FileObject* file = Open(u"\\x.txt");
    const std::uint64_t allocations = QueryPoolTag(driver::kTagOperationContext).allocations +
                                      QueryPoolTag(driver::kTagStreamContext).allocations;
    Operation create(flt::MajorFunction::Create, file);
    Operation read(flt::MajorFunction::Read, file);
    // The gate opens while the operations run: too late for them.
    create.fileSystem = [this](flt::CallbackData&) {
        EXPECT_EQ(Command(MessageBuilder(wire::VeskCmdActivate).Build()), STATUS_SUCCESS);
    };
    EXPECT_EQ(FilterManager::Run(create), Outcome::NoCallback);
    EXPECT_EQ(QueryPoolTag(driver::kTagOperationContext).allocations +
                  QueryPoolTag(driver::kTagStreamContext).allocations,
              allocations)
        << "the closed gate allocated nothing";
    EXPECT_EQ(FilterManager::Run(read), Outcome::Completed) << "the next one is captured";
    auto record = Receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->header.Operation, wire::VeskOpRead);
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(CreateCloseCaptureTest, DeactivationDuringAnOperationLeavesNothingBehind) {
    flt::FileObject* file = Open(u"\\y.txt");
    Created(file);
    Operation read(flt::MajorFunction::Read, file);
    read.fileSystem = [this](flt::CallbackData&) {
        EXPECT_EQ(Command(MessageBuilder(wire::VeskCmdDeactivate).Build()), STATUS_SUCCESS);
    };
    EXPECT_EQ(FilterManager::Run(read), Outcome::Completed);
    EXPECT_TRUE(NothingMoreQueued()) << "categories are cleared: nothing is emitted";
    EXPECT_EQ(QueryPoolTag(driver::kTagOperationContext).Outstanding(), 0u);
}

TEST_F(CreateCloseCaptureTest, SecondCreateOfAStreamReplacesItsName) {
    flt::FileObject* first = Open(u"\\old.txt");
    Created(first);
    flt::FileObject* second = Open(u"\\old.txt");  // the same stream
    // Whatever renamed the file was not seen; the next create of the stream learns the new name.
    FilterManager::SetStreamName(first, std::u16string(kVolume) + u"\\new.txt");
    Operation before(flt::MajorFunction::FlushBuffers, first);
    FilterManager::Run(before);
    EXPECT_EQ(Receive()->name, std::u16string(kVolume) + u"\\old.txt") << "the cache answers";
    Created(second);
    Operation after(flt::MajorFunction::FlushBuffers, first);
    FilterManager::Run(after);
    EXPECT_EQ(Receive()->name, std::u16string(kVolume) + u"\\new.txt");
}

TEST_F(CreateCloseCaptureTest, ExcludedThreadsAreNeverReported) {
    flt::FileObject* file = Open(u"\\mine.txt");
    Operation create(flt::MajorFunction::Create, file);
    create.data.thread = clientThread1_;
    create.information = kOpened;
    Operation read(flt::MajorFunction::Read, file);
    read.data.thread = clientThread2_;
    FilterManager::Run(create);
    FilterManager::Run(read);
    EXPECT_TRUE(NothingMoreQueued());
    const wire::StatisticsReply statistics = Statistics();
    EXPECT_EQ(statistics.CreatesSucceeded + statistics.ReadsSucceeded, 0u)
        << "without the count-every-operation option only reported operations count";
}

class CountEveryOperationTest : public CaptureTest {
  protected:
    void SetUp() override {
        options_ = wire::VeskConnectCountAll;
        CaptureTest::SetUp();
    }
};

TEST_F(CountEveryOperationTest, ExcludedThreadsAreCountedButNotReported) {
    flt::FileObject* file = Open(u"\\mine.txt");
    Operation create(flt::MajorFunction::Create, file);
    create.data.thread = clientThread1_;
    FilterManager::Run(create);
    Operation failedRead(flt::MajorFunction::Read, file);
    failedRead.data.thread = clientThread2_;
    failedRead.finalStatus = static_cast<NTSTATUS>(0xC0000011);
    FilterManager::Run(failedRead);
    EXPECT_TRUE(NothingMoreQueued());
    const wire::StatisticsReply statistics = Statistics();
    EXPECT_EQ(statistics.CreatesSucceeded, 1u);
    EXPECT_EQ(statistics.ReadsFailed, 1u);
    EXPECT_EQ(statistics.LastReadTime, static_cast<std::uint64_t>(sim::SimClock::Now()));
}

TEST_F(CreateCloseCaptureTest, RulesDecideAfterTheName) {
    const wire::Guid id{1, 0, 0, {0}};
    ASSERT_EQ(Command(AddRuleMessage(id, wire::kRuleAnyProcess, 0, 2, 0,
                                     std::u16string(kVolume) + u"\\KEEP\\*")),
              STATUS_SUCCESS);
    flt::FileObject* dropped = Open(u"\\other\\a.txt");
    flt::FileObject* kept = Open(u"\\keep\\b.txt");
    Operation one(flt::MajorFunction::Create, dropped);
    Operation two(flt::MajorFunction::Create, kept);
    FilterManager::Run(one);
    FilterManager::Run(two);
    EXPECT_EQ(Receive()->name, std::u16string(kVolume) + u"\\keep\\b.txt");
    EXPECT_TRUE(NothingMoreQueued());
    EXPECT_EQ(Statistics().CreatesSucceeded, 1u) << "a create the rules drop is not counted";
}

TEST_F(CreateCloseCaptureTest, CompletionPostedToAWorkerReportsTheRequestingThread) {
    flt::FileObject* file = Open(u"\\posted.txt");
    Created(file);
    Operation flush(flt::MajorFunction::FlushBuffers, file);
    flush.postIrql = DISPATCH_LEVEL;  // too high for the completion: it is posted
    EXPECT_EQ(FilterManager::Run(flush), Outcome::Posted);
    FilterManager::WaitForPostedCompletions();
    ExpectedRecord expected;
    expected.operation = wire::VeskOpFlush;
    expected.name = std::u16string(kVolume) + u"\\posted.txt";
    expected.prefix = kVolumeChars;
    expected.volumeId = VolumeId();
    expected.fileObjectId = flt::FileObjectIdentity(file);
    EXPECT_TRUE(Matches(Receive(), expected));
}

TEST_F(CreateCloseCaptureTest, UnreportedPostOperationsGiveBackEveryNameEvenAtDispatchLevel) {
    flt::FileObject* file = Open(u"\\n.txt");
    Created(file);
    const std::int64_t names = LiveFileNameInformationRecords();
    struct Case {
        const char* what;
        flt::MajorFunction major;
        bool draining;
        KIRQL level;
    };
    const Case cases[] = {
        {"draining at passive level", flt::MajorFunction::Read, true, PASSIVE_LEVEL},
        {"draining at dispatch level", flt::MajorFunction::Write, true, DISPATCH_LEVEL},
        {"fast I/O that cannot be posted", flt::MajorFunction::MdlRead, false, DISPATCH_LEVEL},
        {"create drained at dispatch level", flt::MajorFunction::Create, true, DISPATCH_LEVEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Operation op(c.major, file);
        op.draining = c.draining;
        op.postIrql = c.level;
        FilterManager::Run(op);
        // Releases deferred to the delivery thread happen there, at passive level.
        for (int i = 0; i < 2000 && LiveFileNameInformationRecords() != names; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(LiveFileNameInformationRecords(), names);
    }
    EXPECT_TRUE(NothingMoreQueued());
    EXPECT_EQ(QueryPoolTag(driver::kTagOperationContext).Outstanding(), 0u);
}

TEST_F(CreateCloseCaptureTest, NoMemoryForTheOperationContextLeavesTheNameToThePlatform) {
    flt::FileObject* file = Open(u"\\m.txt");
    Created(file);
    FilterManager::SetStreamName(file, std::u16string(kVolume) + u"\\renamed.txt");
    FailNthPoolAllocation(driver::kTagOperationContext, 1);
    Operation flush(flt::MajorFunction::FlushBuffers, file);
    FilterManager::Run(flush);
    EXPECT_EQ(Receive()->name, std::u16string(kVolume) + u"\\renamed.txt");
}

TEST_F(CreateCloseCaptureTest, NoMemoryAnywhereOnTheCreatePathReportsNothingAndLeaksNothing) {
    for (std::uint32_t tag : {driver::kTagStreamContext, driver::kTagMessage,
                              driver::kTagQueueEntry, driver::kTagSid}) {
        SCOPED_TRACE(PoolTagText(tag));
        flt::FileObject* file = Open(u"\\z.txt");
        FailNthPoolAllocation(tag, 1);
        Operation create(flt::MajorFunction::Create, file);
        FilterManager::Run(create);
        FailNthPoolAllocation(tag, 0);
        if (tag == driver::kTagStreamContext) {
            EXPECT_TRUE(Receive()) << "the record does not need the stream context";
            EXPECT_FALSE(FilterManager::HasStreamContext(file));
        }
        EXPECT_TRUE(NothingMoreQueued());
    }
}

class NetworkCaptureTest : public CaptureTest {};

TEST_F(NetworkCaptureTest, NetworkNamesTravelInTheirRedirectorForm) {
    flt::Volume* network =
        MountVolume(u"\\Device\\LanmanRedirector", flt::kDeviceNetworkFileSystem);
    ASSERT_EQ(Receive()->header.Operation, wire::VeskOpAttach);
    const std::u16string opened =
        u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share\\dir\\f.txt";
    flt::FileObject* file = FilterManager::OpenFileObject(network, opened);
    files_.push_back(file);
    FilterManager::ClearNameQueryOptions();
    Operation create(flt::MajorFunction::Create, file);
    FilterManager::Run(create);
    const std::u16string converted =
        u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\dir\\f.txt";
    ExpectedRecord expected;
    expected.operation = wire::VeskOpCreate;
    expected.name = converted;
    expected.prefix = static_cast<std::uint16_t>(converted.find(u"\\dir"));
    expected.volumeId = flt::VolumeIdentity(network);
    expected.fileObjectId = flt::FileObjectIdentity(file);
    // A request of zeros: disposition supersede, result superseded.
    expected.payload = Bytes(wire::CreatePayload{1, 0, 2, 0, 0, 0, 0, 4});
    EXPECT_TRUE(Matches(Receive(), expected));
    EXPECT_EQ(FilterManager::NameQueryOptions(), (std::vector<std::uint32_t>{0x102, 0x102}))
        << "network volumes are asked for the opened name";

    // A redirector the driver does not know: no record at all.
    flt::FileObject* unknown =
        FilterManager::OpenFileObject(network, u"\\Device\\OtherRdr\\server\\share\\g.txt");
    files_.push_back(unknown);
    Operation other(flt::MajorFunction::Create, unknown);
    FilterManager::Run(other);
    EXPECT_TRUE(NothingMoreQueued());
}

}  // namespace
}  // namespace vesk::testing
