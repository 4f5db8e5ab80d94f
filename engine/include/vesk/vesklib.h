/* The engine library of the file-system activity monitor: the one header its clients include.
 *
 * Every function returns a 32-bit boolean (nonzero = success) or a pointer and sets the calling
 * thread's last error (0 on success), which VeskGetErrorCode returns; the string helpers report
 * only through their result. Text is NUL-terminated UTF-16 (VeskChar) unless a byte length is
 * given. Records are byte-packed; pointer fields take the platform's pointer size, and every
 * offset is asserted below for 32-bit and 64-bit builds. Memory the library hands out is released
 * with its own functions (VeskFreeName, VeskFreeString, VeskDeleteString). */
#ifndef VESK_VESKLIB_H
#define VESK_VESKLIB_H

#include <stdint.h>

#ifdef __cplusplus
#include <cstddef>
#define VESK_STATIC_ASSERT(condition, text) static_assert(condition, text)
extern "C" {
typedef char16_t VeskChar;
#else
#include <stddef.h>
#define VESK_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
typedef uint_least16_t VeskChar; /* what C's char16_t is */
#endif

#define VESK_API __attribute__((visibility("default")))

typedef int32_t VeskBool;

/* Status events (VeskStatusCallback event codes). */
enum {
    VeskEventPortFailed = 1,    /* receiver: the port is gone; value 6 */
    VeskEventReceiveError = 2,  /* receiver: value = error; return nonzero to keep receiving */
    VeskEventIdle = 3,          /* receiver: no message for 50 000 ms; value 258 */
    VeskEventThreadStart = 4,   /* dispatcher: parameter = address of its callback argument */
    VeskEventThreadStop = 5     /* dispatcher: value = exit code, parameter = callback argument */
};

/* Modes of VeskInitialize. */
enum {
    VeskModeNoData = 0x1,   /* reads and writes carry no data bytes */
    VeskModeCountAll = 0x2  /* the statistics count every operation, not only reported ones */
};

/* Categories and the operation classes of file-system records (one bit each). */
enum { VeskCategoryProcess = 1, VeskCategoryFileSystem = 2 };
enum { VeskOpProcessCreate = 0, VeskOpProcessExit = 1 };
enum {
    VeskOpCreate = 0x1,
    VeskOpClose = 0x2,
    VeskOpRead = 0x4,
    VeskOpWrite = 0x8,
    VeskOpMount = 0x10,
    VeskOpUnmount = 0x20,
    VeskOpAttach = 0x40,
    VeskOpDetach = 0x80,
    VeskOpLabel = 0x100,
    VeskOpDelete = 0x200,
    VeskOpLink = 0x400,
    VeskOpRename = 0x800,
    VeskOpAllocation = 0x1000,
    VeskOpBasic = 0x2000,
    VeskOpSize = 0x4000,
    VeskOpPosition = 0x8000,
    VeskOpValidLength = 0x10000,
    VeskOpSecurity = 0x20000,
    VeskOpEa = 0x40000,
    VeskOpQuota = 0x80000,
    VeskOpCompress = 0x100000,
    VeskOpSparse = 0x200000,
    VeskOpObjectId = 0x400000,
    VeskOpExtend = 0x800000,
    VeskOpShrink = 0x1000000,
    VeskOpReparse = 0x2000000,
    VeskOpFlush = 0x4000000
};

/* Rule stores (VeskDeleteRule, VeskClearRules) and rule flags (VeskAddRule). */
enum { VeskRuleStoreDatabase = 1, VeskRuleStoreMemory = 2, VeskRuleStoreBoth = 3 };
enum { VeskRuleSave = 0x1, VeskRuleExclude = 0x2 };
#define VESK_ANY_PROCESS 0xFFFFFFFFu

/* VeskGetName and VeskGetTargetName: ask the driver, skipping the local conversion. */
enum { VeskNameAskDriver = 0x1 };
/* VeskName.Flags */
enum { VeskNameHasName = 0x1, VeskNameHasUncName = 0x2 };
/* VeskString.Flags */
enum { VeskStringLibraryBuffer = 0x1 };

#pragma pack(push, 1)

typedef struct VeskLuid {
    uint32_t LowPart;
    int32_t HighPart;
} VeskLuid;

typedef struct VeskGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} VeskGuid;

