// An operation as the filter manager hands it to a filter: what is asked (the major function and
// its parameters), who asks (the requesting thread), on what (target instance and file object)
// and, after it ran, how it ended (final status and completion information).
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/process.h"
#include "platform/kernel/unicode_string.h"

namespace flt {

// The operations a filter can register for. Values are this platform's own; the fast-I/O and
// volume pseudo-operations sit above the request codes.
enum class MajorFunction : std::uint8_t {
    Create,
    Close,
    Read,
    Write,
    SetInformation,
    SetEa,
    FlushBuffers,
    SetVolumeInformation,
    FileSystemControl,
    Cleanup,
    SetSecurity,
    SetQuota,
    NetworkQueryOpen,
    MdlRead,
    MdlReadComplete,
    PrepareMdlWrite,
    MdlWriteComplete,
    VolumeMount,
    VolumeDismount,
};
constexpr int kMajorFunctionCount = 19;

// Request flags (OperationFlags).
constexpr std::uint8_t kOperationKeySpecified = 0x01;
constexpr std::uint8_t kOperationOverrideVerify = 0x02;

// Callback data flags.
constexpr std::uint32_t kFlagFastIo = 0x00000002;
constexpr std::uint32_t kFlagSystemBuffer = 0x00000008;  // the buffer is a kernel buffer

// Minor functions of file-system control requests.
constexpr std::uint8_t kMinorUserFsRequest = 0;
constexpr std::uint8_t kMinorMountVolume = 1;
constexpr std::uint8_t kMinorKernelCall = 4;

// Memory descriptor of a transfer: which pages, and (once mapped) where the kernel sees them.
struct Mdl {
    void* mappedSystemVa;  // nullptr until mapped
    void* pages;           // what mapping makes visible
    std::uint32_t byteCount;
};

struct CreateParameters {
    std::uint32_t options;         // disposition in the high 8 bits, create options in the low 24
    std::uint16_t fileAttributes;  // platform attribute bits
    std::uint16_t shareAccess;
    std::int64_t allocationSize;
    std::uint32_t desiredAccess;
};

struct TransferParameters {  // read, write
    std::uint32_t length;
    std::uint32_t key;
    std::int64_t byteOffset;
    Mdl* mdlAddress;  // may be nullptr
    void* buffer;     // the caller's buffer (a user buffer unless kFlagSystemBuffer or fast I/O)
};

struct MdlTransferParameters {  // MDL read, prepare MDL write, and their completions
    std::int64_t fileOffset;
    std::uint32_t length;
    std::uint32_t key;
    Mdl* mdlChain;
};

enum FileInformationClass : std::uint32_t {
    FileBasicInformation = 4,
    FileRenameInformation = 10,
    FileLinkInformation = 11,
    FileDispositionInformation = 13,
    FilePositionInformation = 14,
    FileAllocationInformation = 19,
    FileEndOfFileInformation = 20,
    FileValidDataLengthInformation = 39,
};

// The buffer of rename and link requests.
struct RenameInformation {
    std::uint8_t replaceIfExists;
    void* rootDirectory;  // handle, or nullptr
    std::uint32_t fileNameLength;  // bytes
    char16_t fileName[1];  // fileNameLength bytes
};

struct SetInformationParameters {
    std::uint32_t length;
    std::uint32_t informationClass;
    void* infoBuffer;
};

struct SetSecurityParameters {
    std::uint32_t securityInformation;
    void* securityDescriptor;  // self-relative
};

struct BufferParameters {  // set EA, set quota
    std::uint32_t length;
    void* buffer;
};

struct SetVolumeInformationParameters {
    std::uint32_t length;
    std::uint32_t informationClass;  // 2 label, 8 object id
    void* buffer;
};

struct FileSystemControlParameters {
    std::uint32_t controlCode;
    std::uint32_t inputBufferLength;
    std::uint32_t outputBufferLength;
    void* systemBuffer;
};

struct MountParameters {
    std::uint32_t deviceType;  // of the device being mounted
};

struct IoParameterBlock {
    MajorFunction majorFunction;
    std::uint8_t minorFunction;
    std::uint8_t operationFlags;
    Instance* targetInstance;
    FileObject* targetFileObject;  // nullptr for volume-level operations
    union {
        CreateParameters create;  // also network query-open
        TransferParameters transfer;
        MdlTransferParameters mdlTransfer;
        SetInformationParameters setInformation;
        SetSecurityParameters setSecurity;
        BufferParameters buffer;
        SetVolumeInformationParameters setVolumeInformation;
        FileSystemControlParameters fileSystemControl;
        MountParameters mount;
    } parameters;
};

struct IoStatusBlock {
    NTSTATUS status;
    std::uint64_t information;
};

struct CallbackData {
    std::uint32_t flags;
    kernel::Thread* thread;  // the requesting thread
    IoParameterBlock* iopb;
    IoStatusBlock ioStatus;
};

enum class PreopStatus : std::uint8_t { SuccessWithCallback, SuccessNoCallback, Complete };
enum class PostopStatus : std::uint8_t { FinishedProcessing, MoreProcessingRequired };

// Post-operation flags: the instance is being torn down and the operation drained.
constexpr std::uint32_t kPostopDraining = 0x1;

using PreOperationCallback = PreopStatus (*)(CallbackData* data, const RelatedObjects* objects,
                                             void** completionContext);
using PostOperationCallback = PostopStatus (*)(CallbackData* data, const RelatedObjects* objects,
                                               void* completionContext, std::uint32_t flags);

}  // namespace flt
