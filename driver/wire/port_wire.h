// The wire format of the port between the driver and the engine library: notification messages
// (driver to library) and control messages (library to driver). Both sides include this header and
// nothing else of each other.
//
// Everything is little-endian and packed; fields are fixed-width and no field holds a pointer.
// Every offset is asserted below: changing one breaks every client already built, so a change
// here is a new version of the protocol and must be written down in docs/port-protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk::wire {

// ---------------------------------------------------------------------------------------------
// Notification messages
// ---------------------------------------------------------------------------------------------

enum Category : std::uint32_t {
    VeskCategoryProcess = 1,
    VeskCategoryFileSystem = 2,
};

// Operation classes of file-system records: exactly one bit per record.
enum OperationClass : std::uint32_t {
    VeskOpCreate = 0x00000001,
    VeskOpClose = 0x00000002,
    VeskOpRead = 0x00000004,
    VeskOpWrite = 0x00000008,
    VeskOpMount = 0x00000010,
    VeskOpUnmount = 0x00000020,
    VeskOpAttach = 0x00000040,
    VeskOpDetach = 0x00000080,
    VeskOpLabel = 0x00000100,
    VeskOpDelete = 0x00000200,
    VeskOpLink = 0x00000400,
    VeskOpRename = 0x00000800,
    VeskOpAllocation = 0x00001000,
    VeskOpBasic = 0x00002000,
    VeskOpSize = 0x00004000,
    VeskOpPosition = 0x00008000,
    VeskOpValidLength = 0x00010000,
    VeskOpSecurity = 0x00020000,
    VeskOpEa = 0x00040000,
    VeskOpQuota = 0x00080000,
    VeskOpCompress = 0x00100000,
    VeskOpSparse = 0x00200000,
    VeskOpObjectId = 0x00400000,
    VeskOpExtend = 0x00800000,
    VeskOpShrink = 0x01000000,
    VeskOpReparse = 0x02000000,
    VeskOpFlush = 0x04000000,
};
constexpr std::uint32_t kAllOperationClasses = 0x07FFFFFF;

// Operations of process records.
enum ProcessOperation : std::uint32_t {
    VeskOpProcessCreate = 0,
    VeskOpProcessExit = 1,
};

#pragma pack(push, 1)

struct NotificationHeader {
    std::uint8_t Reserved[8];  // the receiver's own list links after it copied the record
    std::uint32_t TotalLength;
    std::uint32_t Impersonated;
    std::uint32_t Category;
    std::uint32_t Operation;
    std::uint32_t Status;
    std::uint32_t ThreadId;
    std::uint32_t ProcessId;
    std::uint32_t SessionId;
    std::uint32_t AuthenticationIdLow;
    std::int32_t AuthenticationIdHigh;
    std::uint32_t VolumeId;
    std::uint32_t FileObjectId;
    std::uint16_t VolumePrefixLength;  // characters
    std::uint16_t NameLength;          // bytes, without the terminator
    std::uint32_t PayloadLength;
    // then: Name (NameLength bytes) and a 16-bit zero; the SID; the payload. No padding anywhere.
};

// Fixed header plus the name terminator: TotalLength = this + NameLength + SID + PayloadLength.
constexpr std::uint32_t kNotificationFixedLength = 0x42;
constexpr std::uint32_t kMaxSidLength = 68;
// Data of one read or write message is bounded so a message never exceeds this much data.
constexpr std::uint32_t kMaxDataPerMessage = 0x4000000;

struct ProcessPayload {
    std::uint32_t ProcessId;
    std::uint32_t ParentProcessId;
};

enum CreateKind : std::uint32_t { VeskCreateOpen = 1, VeskCreateQueryOpen = 2 };

struct CreatePayload {
    std::uint32_t Kind;
    std::uint32_t CreateOptions;  // wire encoding
    std::uint32_t Disposition;    // wire disposition
    std::int64_t AllocationSize;
    std::uint32_t Attributes;  // wire encoding
    std::uint32_t ShareAccess;
    std::uint32_t DesiredAccess;
    std::uint32_t Result;  // wire create result
};

