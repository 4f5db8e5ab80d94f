// The simulated filter manager against a small recording filter: what a filter driver relies on
// from the platform (callback order, levels, safe completion, contexts, names, teardown, leaks).
#include "sim_fltmgr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel_test.h"
#include "platform/fltmgr/completion.h"
#include "platform/fltmgr/contexts.h"
#include "platform/fltmgr/files.h"
#include "platform/fltmgr/names.h"
#include "platform/fltmgr/volumes.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/process_notify.h"
#include "platform/kernel/system_routines.h"

namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;
using sim::Outcome;

constexpr std::uint32_t kTagTest = MakePoolTag("Tctx");

// What the recording filter saw. Only the test thread and the worker touch it, one at a time.
struct Recorder {
    std::vector<std::string> events;
    NTSTATUS setupStatus = STATUS_SUCCESS;
    bool postCallback = true;
    bool postViaSafeCompletion = false;
    Thread* completionDataThread = nullptr;
    Thread* completionCurrentThread = nullptr;
    KIRQL completionIrql = 0xFF;
    int cleanups = 0;
};
Recorder* recorder = nullptr;

flt::PostopStatus SafeRoutine(flt::CallbackData* data, const flt::RelatedObjects*, void*,
                              std::uint32_t) {
    recorder->events.push_back("safe");
    recorder->completionDataThread = data->thread;
    recorder->completionCurrentThread = CurrentThread();
    recorder->completionIrql = CurrentIrql();
    return flt::PostopStatus::FinishedProcessing;
}

flt::PreopStatus Pre(flt::CallbackData* data, const flt::RelatedObjects*, void** context) {
    recorder->events.push_back("pre " +
                               std::to_string(static_cast<int>(data->iopb->majorFunction)));
    *context = nullptr;
    return recorder->postCallback ? flt::PreopStatus::SuccessWithCallback
                                  : flt::PreopStatus::SuccessNoCallback;
}

flt::PostopStatus Post(flt::CallbackData* data, const flt::RelatedObjects* objects, void* context,
                       std::uint32_t flags) {
    recorder->events.push_back("post " + std::to_string(data->ioStatus.status) +
                               ((flags & flt::kPostopDraining) != 0 ? " draining" : ""));
    if (recorder->postViaSafeCompletion) {
        flt::PostopStatus status;
        if (!flt::DoCompletionProcessingWhenSafe(data, objects, context, flags, &SafeRoutine,
                                                 &status)) {
            recorder->events.push_back("refused");
            return flt::PostopStatus::FinishedProcessing;
        }
        return status;
    }
    return flt::PostopStatus::FinishedProcessing;
}

NTSTATUS Setup(const flt::RelatedObjects*, std::uint32_t flags, std::uint32_t deviceType,
               std::uint32_t fileSystemType) {
    recorder->events.push_back("setup " + std::to_string(flags) + " " + std::to_string(deviceType) +
                               " " + std::to_string(fileSystemType));
    return recorder->setupStatus;
}

void Teardown(const flt::RelatedObjects*, std::uint32_t reason) {
    recorder->events.push_back("teardown " + std::to_string(reason));
}

NTSTATUS Unload(std::uint32_t) {
    recorder->events.push_back("unload");
    flt::UnregisterFilter(FilterManager::RegisteredFilter());
    return STATUS_SUCCESS;
}

void ContextCleanup(void*, flt::ContextType) {
    ++recorder->cleanups;
}

constexpr flt::ContextRegistration kContexts[] = {
    {flt::ContextType::Stream, 8, PoolType::NonPaged, kTagTest, &ContextCleanup},
    {flt::ContextType::Volume, 4, PoolType::NonPaged, kTagTest, &ContextCleanup},
};
constexpr flt::OperationRegistration kOperations[] = {
    {flt::MajorFunction::Create, 0, &Pre, &Post},
    {flt::MajorFunction::Read, 0, &Pre, &Post},
    {flt::MajorFunction::MdlRead, 0, &Pre, &Post},
    {flt::MajorFunction::SetInformation, 0, &Pre, &Post},
    {flt::MajorFunction::Cleanup, 0, &Pre, &Post},
    {flt::MajorFunction::Close, 0, &Pre, &Post},
};