/* The header every notification callback receives; valid only during the callback. */
typedef struct VeskNotification {
    uint32_t Impersonated;
    uint32_t Category;
    uint32_t Operation;
    uint32_t Status;
    uint32_t ThreadId;
    uint32_t ProcessId;
    uint32_t SessionId;
    VeskLuid AuthenticationId;
    const void* Sid;  /* the user's binary SID, inside the record */
    uint32_t VolumeId;
    uint32_t FileObjectId;
    const VeskChar* Name;  /* kernel form; the image path for process records */
    uint16_t VolumePrefixLength;  /* characters of Name that name the volume */
} VeskNotification;

typedef struct VeskProcessData {
    uint32_t ProcessId;
    uint32_t ParentProcessId;
} VeskProcessData;

typedef struct VeskCreateData {
    uint32_t Kind;  /* 1 open request, 2 fast network query-open */
    uint32_t DesiredAccess;
    uint32_t Attributes;
    uint32_t Disposition;
    uint32_t ShareAccess;
    uint32_t CreateOptions;
    int64_t AllocationSize;
    uint32_t Result;
} VeskCreateData;

typedef struct VeskCloseData {
    uint32_t Kind;  /* 1 cleanup, 2 close */
} VeskCloseData;

typedef struct VeskTransferData {  /* reads and writes */
    uint32_t Key;
    uint32_t RequestedLength;
    int64_t Offset;
    uint32_t Kind;
    uint32_t Flags;  /* bit 3: Data points at Length data bytes */
    uint32_t Length;
    const uint8_t* Data;
} VeskTransferData;

typedef struct VeskVolumeData {  /* mount and attach */
    uint32_t FileSystemType;
    uint32_t DeviceType;
    uint32_t VolumeFlags;
} VeskVolumeData;

typedef struct VeskLabelData {
    const VeskChar* Label;
} VeskLabelData;

typedef struct VeskLinkData {  /* link and rename */
    uint32_t ReplaceIfExists;
    const VeskChar* Target;
    uint16_t TargetVolumePrefixLength;
} VeskLinkData;

typedef struct VeskValueData {  /* allocation, size, position, valid length, extend */
    int64_t Value;
} VeskValueData;

typedef struct VeskBasicData {
    int64_t CreationTime;
    int64_t LastAccessTime;
    int64_t LastWriteTime;
    int64_t ChangeTime;
    uint32_t Attributes;
} VeskBasicData;

typedef struct VeskSecurityData {
    uint32_t ProtectionFlags;
    uint32_t InformationTypes;
    uint32_t DescriptorLength;
    const uint8_t* Descriptor;
} VeskSecurityData;

typedef struct VeskSizedData {  /* extended attributes and quota */
    uint32_t Length;
    const uint8_t* Data;
} VeskSizedData;

typedef struct VeskCompressionData {
    uint32_t State;
} VeskCompressionData;

typedef struct VeskObjectIdData {
    uint32_t Kind;  /* 1 set: ObjectId[0..15]; 2 extended information: all 48 bytes; 4 delete */
    uint8_t ObjectId[48];
} VeskObjectIdData;

typedef struct VeskShrinkData {
    int64_t NewSectorCount;
    uint32_t Phase;
} VeskShrinkData;

typedef struct VeskReparseData {
    uint32_t Tag;
    uint8_t Guid[16];
    uint32_t Kind;
    uint32_t Flags;  /* bit 0: relative target */
    uint32_t Action;
    const VeskChar* Target;  /* kinds 1 and 2, otherwise null */
    uint16_t TargetVolumePrefixLength;
} VeskReparseData;

/* The operation-specific part; which member is filled depends on the category and class. */
typedef union VeskOperationData {
    VeskProcessData Process;
    VeskCreateData Create;
    VeskCloseData Close;
    VeskTransferData Transfer;
    VeskVolumeData Volume;
    VeskLabelData Label;
    VeskLinkData Link;
    VeskValueData Value;
    VeskBasicData Basic;
    VeskSecurityData Security;
    VeskSizedData Sized;
    VeskCompressionData Compression;
    VeskObjectIdData ObjectId;
    VeskShrinkData Shrink;
    VeskReparseData Reparse;
} VeskOperationData;

/* The library's string descriptor: empty (null, 0), a caller buffer (Flags bit 0 clear) or a
 * library buffer (bit 0 set). */