enum CloseKind : std::uint32_t { VeskCloseCleanup = 1, VeskCloseClose = 2 };

struct ClosePayload {
    std::uint32_t Kind;
};

enum TransferKind : std::uint32_t {
    VeskTransferRequest = 1,
    VeskTransferMdlStarted = 2,
    VeskTransferMdlCompleted = 3,
};

enum TransferFlags : std::uint32_t {
    VeskTransferOverrideVerify = 0x1,
    VeskTransferKeySpecified = 0x2,
    VeskTransferLarge = 0x4,  // requested length above kMaxDataPerMessage; data may span messages
    VeskTransferHasData = 0x8,
};

struct TransferPayload {  // reads and writes; data bytes follow when VeskTransferHasData is set
    std::int64_t Offset;
    std::uint32_t RequestedLength;
    std::uint32_t Key;
    std::uint32_t Length;
    std::uint32_t Kind;
    std::uint32_t Flags;
};

struct VolumePayload {  // mount and attach
    std::uint32_t VolumeFlags;  // wire encoding
    std::uint32_t DeviceType;   // wire device type
    std::uint32_t FileSystemType;
};

struct LabelPayloadHeader {  // then the label and a 16-bit zero
    std::uint16_t LabelLength;
};

struct LinkPayloadHeader {  // rename and link; then Target and a 16-bit zero
    std::uint32_t ReplaceIfExists;
    std::uint16_t TargetLength;
    std::uint16_t TargetVolumePrefixLength;
};

struct Int64Payload {  // allocation, size, position, valid length, extend
    std::int64_t Value;
};

struct BasicPayload {
    std::int64_t CreationTime;
    std::int64_t LastAccessTime;
    std::int64_t LastWriteTime;
    std::int64_t ChangeTime;
    std::uint32_t Attributes;  // wire encoding
};

struct SecurityPayloadHeader {  // then the self-relative descriptor
    std::uint32_t ProtectionFlags;
    std::uint32_t InformationTypes;
    std::uint32_t DescriptorLength;
};

struct DataPayloadHeader {  // extended attributes and quota; then DataLength bytes
    std::uint32_t DataLength;
};

enum CompressState : std::uint32_t {
    VeskCompressOther = 0,
    VeskCompressNone = 1,
    VeskCompressLznt1 = 2,
};

struct CompressPayload {
    std::uint32_t State;
};

enum ObjectIdKind : std::uint32_t {
    VeskObjectIdSet = 1,
    VeskObjectIdSetExtended = 2,
    VeskObjectIdDelete = 4,
};

struct ObjectIdPayload {
    std::uint32_t Kind;
    std::uint8_t Block[48];
};

enum ShrinkAction : std::uint32_t {
    VeskShrinkOther = 0,
    VeskShrinkPrepare = 1,
    VeskShrinkCommit = 2,
    VeskShrinkCancel = 3,
};

struct ShrinkPayload {
    std::uint32_t Action;
    std::int64_t NewSectorCount;
};

enum ReparseKind : std::uint32_t {
    VeskReparseUnreadable = 0,
    VeskReparseSymbolicLink = 1,
    VeskReparseMountPoint = 2,
    VeskReparseOtherOwn = 3,
    VeskReparseForeign = 4,
};

enum ReparseAction : std::uint32_t { VeskReparseSet = 1, VeskReparseDelete = 2 };

struct ReparsePayloadHeader {  // then Target (n bytes) and a 16-bit zero
    std::uint32_t Tag;
    std::uint8_t Guid[16];
    std::uint32_t ReparseKind;
    std::uint32_t ReparseFlags;
    std::uint32_t Action;
    std::uint16_t TargetVolumePrefixLength;
};

#pragma pack(pop)