flt::Registration MakeRegistration() {
    flt::Registration r{};
    r.size = sizeof r;
    r.version = flt::kRegistrationVersion;
    r.contexts = kContexts;
    r.contextCount = 2;
    r.operations = kOperations;
    r.operationCount = 6;
    r.unload = &Unload;
    r.instanceSetup = &Setup;
    r.instanceTeardownComplete = &Teardown;
    return r;
}

class FilterManagerTest : public sim::KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        recorder = &rec_;
    }
    void TearDown() override {
        if (FilterManager::RegisteredFilter() != nullptr) {
            FilterManager::UnloadFilter(FilterManager::RegisteredFilter());
        }
        recorder = nullptr;
        KernelTest::TearDown();
    }

    flt::Filter* RegisterAndStart() {
        flt::Filter* filter = nullptr;
        EXPECT_EQ(flt::RegisterFilter(FilterManager::DriverObject(), MakeRegistration(), &filter),
                  STATUS_SUCCESS);
        EXPECT_EQ(flt::StartFiltering(filter), STATUS_SUCCESS);
        return filter;
    }

    Recorder rec_;
};

TEST_F(FilterManagerTest, RegistrationIsCheckedAndFilteringOffersExistingVolumes) {
    flt::Registration wrong = MakeRegistration();
    wrong.version = 0x0201;
    flt::Filter* filter = nullptr;
    EXPECT_EQ(flt::RegisterFilter(FilterManager::DriverObject(), wrong, &filter),
              STATUS_INVALID_PARAMETER);
    flt::Volume* early = FilterManager::MountVolume({});
    EXPECT_EQ(FilterManager::SetupCalls(early), 0u) << "nobody filters yet";
    RegisterAndStart();
    sim::VolumeSpec fat;
    fat.deviceName = u"\\Device\\HarddiskVolume2";
    fat.fileSystemType = 3;
    FilterManager::MountVolume(fat);
    EXPECT_EQ(rec_.events, (std::vector<std::string>{"setup 1 8 2", "setup 4 8 3"}));
    EXPECT_NE(FilterManager::InstanceOf(early), nullptr);
}

TEST_F(FilterManagerTest, DeclinedVolumeKeepsNoInstanceAndNoContext) {
    flt::Filter* filter = RegisterAndStart();
    rec_.setupStatus = STATUS_FLT_DO_NOT_ATTACH;
    flt::Volume* volume = FilterManager::MountVolume({});
    EXPECT_EQ(FilterManager::InstanceOf(volume), nullptr);
    void* context = nullptr;
    ASSERT_EQ(flt::AllocateContext(filter, flt::ContextType::Volume, 4, &context), STATUS_SUCCESS);
    ASSERT_EQ(flt::SetVolumeContextReplacing(filter, volume, context, nullptr), STATUS_SUCCESS);
    flt::ReleaseContext(context);
    flt::FileObject* file = FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume1\\f");
    Operation read(flt::MajorFunction::Read, file);
    EXPECT_EQ(FilterManager::Run(read), Outcome::NotFiltered);
    FilterManager::CloseFileObject(file);
    FilterManager::UnloadFilter(filter);
    EXPECT_EQ(rec_.cleanups, 1) << "unregistering deletes every context of the filter";
}

TEST_F(FilterManagerTest, OperationsRunPreFileSystemPostInOrder) {
    RegisterAndStart();
    flt::Volume* volume = FilterManager::MountVolume({});
    flt::FileObject* file = FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume1\\a");
    rec_.events.clear();
    Operation read(flt::MajorFunction::Read, file);
    read.finalStatus = static_cast<NTSTATUS>(0xC0000011);
    read.fileSystem = [](flt::CallbackData& data) {
        recorder->events.push_back("fs " + std::to_string(data.ioStatus.status));
    };
    EXPECT_EQ(FilterManager::Run(read), Outcome::Completed);
    rec_.postCallback = false;
    Operation again(flt::MajorFunction::Read, file);
    EXPECT_EQ(FilterManager::Run(again), Outcome::NoCallback);
    EXPECT_EQ(rec_.events,
              (std::vector<std::string>{"pre 2", "fs -1073741807", "post -1073741807", "pre 2"}));
    EXPECT_EQ(read.data.thread, testThread_) << "the requesting thread defaults to the caller";
    FilterManager::CloseFileObject(file);
}