typedef struct VeskString {
    VeskChar* Buffer;
    uint16_t Capacity;
    uint8_t Flags;
} VeskString;

typedef struct VeskName {
    uint8_t Flags;  /* bit 0 Name holds a name, bit 1 UncName does; bits 2-7 are the caller's */
    VeskString Name;
    VeskString UncName;
    uint32_t NetworkProvider;
} VeskName;

typedef struct VeskStatistics {
    uint64_t ReadsSucceeded;
    uint64_t WritesSucceeded;
    uint64_t CreatesSucceeded;
    uint64_t ReadsFailed;
    uint64_t WritesFailed;
    uint64_t CreatesFailed;
    uint64_t BytesRead;
    uint64_t BytesWritten;
    uint64_t StartTime;
    uint64_t LastReadTime;
    uint64_t LastWriteTime;
} VeskStatistics;

#pragma pack(pop)

#define VESK_PTR(a32, a64) (sizeof(void*) == 4 ? (a32) : (a64))
#define VESK_AT(type, field, a32, a64) \
    VESK_STATIC_ASSERT(offsetof(type, field) == VESK_PTR(a32, a64), #type "." #field)
#define VESK_SIZE(type, s32, s64) VESK_STATIC_ASSERT(sizeof(type) == VESK_PTR(s32, s64), #type)

VESK_SIZE(VeskLuid, 8, 8);
VESK_SIZE(VeskGuid, 16, 16);
VESK_AT(VeskNotification, Impersonated, 0, 0);
VESK_AT(VeskNotification, Category, 4, 4);
VESK_AT(VeskNotification, Operation, 8, 8);
VESK_AT(VeskNotification, Status, 12, 12);
VESK_AT(VeskNotification, ThreadId, 16, 16);
VESK_AT(VeskNotification, ProcessId, 20, 20);
VESK_AT(VeskNotification, SessionId, 24, 24);
VESK_AT(VeskNotification, AuthenticationId, 28, 28);
VESK_AT(VeskNotification, Sid, 36, 36);
VESK_AT(VeskNotification, VolumeId, 40, 44);
VESK_AT(VeskNotification, FileObjectId, 44, 48);
VESK_AT(VeskNotification, Name, 48, 52);
VESK_AT(VeskNotification, VolumePrefixLength, 52, 60);
VESK_SIZE(VeskNotification, 54, 62);
VESK_AT(VeskProcessData, ParentProcessId, 4, 4);
VESK_AT(VeskCreateData, DesiredAccess, 4, 4);
VESK_AT(VeskCreateData, Attributes, 8, 8);
VESK_AT(VeskCreateData, Disposition, 12, 12);
VESK_AT(VeskCreateData, ShareAccess, 16, 16);
VESK_AT(VeskCreateData, CreateOptions, 20, 20);
VESK_AT(VeskCreateData, AllocationSize, 24, 24);
VESK_AT(VeskCreateData, Result, 32, 32);
VESK_SIZE(VeskCreateData, 36, 36);
VESK_AT(VeskTransferData, RequestedLength, 4, 4);
VESK_AT(VeskTransferData, Offset, 8, 8);
VESK_AT(VeskTransferData, Kind, 16, 16);
VESK_AT(VeskTransferData, Flags, 20, 20);
VESK_AT(VeskTransferData, Length, 24, 24);
VESK_AT(VeskTransferData, Data, 28, 28);
VESK_AT(VeskVolumeData, DeviceType, 4, 4);
VESK_AT(VeskVolumeData, VolumeFlags, 8, 8);
VESK_AT(VeskLabelData, Label, 0, 0);
VESK_AT(VeskLinkData, Target, 4, 4);
VESK_AT(VeskLinkData, TargetVolumePrefixLength, 8, 12);
VESK_AT(VeskBasicData, LastAccessTime, 8, 8);
VESK_AT(VeskBasicData, LastWriteTime, 16, 16);
VESK_AT(VeskBasicData, ChangeTime, 24, 24);
VESK_AT(VeskBasicData, Attributes, 32, 32);
VESK_AT(VeskSecurityData, InformationTypes, 4, 4);
VESK_AT(VeskSecurityData, DescriptorLength, 8, 8);
VESK_AT(VeskSecurityData, Descriptor, 12, 12);
VESK_AT(VeskSizedData, Data, 4, 4);
VESK_AT(VeskObjectIdData, ObjectId, 4, 4);
VESK_AT(VeskShrinkData, Phase, 8, 8);
VESK_AT(VeskReparseData, Guid, 4, 4);
VESK_AT(VeskReparseData, Kind, 20, 20);
VESK_AT(VeskReparseData, Flags, 24, 24);
VESK_AT(VeskReparseData, Action, 28, 28);
VESK_AT(VeskReparseData, Target, 32, 32);
VESK_AT(VeskReparseData, TargetVolumePrefixLength, 36, 40);
VESK_SIZE(VeskOperationData, 52, 52);
VESK_AT(VeskString, Capacity, 4, 8);
VESK_AT(VeskString, Flags, 6, 10);
VESK_SIZE(VeskString, 7, 11);
VESK_AT(VeskName, Name, 1, 1);
VESK_AT(VeskName, UncName, 8, 12);
VESK_AT(VeskName, NetworkProvider, 15, 23);
VESK_SIZE(VeskName, 19, 27);
VESK_AT(VeskStatistics, StartTime, 64, 64);
VESK_AT(VeskStatistics, LastWriteTime, 80, 80);
VESK_SIZE(VeskStatistics, 88, 88);

/* Callbacks. The status callback's return value matters only for VeskEventReceiveError. */
typedef VeskBool (*VeskStatusCallback)(void* context, uint32_t event, uint32_t value,
                                       uintptr_t parameter);
typedef void (*VeskNotificationCallback)(void* argument, const VeskNotification* notification,
                                         const VeskOperationData* data);

/* Lifecycle. */
VESK_API VeskBool VeskInitialize(uint32_t mode, VeskStatusCallback statusCallback,
                                 VeskNotificationCallback fileCallback,
                                 VeskNotificationCallback processCallback, void* context);
VESK_API VeskBool VeskUninitialize(void);
VESK_API uint32_t VeskGetErrorCode(void);

/* Names, accounts, images, strings and identifiers. */
VESK_API VeskBool VeskGetName(const VeskNotification* notification, uint32_t flags,
                              VeskName* name);
VESK_API VeskBool VeskGetTargetName(const VeskNotification* notification,
                                    const VeskOperationData* data, uint32_t flags, VeskName* name);
VESK_API const VeskChar* VeskGetTargetNameString(const VeskNotification* notification,
                                                 const VeskOperationData* data);
VESK_API void VeskFreeName(VeskName* name);
VESK_API VeskBool VeskGetAccountName(const void* sid, VeskChar** accountName, uint32_t* sidType);
VESK_API VeskBool VeskGetProcessImagePath(uint32_t processId, VeskChar** imagePath);
VESK_API VeskBool VeskInitString(VeskString* string, VeskChar* buffer, uint16_t capacity);
VESK_API VeskBool VeskCreateString(VeskString* string, uint16_t minimumCapacity,
                                   const VeskChar* source, uint16_t sourceLength);
VESK_API VeskBool VeskDeleteString(VeskString* string);
VESK_API void VeskFreeString(VeskChar** text);
VESK_API VeskBool VeskCreateId(VeskGuid* id, uint32_t random);

/* Rules, activation and statistics. */
VESK_API VeskBool VeskActivate(void);
VESK_API VeskBool VeskDeactivate(void);
VESK_API VeskBool VeskAddRule(VeskGuid ruleId, const VeskChar* pattern, uint32_t category,
                              uint32_t operations, uint32_t processId, uint32_t flags);
VESK_API VeskBool VeskDeleteRule(const VeskChar* pattern, uint32_t ruleStore);
VESK_API VeskBool VeskClearRules(uint32_t ruleStore);
VESK_API VeskBool VeskGetStatistics(VeskStatistics* statistics);

/* Driver installation, loading and privileges. They need no VeskInitialize. */
VESK_API VeskBool VeskInstall(const VeskChar* displayName, const VeskChar* driverPath,
                              uint32_t startAtBoot, const VeskChar* altitude, uint32_t flags);
VESK_API VeskBool VeskUninstall(void);
VESK_API VeskBool VeskLoad(void);
VESK_API VeskBool VeskUnload(void);
VESK_API VeskBool VeskEnablePrivilege(uint32_t privilege);

#ifdef __cplusplus
}
#endif

#endif /* VESK_VESKLIB_H */