static_assert(sizeof(NotificationHeader) == 0x40);
static_assert(offsetof(NotificationHeader, TotalLength) == 0x08);
static_assert(offsetof(NotificationHeader, Impersonated) == 0x0C);
static_assert(offsetof(NotificationHeader, Category) == 0x10);
static_assert(offsetof(NotificationHeader, Operation) == 0x14);
static_assert(offsetof(NotificationHeader, Status) == 0x18);
static_assert(offsetof(NotificationHeader, ThreadId) == 0x1C);
static_assert(offsetof(NotificationHeader, ProcessId) == 0x20);
static_assert(offsetof(NotificationHeader, SessionId) == 0x24);
static_assert(offsetof(NotificationHeader, AuthenticationIdLow) == 0x28);
static_assert(offsetof(NotificationHeader, AuthenticationIdHigh) == 0x2C);
static_assert(offsetof(NotificationHeader, VolumeId) == 0x30);
static_assert(offsetof(NotificationHeader, FileObjectId) == 0x34);
static_assert(offsetof(NotificationHeader, VolumePrefixLength) == 0x38);
static_assert(offsetof(NotificationHeader, NameLength) == 0x3A);
static_assert(offsetof(NotificationHeader, PayloadLength) == 0x3C);

static_assert(sizeof(ProcessPayload) == 8);
static_assert(sizeof(CreatePayload) == 36);
static_assert(offsetof(CreatePayload, AllocationSize) == 12);
static_assert(offsetof(CreatePayload, Attributes) == 20);
static_assert(offsetof(CreatePayload, Result) == 32);
static_assert(sizeof(ClosePayload) == 4);
static_assert(sizeof(TransferPayload) == 28);
static_assert(offsetof(TransferPayload, Length) == 16);
static_assert(offsetof(TransferPayload, Flags) == 24);
static_assert(sizeof(VolumePayload) == 12);
static_assert(sizeof(LabelPayloadHeader) == 2);
static_assert(sizeof(LinkPayloadHeader) == 8);
static_assert(sizeof(Int64Payload) == 8);
static_assert(sizeof(BasicPayload) == 36);
static_assert(offsetof(BasicPayload, Attributes) == 32);
static_assert(sizeof(SecurityPayloadHeader) == 12);
static_assert(sizeof(DataPayloadHeader) == 4);
static_assert(sizeof(CompressPayload) == 4);
static_assert(sizeof(ObjectIdPayload) == 52);
static_assert(sizeof(ShrinkPayload) == 12);
static_assert(sizeof(ReparsePayloadHeader) == 34);
static_assert(offsetof(ReparsePayloadHeader, ReparseKind) == 20);
static_assert(offsetof(ReparsePayloadHeader, Action) == 28);
static_assert(offsetof(ReparsePayloadHeader, TargetVolumePrefixLength) == 32);

// Fixed payload bytes per class; a class with a variable part lists its fixed part, including the
// name terminator where one follows. Used by both the builder and the reader's length checks.
constexpr std::uint32_t kCreatePayloadLength = 36;
constexpr std::uint32_t kClosePayloadLength = 4;
constexpr std::uint32_t kTransferPayloadLength = 28;
constexpr std::uint32_t kVolumePayloadLength = 12;
constexpr std::uint32_t kLabelPayloadFixedLength = 4;     // length, then terminator
constexpr std::uint32_t kLinkPayloadFixedLength = 10;     // header, then terminator
constexpr std::uint32_t kReparsePayloadFixedLength = 36;  // header, then terminator

// ---------------------------------------------------------------------------------------------
// Control messages: a 32-bit command code, then the command's body. Offsets are from the start of
// the message.
// ---------------------------------------------------------------------------------------------