TEST_F(FilterManagerTest, SafeCompletionRunsInPlacePostsOrRefuses) {
    RegisterAndStart();
    flt::Volume* volume = FilterManager::MountVolume({});
    flt::FileObject* file = FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume1\\a");
    rec_.postViaSafeCompletion = true;

    Operation passive(flt::MajorFunction::Read, file);
    EXPECT_EQ(FilterManager::Run(passive), Outcome::Completed);
    EXPECT_EQ(rec_.completionCurrentThread, testThread_) << "ran in place";

    Operation dispatch(flt::MajorFunction::Read, file);
    dispatch.postIrql = DISPATCH_LEVEL;
    EXPECT_EQ(FilterManager::Run(dispatch), Outcome::Posted);
    FilterManager::WaitForPostedCompletions();
    EXPECT_EQ(rec_.completionDataThread, testThread_);
    EXPECT_NE(rec_.completionCurrentThread, testThread_) << "ran on the worker";
    EXPECT_EQ(rec_.completionIrql, PASSIVE_LEVEL);

    Operation fastIo(flt::MajorFunction::MdlRead, file);
    fastIo.postIrql = DISPATCH_LEVEL;
    rec_.events.clear();
    EXPECT_EQ(FilterManager::Run(fastIo), Outcome::Completed);
    EXPECT_EQ(rec_.events.back(), "refused") << "fast I/O cannot be posted";

    FilterManager::SetSafeCompletion(sim::SafeCompletion::Worker);
    Operation posted(flt::MajorFunction::Read, file);
    EXPECT_EQ(FilterManager::Run(posted), Outcome::Posted);
    FilterManager::WaitForPostedCompletions();
    FilterManager::SetSafeCompletion(sim::SafeCompletion::Refuse);
    Operation refused(flt::MajorFunction::Read, file);
    rec_.events.clear();
    FilterManager::Run(refused);
    EXPECT_EQ(rec_.events.back(), "refused");
    FilterManager::CloseFileObject(file);
}

TEST_F(FilterManagerTest, StreamContextsAreSharedReplacedAndCleanedUp) {
    flt::Filter* filter = RegisterAndStart();
    flt::Volume* volume = FilterManager::MountVolume({});
    flt::Instance* instance = FilterManager::InstanceOf(volume);
    flt::FileObject* first = FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume1\\a");
    flt::FileObject* second =
        FilterManager::OpenFileObject(volume, u"\\DEVICE\\HARDDISKVOLUME1\\A");

    void* one = nullptr;
    ASSERT_EQ(flt::AllocateContext(filter, flt::ContextType::Stream, 8, &one), STATUS_SUCCESS);
    ASSERT_EQ(flt::SetStreamContextReplacing(instance, first, one, nullptr), STATUS_SUCCESS);
    flt::ReleaseContext(one);
    void* got = nullptr;
    ASSERT_EQ(flt::GetStreamContext(instance, second, &got), STATUS_SUCCESS);
    EXPECT_EQ(got, one) << "both opens share the stream";
    flt::ReleaseContext(got);

    void* two = nullptr;
    void* old = nullptr;
    ASSERT_EQ(flt::AllocateContext(filter, flt::ContextType::Stream, 8, &two), STATUS_SUCCESS);
    ASSERT_EQ(flt::SetStreamContextReplacing(instance, first, two, &old), STATUS_SUCCESS);
    EXPECT_EQ(old, one);
    EXPECT_EQ(rec_.cleanups, 0) << "the replaced context is the caller's to release";
    flt::ReleaseContext(old);
    flt::ReleaseContext(two);
    EXPECT_EQ(rec_.cleanups, 1);

    FilterManager::CloseFileObject(first);
    EXPECT_TRUE(FilterManager::HasStreamContext(second));
    FilterManager::CloseFileObject(second);
    EXPECT_EQ(rec_.cleanups, 2) << "the stream went with its last file object";
    EXPECT_EQ(QueryPoolTag(kTagTest).Outstanding(), 0u);
}

