// The filter manager's object model, shared by both faces: filters, volumes, instances, streams
// and file objects in one table, contexts with reference counts, name records, and operations run
// through a filter's callbacks. The faces add where volumes and operations come from (a test, or
// FUSE) and their own controls. Internal to the platform layer.
//
// Lock: State().lock guards the tables and every field marked "protected by the lock". It is a
// host mutex held only for look-ups and updates, never across a call into a filter: callbacks
// call back into the platform.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fltmgr/callback_data.h"
#include "platform/fltmgr/completion.h"
#include "platform/fltmgr/contexts.h"
#include "platform/fltmgr/objects.h"
#include "platform/fltmgr/registration.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/process.h"

namespace kernel {

class Handle {
  public:
    enum class Kind : std::uint8_t { Process, File };
    explicit Handle(Kind k) : kind(k) {}
    const Kind kind;
    Process* process = nullptr;             // referenced (Kind::Process)
    flt::FileObject* fileObject = nullptr;  // one handle of it (Kind::File)
    bool open = true;                       // protected by the lock
};

}  // namespace kernel

namespace flt::core {

struct VolumeSpec {
    std::u16string deviceName = u"\\Device\\HarddiskVolume1";
    std::uint32_t deviceType = flt::kDeviceDiskFileSystem;
    std::uint32_t characteristics = 0;
    std::u16string fileSystemDriver = u"\\FileSystem\\Ntfs";
    std::uint32_t fileSystemType = 2;  // the platform's number: NTFS
    // Failures of the volume's name and property queries from the moment it exists.
    kernel::NTSTATUS nameFailure = 0;
    kernel::NTSTATUS propertiesFailure = 0;
};

// One operation as the I/O manager would send it. The parameter block's target instance and file
// object are filled in by Run; everything else is the test's.
struct Operation {
    Operation(flt::MajorFunction major, flt::FileObject* fileObject);  // on the file's volume
    Operation(flt::MajorFunction major, flt::Volume* volume);          // volume-level, no file
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    flt::IoParameterBlock iopb{};
    flt::CallbackData data{};
    flt::Volume* volume = nullptr;
    flt::FileObject* fileObject = nullptr;

    // How the operation ends: final status and completion information.
    kernel::NTSTATUS finalStatus = 0;
    std::uint64_t information = 0;
    // What the file system does besides (fill an output buffer, say); runs before post-operation.
    std::function<void(flt::CallbackData&)> fileSystem;
    // Levels the callbacks run at; draining: the instance is being torn down.
    kernel::KIRQL preIrql = kernel::PASSIVE_LEVEL;
    kernel::KIRQL postIrql = kernel::PASSIVE_LEVEL;
    bool draining = false;
};

enum class Outcome : std::uint8_t {
    NotFiltered,  // no instance of a filter on the volume, or the filter did not register it
    NoCallback,   // the pre-operation callback asked not to be called after the operation
    Completed,    // the post-operation step finished in place
    Posted,       // the completion was posted to the worker (WaitForPostedCompletions)
};

// How DoCompletionProcessingWhenSafe behaves.
enum class SafeCompletion : std::uint8_t {
    Automatic,  // in place below DISPATCH_LEVEL; posted above it; refused for fast I/O above it
    Worker,     // always posted to the worker thread
    Refuse,     // always refused
};

}  // namespace flt::core

namespace flt {

class DriverObject {};

class Filter {
  public:
    DriverObject* driver = nullptr;
    Registration registration{};
    std::vector<ContextRegistration> contexts;
    std::vector<OperationRegistration> operations;
    bool registered = true;     // protected by the lock
    bool filtering = false;     // protected by the lock
    int runningCallbacks = 0;   // operation callbacks in progress; protected by the lock
    int postedCompletions = 0;  // posted, not yet run; protected by the lock