enum Command : std::uint32_t {
    VeskCmdActivate = 0,
    VeskCmdDeactivate = 1,
    VeskCmdAddRule = 2,
    VeskCmdDeleteRule = 3,
    VeskCmdClearRules = 4,
    VeskCmdResolveName = 5,
    VeskCmdGetStatistics = 6,
    VeskCmdIoCreate = 127,
    VeskCmdIoOpenById = 128,
    VeskCmdIoClose = 129,
    VeskCmdIoRead = 130,
    VeskCmdIoWrite = 131,
    VeskCmdIoDelete = 132,
    VeskCmdIoMove = 133,
    VeskCmdIoCreateHardLink = 134,
    VeskCmdIoSetPosition = 135,
    VeskCmdIoSetSize = 136,
    VeskCmdIoCreateSymbolicLink = 137,
    VeskCmdIoSetMountPoint = 138,
    VeskCmdIoSetReparsePoint = 139,
    VeskCmdIoDeleteReparsePoint = 140,
    VeskCmdIoSetObjectId = 141,
    VeskCmdIoSetObjectIdExtended = 142,
    VeskCmdIoDeleteObjectId = 143,
    VeskCmdIoGetObjectId = 144,
    VeskCmdIoGetSize = 145,
    VeskCmdIoGetInformation = 146,
    VeskCmdIoSetInformation = 147,
    VeskCmdIoFlush = 148,
    VeskCmdIoSetSecurity = 149,
};

enum ConnectOptions : std::uint32_t {
    VeskConnectNoData = 0x1,       // do not copy read and write data into notifications
    VeskConnectCountAll = 0x2,     // count every operation, not only reported ones
};

enum CategoryMask : std::uint32_t {
    VeskWantFileSystem = 0x1,
    VeskWantProcess = 0x2,
};

#pragma pack(push, 1)

struct ConnectionContext {
    std::uint32_t ConnectOptions;
    std::uint32_t Categories;
    std::uint32_t ExcludedThreadId1;
    std::uint32_t ExcludedThreadId2;
};

struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

enum RuleFlags : std::uint32_t {
    VeskRuleSave = 0x1,     // also keep the rule in the registry database
    VeskRuleExclude = 0x2,  // matching events are not reported
};
constexpr std::uint32_t kRuleAnyProcess = 0xFFFFFFFF;

enum RuleStore : std::uint32_t {
    VeskRuleStoreDatabase = 0x1,
    VeskRuleStoreMemory = 0x2,
};

struct AddRuleMessage {  // then Pattern (PatternLength bytes)
    std::uint32_t Command;
    Guid RuleId;
    std::uint32_t RuleProcessId;
    std::uint32_t RuleFlags;
    std::uint32_t RuleCategory;  // 0 any, 1 process, 2 file system
    std::uint32_t RuleOperations;
    std::uint16_t PatternLength;
};

struct DeleteRuleMessage {  // then Pattern
    std::uint32_t Command;
    std::uint32_t Reserved;
    std::uint32_t RuleStore;
    std::uint16_t PatternLength;
};

struct ClearRulesMessage {
    std::uint32_t Command;
    std::uint32_t RuleStore;
};

enum ResolveFlags : std::uint32_t {
    VeskResolveWantUnc = 0x1,
    VeskResolveUseLogonId = 0x2,
};

struct ResolveNameMessage {  // then Name
    std::uint32_t Command;
    std::uint32_t ResolveFlags;
    std::uint32_t ResolveSessionId;
    std::uint32_t LogonIdLow;
    std::int32_t LogonIdHigh;
    std::uint16_t NameLength;
};

enum NetworkProvider : std::uint32_t {
    VeskProviderOther = 0,
    VeskProviderLanman = 1,
    VeskProviderWebDav = 2,
    VeskProviderVirtualBox = 3,
    VeskProviderVmware = 4,
    VeskProviderCsc = 5,
};

struct ResolveNameReply {  // then the drive-letter name and the UNC name, no terminators
    std::uint32_t NetworkProvider;
    std::uint16_t DosNameLength;  // in: capacity; out: length
    std::uint16_t UncNameLength;  // in: capacity; out: length
};

struct StatisticsReply {
    std::uint64_t ReadsSucceeded;
    std::uint64_t WritesSucceeded;
    std::uint64_t CreatesSucceeded;
    std::uint64_t ReadsFailed;
    std::uint64_t WritesFailed;
    std::uint64_t CreatesFailed;
    std::uint64_t BytesRead;
    std::uint64_t BytesWritten;
    std::uint64_t StartTime;
    std::uint64_t LastReadTime;
    std::uint64_t LastWriteTime;
};

