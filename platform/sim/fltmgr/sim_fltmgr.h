// The simulated filter manager: the volumes, instances, file objects and streams a test builds,
// the operations it injects with exact parameters and final status, and the switches that make the
// platform's routines fail or go missing. KernelTest resets it before every test and reports,
// after every test, each filter still registered and each reference, handle, context or posted
// completion not given back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fltmgr_core.h"
#include "platform/fltmgr/callback_data.h"
#include "platform/fltmgr/objects.h"
#include "platform/fltmgr/registration.h"
#include "platform/kernel/irql.h"

namespace sim {

using VolumeSpec = flt::core::VolumeSpec;
using Operation = flt::core::Operation;
using Outcome = flt::core::Outcome;
using SafeCompletion = flt::core::SafeCompletion;

class FilterManager {
  public:
    static void Reset();
    // Every registered filter, reference, handle, context, posted completion and process routine
    // left behind, one per line; empty when the test gave everything back.
    static std::string DescribeLeaks();

    static flt::DriverObject* DriverObject();
    // The filter registered by the driver (the first still registered), or nullptr.
    static flt::Filter* RegisteredFilter();
    static const flt::Registration* RegistrationOf(flt::Filter* filter);
    static bool IsFiltering(flt::Filter* filter);
    // The platform unloads the filter: its unload callback runs; returns its status.
    static kernel::NTSTATUS UnloadFilter(flt::Filter* filter);

    // Volumes. Mounting offers the volume to a filter that is filtering (instance setup, flags
    // "newly mounted"). Dismounting tears the instance down with reason kTeardownVolumeDismount.
    static flt::Volume* MountVolume(const VolumeSpec& spec);
    static void DismountVolume(flt::Volume* volume);
    // Tears the volume's instance down with the given reason flags (the volume stays).
    static void TeardownInstance(flt::Volume* volume, std::uint32_t reason);
    static flt::Instance* InstanceOf(flt::Volume* volume);  // nullptr when not attached
    static std::uint32_t SetupCalls(flt::Volume* volume);   // instance setup offers so far

    // File objects. Opening gives the test one reference; a file object opened with a name that a
    // living stream of the volume has (ignoring case) shares that stream. Closing drops the test's
    // reference without running operations; the stream goes when its last file object does.
    static flt::FileObject* OpenFileObject(flt::Volume* volume, const std::u16string& name);
    static void CloseFileObject(flt::FileObject* fileObject);
    // The name name queries of this file object answer (its stream's current name by default).
    static std::u16string NameOf(flt::FileObject* fileObject);
    static void SetStreamName(flt::FileObject* fileObject, const std::u16string& name);
    // The opened name of this file object, when it differs from its stream's normalized name.
    static void SetOpenedName(flt::FileObject* fileObject, const std::u16string& name);
    // Whether the file object's stream has a context of the filter.
    static bool HasStreamContext(flt::FileObject* fileObject);
    static bool HasVolumeContext(flt::Volume* volume);

    // Injects an operation: pre-operation callback, the file system (final status, side effects:
    // a successful rename renames the stream), post-operation callback.
    static Outcome Run(Operation& operation);
    static void SetSafeCompletion(SafeCompletion mode);
    // Waits until the worker ran every posted completion.
    static void WaitForPostedCompletions();

    // Failures and missing routines.
    static void FailRegisterFilter(kernel::NTSTATUS status);  // 0 restores
    static void FailStartFiltering(kernel::NTSTATUS status);
    static void FailNameQueries(kernel::NTSTATUS status);  // every file and unsafe name query
    static void FailNameQuery(flt::FileObject* fileObject, kernel::NTSTATUS status);
    static void FailDestinationNameQueries(kernel::NTSTATUS status);
    static void FailVolumeName(flt::Volume* volume, kernel::NTSTATUS status);
    static void FailVolumeProperties(flt::Volume* volume, kernel::NTSTATUS status);
    static void FailStreamContexts(kernel::NTSTATUS status);  // setting a stream context
    static void FailMdlMapping(bool fail);
    static void FailOpen(const std::u16string& name, kernel::NTSTATUS status);  // CreateFile
    // Routines found by GetRoutineAddress / GetSystemRoutineAddress (all present after Reset).
    static void SetRoutineAvailable(const char* name, bool available);

    // Options of every file-name query (file, destination and unsafe ones) since the last reset,
    // in order, for tests that check which form was asked for.
    static std::vector<std::uint32_t> NameQueryOptions();
    static void ClearNameQueryOptions();
};

// Caller memory that faults when read (CopyFromCallerMemory).
class CallerMemory {
  public:
    static void MarkUnreadable(const void* start, std::size_t length);
    static void Reset();
};

// The processes' side: what the process routines answer, and the notifications themselves.
class ProcessNotifications {
  public:
    static void SetParent(kernel::Process* process, std::uint32_t parentId);
    static void SetExitStatus(kernel::Process* process, kernel::NTSTATUS status);
    static void SetImagePath(kernel::Process* process, const std::u16string& path);
    // The image file object the process keeps (PsReferenceProcessFilePointer); the test keeps it
    // open while the process may be asked for it.
    static void SetImageFile(kernel::Process* process, flt::FileObject* fileObject);
    static void FailRegistration(kernel::NTSTATUS status);

    struct Creation {
        kernel::Process* process;
        std::uint32_t parentId;
        kernel::Thread* creatingThread;  // whose ids the extended form reports
        flt::FileObject* imageFile = nullptr;
        const std::u16string* imageFileName = nullptr;
        kernel::NTSTATUS creationStatus = 0;
    };
    // Calls every registered routine in the calling thread, as the system would.
    static void NotifyCreate(const Creation& creation);
    static void NotifyExit(kernel::Process* process);

    static int BasicRoutines();
    static int ExtendedRoutines();
    static void Reset();
    static std::string DescribeLeaks();
};

}  // namespace sim