    const OperationRegistration* OperationFor(MajorFunction major) const {
        for (const auto& op : operations) {
            if (op.majorFunction == major) {
                return &op;
            }
        }
        return nullptr;
    }
    const ContextRegistration* ContextFor(ContextType type) const {
        for (const auto& c : contexts) {
            if (c.type == type) {
                return &c;
            }
        }
        return nullptr;
    }
};

class Instance;

class Volume {
  public:
    core::VolumeSpec spec;
    std::uint32_t identity = 0;
    bool mounted = true;            // protected by the lock
    Instance* instance = nullptr;   // the attached instance; protected by the lock
    void* volumeContext = nullptr;  // holds the platform's reference; protected by the lock
    std::uint32_t setupCalls = 0;   // protected by the lock
    kernel::NTSTATUS nameFailure = 0;
    kernel::NTSTATUS propertiesFailure = 0;
    std::atomic<std::int64_t> references{0};  // taken through the platform's routines
    // Streams and file objects of this volume are freed once nothing uses them (a long-running
    // host); otherwise they stay in the table until the next reset, as tests expect.
    bool reclaim = false;
    // The machine's own file system below every filtered directory (Linux face): kernel opens
    // of paths no filtered volume holds land here; no filter is attached to it, so nothing that
    // happens on it is reported, but names of its files can be asked for.
    bool hostFileSystem = false;
    Instance* hostInstance = nullptr;  // protected by the lock
};

class Instance {
  public:
    Filter* filter = nullptr;
    Volume* volume = nullptr;
    bool attached = false;  // protected by the lock
    std::atomic<std::int64_t> references{0};
};

class Stream {
  public:
    Volume* volume = nullptr;
    std::u16string name;      // protected by the lock
    void* context = nullptr;  // the filter's stream context; protected by the lock
    int fileObjects = 0;      // protected by the lock
    // Holds of the face that keep the stream (and its context) beyond its file objects: the FUSE
    // face holds one while the kernel knows the inode. Protected by the lock.
    int pins = 0;
};

class FileObject {
  public:
    Volume* volume = nullptr;
    Stream* stream = nullptr;
    std::uint32_t identity = 0;
    std::u16string openedName;         // empty: the stream's name; protected by the lock
    kernel::NTSTATUS nameFailure = 0;  // protected by the lock
    std::int64_t references = 0;       // protected by the lock
    std::int64_t handles = 0;          // protected by the lock
    bool testReference = false;        // one of the references is the test's; protected by the lock
    bool operationsOnClose = false;    // opened through CreateFile: cleanup and close are run
    bool closed = false;               // protected by the lock
};

}  // namespace flt

namespace flt::core {

// In front of every context block: the reference count and what the block is.
struct alignas(16) ContextHeader {
    std::atomic<std::int32_t> references{1};
    flt::ContextType type{};
    flt::ContextCleanupCallback cleanup = nullptr;
    std::uint32_t poolTag = 0;
};

struct PostedCompletion {
    flt::IoParameterBlock iopb{};
    flt::CallbackData data{};
    flt::RelatedObjects objects{};
    void* completionContext = nullptr;
    std::uint32_t flags = 0;
    flt::SafePostCallback routine = nullptr;
    flt::Filter* filter = nullptr;
};

struct State {
    // The worker must be gone before the tables it reads are.
    ~State();

    std::mutex lock;
    std::condition_variable changed;  // callbacks ended, completions ran

    flt::DriverObject driverObject;
    std::vector<std::unique_ptr<flt::Filter>> filters;
    std::vector<std::unique_ptr<flt::Volume>> volumes;
    std::vector<std::unique_ptr<flt::Instance>> instances;
    std::vector<std::unique_ptr<flt::Stream>> streams;
    std::vector<std::unique_ptr<flt::FileObject>> fileObjects;
    std::vector<std::unique_ptr<kernel::Handle>> handles;
    bool reclaimHandles = false;  // closed handles are freed (a long-running host)
    std::set<ContextHeader*> liveContexts;
    std::uint32_t nextVolumeIdentity = 0x100;
    std::uint32_t nextFileObjectIdentity = 0x1000;

    SafeCompletion completionMode = SafeCompletion::Automatic;
    std::deque<std::unique_ptr<PostedCompletion>> posted;
    bool workerStop = false;
    std::thread worker;