enum IoFlags : std::uint32_t {
    VeskIoIgnoreShareAccess = 0x1,
    VeskIoBelowFilter = 0x2,
    VeskIoCaseSensitive = 0x4,
    VeskIoKernelName = 0x8,
};

struct IoCreateMessage {  // then Name
    std::uint32_t Command;
    std::uint32_t DesiredAccess;
    std::uint32_t Disposition;
    std::uint32_t Attributes;
    std::uint32_t ShareAccess;
    std::uint32_t CreateOptions;
    std::uint32_t IoFlags;
    std::uint16_t NameLength;
};

struct IoOpenByIdMessage {
    std::uint32_t Command;
    std::uint32_t DesiredAccess;
    std::uint32_t Disposition;
    std::uint32_t ShareAccess;
    std::uint32_t CreateOptions;
    std::uint32_t IoFlags;
    std::int64_t FileId;
};

struct IoOpenReply {
    std::uint32_t Handle;
    std::uint32_t Result;  // wire create result
};

struct IoHandleMessage {  // close, delete, delete object id, get size, get information, flush
    std::uint32_t Command;
    std::uint32_t Handle;
};

enum IoTransferFlags : std::uint32_t {
    VeskIoKeepPosition = 0x2,
    VeskIoNonCached = 0x4,
};

struct IoTransferMessage {  // read; write then carries TransferLength data bytes
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t TransferFlags;
    std::int64_t FileOffset;
    std::uint32_t TransferLength;
};

enum LinkFlags : std::uint32_t {
    VeskLinkReplace = 0x1,
    VeskLinkKernelName = 0x2,
};

struct IoLinkMessage {  // move, hard link, mount point; then Name
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t LinkFlags;
    std::uint16_t NameLength;
};

struct IoInt64Message {  // set position, set size
    std::uint32_t Command;
    std::uint32_t Handle;
    std::int64_t Value;
};

struct IoSymbolicLinkMessage {  // then Name (the target)
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t SymlinkFlags;  // bit 0: relative
    std::uint32_t LinkFlags;
    std::uint16_t NameLength;
};

struct IoSetReparseMessage {  // then Data
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t Tag;
    std::uint8_t Guid[16];
    std::uint16_t DataLength;
};

struct IoDeleteReparseMessage {
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t Tag;
    std::uint8_t Guid[16];
};

struct IoSetObjectIdMessage {  // set and set extended
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint8_t Buffer[64];  // 16-byte object id, then 48 bytes of extended information
};

struct IoGetObjectIdMessage {
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t CreateIfMissing;  // bit 0
};

struct IoGetSizeReply {
    std::int64_t EndOfFile;
    std::int64_t AllocationSize;
    std::int64_t CompressedSize;
};

enum FileModeWire : std::uint32_t {
    VeskModeWriteThrough = 0x01,
    VeskModeSequentialOnly = 0x02,
    VeskModeNoIntermediateBuffering = 0x04,
    VeskModeSynchronousAlert = 0x08,
    VeskModeSynchronousNonAlert = 0x10,
    VeskModeDeleteOnClose = 0x20,
};

struct IoInformationReply {
    std::uint32_t Attributes;  // wire encoding
    std::int64_t CreationTime;
    std::int64_t LastAccessTime;
    std::int64_t LastWriteTime;
    std::int64_t ChangeTime;
    std::uint32_t NumberOfLinks;
    std::uint8_t DeletePending;
    std::int64_t EndOfFile;
    std::int64_t AllocationSize;
    std::int64_t CompressedSize;
    std::uint32_t EaSize;
    std::int64_t FileId;
    std::uint32_t AccessFlags;
    std::uint32_t AlignmentRequirement;
    std::uint32_t Mode;  // FileModeWire bits
};