TEST_F(FilterManagerTest, NamesFollowRenamesAndQueriesCanFail) {
    RegisterAndStart();
    flt::Volume* volume = FilterManager::MountVolume({});
    flt::FileObject* file =
        FilterManager::OpenFileObject(volume, u"\\Device\\HarddiskVolume1\\dir\\old.txt");
    const std::u16string newName = u"new.txt";
    std::vector<std::uint8_t> buffer(sizeof(flt::RenameInformation) + newName.size() * 2);
    auto* rename = reinterpret_cast<flt::RenameInformation*>(buffer.data());
    rename->fileNameLength = static_cast<std::uint32_t>(newName.size() * 2);
    std::memcpy(rename->fileName, newName.data(), newName.size() * 2);
    Operation op(flt::MajorFunction::SetInformation, file);
    op.iopb.parameters.setInformation = {static_cast<std::uint32_t>(buffer.size()),
                                         flt::FileRenameInformation, rename};
    FilterManager::Run(op);
    EXPECT_EQ(FilterManager::NameOf(file), u"\\Device\\HarddiskVolume1\\dir\\new.txt");

    Operation query(flt::MajorFunction::Read, file);
    query.iopb.targetFileObject = file;
    FileNameInformation* name = nullptr;
    ASSERT_EQ(flt::GetFileNameInformation(&query.data,
                                          flt::kNameNormalized | flt::kNameQueryDefault, &name),
              STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(name->Name.Buffer, name->Name.Length / 2),
              u"\\Device\\HarddiskVolume1\\dir\\new.txt");
    EXPECT_EQ(name->Volume.Length, 46);
    ReleaseFileNameInformation(name);
    FilterManager::FailNameQuery(file, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(flt::GetFileNameInformation(&query.data, 0x402, &name), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(FilterManager::NameQueryOptions(), (std::vector<std::uint32_t>{0x101, 0x402}));
    FilterManager::CloseFileObject(file);
}

TEST_F(FilterManagerTest, KernelOpensRunCreateCleanupAndCloseThroughTheFilter) {
    RegisterAndStart();
    FilterManager::MountVolume({});
    const std::u16string path = u"\\Device\\HarddiskVolume1\\Windows\\app.exe";
    const UnicodeString name{static_cast<std::uint16_t>(path.size() * 2),
                             static_cast<std::uint16_t>(path.size() * 2),
                             const_cast<char16_t*>(path.data())};
    rec_.events.clear();
    Handle* handle = nullptr;
    std::uint32_t information = 0;
    ASSERT_EQ(flt::CreateFile(FilterManager::RegisteredFilter(), name,
                              {flt::kGenericReadAccess, 0, 1, flt::kFileOpen, 0x60}, &handle,
                              &information),
              STATUS_SUCCESS);
    flt::FileObject* file = nullptr;
    ASSERT_EQ(flt::ReferenceFileObjectByHandle(handle, &file), STATUS_SUCCESS);
    EXPECT_EQ(CloseHandle(handle), STATUS_SUCCESS);
    EXPECT_EQ(CloseHandle(handle), STATUS_INVALID_HANDLE);
    flt::ObjectDereference(file);
    EXPECT_EQ(rec_.events,
              (std::vector<std::string>{"pre 0", "post 0", "pre 9", "post 0", "pre 1", "post 0"}));

    FilterManager::FailOpen(path, STATUS_OBJECT_NAME_NOT_FOUND);
    rec_.events.clear();
    EXPECT_EQ(flt::CreateFile(FilterManager::RegisteredFilter(), name,
                              {flt::kGenericReadAccess, 0, 1, flt::kFileOpen, 0x60}, &handle,
                              &information),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(rec_.events.size(), 2u) << "a failed open has no cleanup or close";
}

TEST_F(FilterManagerTest, UnregisteringTearsDownEveryInstanceWithTheUnloadReason) {
    RegisterAndStart();
    flt::Volume* a = FilterManager::MountVolume({});
    sim::VolumeSpec other;
    other.deviceName = u"\\Device\\HarddiskVolume2";
    flt::Volume* b = FilterManager::MountVolume(other);
    FilterManager::DismountVolume(b);
    rec_.events.clear();
    FilterManager::UnloadFilter(FilterManager::RegisteredFilter());
    EXPECT_EQ(rec_.events, (std::vector<std::string>{"unload", "teardown 2"}));
    EXPECT_EQ(FilterManager::InstanceOf(a), nullptr);
    EXPECT_EQ(FilterManager::RegisteredFilter(), nullptr);
}

TEST_F(FilterManagerTest, LeakReportNamesWhatWasNotGivenBack) {
    flt::Filter* filter = RegisterAndStart();
    flt::Volume* volume = FilterManager::MountVolume({});
    flt::Instance* instance = nullptr;
    ASSERT_EQ(flt::GetFirstInstance(filter, volume, &instance), STATUS_SUCCESS);
    Process* process = nullptr;
    ASSERT_EQ(LookupProcessByProcessId(kTestProcessId, &process), STATUS_SUCCESS);
    Handle* handle = nullptr;
    ASSERT_EQ(OpenProcessObject(process, kProcessQueryInformation, &handle), STATUS_SUCCESS);
    const std::string leaks = FilterManager::DescribeLeaks();
    EXPECT_NE(leaks.find("filter still registered"), std::string::npos) << leaks;
    EXPECT_NE(leaks.find("instance of volume"), std::string::npos) << leaks;
    EXPECT_NE(leaks.find("process handle still open"), std::string::npos) << leaks;
    CloseHandle(handle);
    DereferenceObject(process);
    flt::ObjectDereference(instance);
}

TEST_F(FilterManagerTest, RoutinesCanBeMissing) {
    EXPECT_NE(flt::GetRoutineAddress("FltGetFileSystemType"), nullptr);
    EXPECT_NE(GetSystemRoutineAddress("PsSetCreateProcessNotifyRoutineEx"), nullptr);
    EXPECT_NE(GetSystemRoutineAddress("PsReferenceProcessFilePointer"), nullptr);
    FilterManager::SetRoutineAvailable("PsSetCreateProcessNotifyRoutineEx", false);
    EXPECT_EQ(GetSystemRoutineAddress("PsSetCreateProcessNotifyRoutineEx"), nullptr);
    EXPECT_EQ(flt::GetRoutineAddress("NoSuchRoutine"), nullptr);
}

void BasicRoutine(std::uint32_t parentId, std::uint32_t processId, bool create) {
    recorder->events.push_back((create ? "create " : "exit ") + std::to_string(processId) + " " +
                               std::to_string(parentId));
}

void ExtendedRoutine(Process*, std::uint32_t processId, CreateProcessNotifyInfo* info) {
    recorder->events.push_back(info != nullptr ? "ex-create " + std::to_string(processId) + " by " +
                                                     std::to_string(info->CreatingThreadId)
                                               : "ex-exit " + std::to_string(processId));
}

TEST_F(FilterManagerTest, ProcessNotificationsReachBothForms) {
    auto setEx = reinterpret_cast<SetCreateProcessNotifyRoutineExRoutine>(
        GetSystemRoutineAddress("PsSetCreateProcessNotifyRoutineEx"));
    ASSERT_EQ(SetCreateProcessNotifyRoutine(&BasicRoutine, false), STATUS_SUCCESS);
    ASSERT_EQ(setEx(&ExtendedRoutine, false), STATUS_SUCCESS);
    EXPECT_EQ(setEx(&ExtendedRoutine, false), STATUS_INVALID_PARAMETER) << "already there";
    Process* child = sim::World::CreateProcess(3000, 1, testToken_);
    sim::ProcessNotifications::SetParent(child, kTestProcessId);
    sim::ProcessNotifications::NotifyCreate({child, kTestProcessId, testThread_});
    sim::ProcessNotifications::NotifyExit(child);
    EXPECT_EQ(rec_.events, (std::vector<std::string>{"create 3000 1200", "ex-create 3000 by 1201",
                                                     "exit 3000 1200", "ex-exit 3000"}));
    EXPECT_EQ(SetCreateProcessNotifyRoutine(&BasicRoutine, true), STATUS_SUCCESS);
    EXPECT_EQ(setEx(&ExtendedRoutine, true), STATUS_SUCCESS);
    EXPECT_EQ(setEx(&ExtendedRoutine, true), STATUS_INVALID_PARAMETER) << "no longer there";
}

}  // namespace