    kernel::NTSTATUS failRegister = 0;
    kernel::NTSTATUS failStart = 0;
    kernel::NTSTATUS failNames = 0;
    kernel::NTSTATUS failDestinationNames = 0;
    kernel::NTSTATUS failStreamContexts = 0;
    bool failMdlMapping = false;
    std::map<std::u16string, kernel::NTSTATUS> failOpen;  // upper-cased names
    std::set<std::string> missingRoutines;
    std::vector<std::uint32_t> nameQueryOptions;
    // Descriptors LockUserBuffer made, freed when their operation completes.
    std::map<const flt::CallbackData*, std::vector<std::unique_ptr<flt::Mdl>>> lockedMdls;

    // Objects of earlier tests, kept alive because code may still hold pointers to them.
    std::vector<std::unique_ptr<flt::Filter>> oldFilters;
    std::vector<std::unique_ptr<flt::Volume>> oldVolumes;
    std::vector<std::unique_ptr<flt::Instance>> oldInstances;
    std::vector<std::unique_ptr<flt::Stream>> oldStreams;
    std::vector<std::unique_ptr<flt::FileObject>> oldFileObjects;
    std::vector<std::unique_ptr<kernel::Handle>> oldHandles;
};

State& S();

std::u16string Upper(std::u16string_view text);
// Whether a name is a full name (kernel form "\\..." or a Linux path "/...").
bool IsFullName(std::u16string_view name);
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

// Context lifetime (contexts.cpp). Release may run the filter's cleanup routine: never call it
// with the lock held.
ContextHeader* HeaderOf(void* context);
void ReleaseContextReference(void* context);

// Runs a filter's operation callbacks (operations.cpp). fileObject may be nullptr.
Outcome RunOperation(Operation& operation);

// The full name a rename or link request names (names.cpp); empty when the request's name cannot
// be made into one.
std::u16string DestinationName(flt::FileObject* fileObject, kernel::Handle* rootDirectory,
                               const char16_t* fileName, std::uint32_t fileNameLength);

// Frees the descriptors LockUserBuffer made for the operation (operations.cpp).
void FreeLockedMdls(const flt::CallbackData* data);

// The worker that runs posted completions (operations.cpp).
void RunWorker();
void StopWorker();

// A file object loses one reference; the last one closes it (objects.cpp). Runs the close
// operation for files opened through CreateFile. Call without the lock.
void DropFileObjectReference(flt::FileObject* fileObject);

// A new volume in the table (not yet offered to a filter).
flt::Volume* AddVolume(const VolumeSpec& spec);
// Offers the volume to the filter that is filtering (instance setup with flags); the instance
// attaches when setup succeeds (registration.cpp).
void Attach(flt::Volume* volume, std::uint32_t flags);
// Tears the volume's instance down (teardown callback with reason), deleting its contexts.
void Teardown(flt::Volume* volume, std::uint32_t reason);
// Marks a volume gone after its teardown: no more operations, no more offers.
void MarkDismounted(flt::Volume* volume);

// A file object on the volume with one reference (the caller's); a name that a living stream of
// the volume has (ignoring case) shares that stream, unless stream is given (objects.cpp).
flt::FileObject* OpenFileObject(flt::Volume* volume, const std::u16string& name,
                                flt::Stream* stream = nullptr);
// A stream of the volume with one pin, for faces that know their streams (objects.cpp).
flt::Stream* NewPinnedStream(flt::Volume* volume, const std::u16string& name);
// Drops a pin; the last use of the stream releases its context (and frees it on a reclaiming
// volume). Call without the lock.
void UnpinStream(flt::Stream* stream);
// The file object now belongs to another stream (a face learned which file a create made).
// Call without the lock, before the file object's stream has a context.
void MoveFileObjectToStream(flt::FileObject* fileObject, flt::Stream* stream);
// The stream's name from now on (the face renamed or relinked it).
void SetStreamName(flt::Stream* stream, const std::u16string& name);

// Routines of the process side, found by name; each face defines it.
void* ProcessRoutineAddress(const char* name);
bool RoutineAvailable(const char* name);

// Removes the stream contexts of the volume's streams and the volume context, handing back the
// platform's references (registration.cpp). Call without the lock.
void DeleteContextsOfVolume(flt::Volume* volume);

// The filter whose instance is attached to the volume, with a callback counted as running; the
// caller ends it with EndCallback. nullptr when no filter is attached and filtering.
flt::Instance* BeginCallback(flt::Volume* volume);
void EndCallback(flt::Instance* instance);

}  // namespace flt::core