struct IoSetInformationMessage {
    std::uint32_t Command;
    std::uint32_t Handle;
    std::int64_t CreationTime;
    std::int64_t LastAccessTime;
    std::int64_t LastWriteTime;
    std::int64_t ChangeTime;
    std::uint32_t Attributes;  // wire encoding; 0 leaves them unchanged
};

struct IoSetSecurityMessage {  // then the descriptor and 20 ignored bytes
    std::uint32_t Command;
    std::uint32_t Handle;
    std::uint32_t DescriptorLength;
    std::uint32_t InformationTypes;
};
constexpr std::uint32_t kSetSecurityTrailerLength = 20;

#pragma pack(pop)

static_assert(sizeof(ConnectionContext) == 16);
static_assert(sizeof(Guid) == 16);
static_assert(sizeof(AddRuleMessage) == 38);
static_assert(offsetof(AddRuleMessage, RuleProcessId) == 20);
static_assert(offsetof(AddRuleMessage, RuleFlags) == 24);
static_assert(offsetof(AddRuleMessage, RuleCategory) == 28);
static_assert(offsetof(AddRuleMessage, RuleOperations) == 32);
static_assert(offsetof(AddRuleMessage, PatternLength) == 36);
static_assert(sizeof(DeleteRuleMessage) == 14);
static_assert(offsetof(DeleteRuleMessage, RuleStore) == 8);
static_assert(sizeof(ClearRulesMessage) == 8);
static_assert(sizeof(ResolveNameMessage) == 22);
static_assert(offsetof(ResolveNameMessage, LogonIdLow) == 12);
static_assert(offsetof(ResolveNameMessage, NameLength) == 20);
static_assert(sizeof(ResolveNameReply) == 8);
static_assert(sizeof(StatisticsReply) == 88);
static_assert(offsetof(StatisticsReply, StartTime) == 64);
static_assert(offsetof(StatisticsReply, LastWriteTime) == 80);
static_assert(sizeof(IoCreateMessage) == 30);
static_assert(offsetof(IoCreateMessage, IoFlags) == 24);
static_assert(offsetof(IoCreateMessage, NameLength) == 28);
static_assert(sizeof(IoOpenByIdMessage) == 32);
static_assert(offsetof(IoOpenByIdMessage, FileId) == 24);
static_assert(sizeof(IoOpenReply) == 8);
static_assert(sizeof(IoHandleMessage) == 8);
static_assert(sizeof(IoTransferMessage) == 24);
static_assert(offsetof(IoTransferMessage, FileOffset) == 12);
static_assert(offsetof(IoTransferMessage, TransferLength) == 20);
static_assert(sizeof(IoLinkMessage) == 14);
static_assert(sizeof(IoInt64Message) == 16);
static_assert(sizeof(IoSymbolicLinkMessage) == 18);
static_assert(offsetof(IoSymbolicLinkMessage, NameLength) == 16);
static_assert(sizeof(IoSetReparseMessage) == 30);
static_assert(offsetof(IoSetReparseMessage, Guid) == 12);
static_assert(offsetof(IoSetReparseMessage, DataLength) == 28);
static_assert(sizeof(IoDeleteReparseMessage) == 28);
static_assert(sizeof(IoSetObjectIdMessage) == 72);
static_assert(sizeof(IoGetObjectIdMessage) == 12);
static_assert(sizeof(IoGetSizeReply) == 24);
static_assert(sizeof(IoInformationReply) == 89);
static_assert(offsetof(IoInformationReply, NumberOfLinks) == 36);
static_assert(offsetof(IoInformationReply, DeletePending) == 40);
static_assert(offsetof(IoInformationReply, EndOfFile) == 41);
static_assert(offsetof(IoInformationReply, EaSize) == 65);
static_assert(offsetof(IoInformationReply, FileId) == 69);
static_assert(offsetof(IoInformationReply, Mode) == 85);
static_assert(sizeof(IoSetInformationMessage) == 44);
static_assert(offsetof(IoSetInformationMessage, Attributes) == 40);
static_assert(sizeof(IoSetSecurityMessage) == 16);

}  // namespace vesk::wire
