#include "command_dispatcher.h"

#include <array>
#include <cstring>
#include <optional>

#include "core/pool_tags.h"
#include "platform/kernel/pool.h"

namespace vesk::driver {

using namespace kernel;
using namespace vesk::wire;

namespace {

// How a command's body length is checked.
enum class BodyRule : std::uint8_t {
    Any,            // any length
    Exact,          // exactly `fixed` bytes
    PlusLength16,   // `fixed` bytes plus the u16 length at `lengthOffset`
    PlusLength32,   // `fixed` bytes plus the u32 length at `lengthOffset` (plus `trailer`)
};

// How a command's output buffer is checked.
enum class OutputRule : std::uint8_t {
    None,             // no reply; the output buffer is not looked at
    Exact,            // exactly `output` bytes
    AtLeast,          // at least `output` bytes
    ResolveCapacity,  // 8 + the two capacities the sender wrote at offsets 4 and 6
    TransferLength,   // at least the TransferLength of the request
};

struct CommandLayout {
    std::uint32_t code;
    BodyRule body;
    std::uint32_t fixed;         // body bytes before any variable part
    std::uint32_t lengthOffset;  // message offset of the variable part's length
    std::uint32_t trailer;       // bytes after the variable part (PlusLength32)
    OutputRule outputRule;
    std::uint32_t output;
    bool handle;                 // has a handle at offset 4 that must not be 0
};

constexpr std::array<CommandLayout, 30> kLayouts{{
    {VeskCmdActivate, BodyRule::Any, 0, 0, 0, OutputRule::None, 0, false},
    {VeskCmdDeactivate, BodyRule::Any, 0, 0, 0, OutputRule::None, 0, false},
    {VeskCmdAddRule, BodyRule::PlusLength16, 34, 36, 0, OutputRule::None, 0, false},
    {VeskCmdDeleteRule, BodyRule::PlusLength16, 10, 12, 0, OutputRule::None, 0, false},
    {VeskCmdClearRules, BodyRule::Exact, 4, 0, 0, OutputRule::None, 0, false},
    {VeskCmdResolveName, BodyRule::PlusLength16, 18, 20, 0, OutputRule::ResolveCapacity, 0, false},
    {VeskCmdGetStatistics, BodyRule::Exact, 0, 0, 0, OutputRule::Exact, 88, false},
    {VeskCmdIoCreate, BodyRule::PlusLength16, 26, 28, 0, OutputRule::Exact, 8, false},
    {VeskCmdIoOpenById, BodyRule::Exact, 28, 0, 0, OutputRule::Exact, 8, false},
    {VeskCmdIoClose, BodyRule::Exact, 4, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoRead, BodyRule::Exact, 20, 0, 0, OutputRule::TransferLength, 0, true},
    {VeskCmdIoWrite, BodyRule::PlusLength32, 20, 20, 0, OutputRule::AtLeast, 4, true},
    {VeskCmdIoDelete, BodyRule::Exact, 4, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoMove, BodyRule::PlusLength16, 10, 12, 0, OutputRule::None, 0, true},
    {VeskCmdIoCreateHardLink, BodyRule::PlusLength16, 10, 12, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetPosition, BodyRule::Exact, 12, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetSize, BodyRule::Exact, 12, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoCreateSymbolicLink, BodyRule::PlusLength16, 14, 16, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetMountPoint, BodyRule::PlusLength16, 10, 12, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetReparsePoint, BodyRule::PlusLength16, 26, 28, 0, OutputRule::None, 0, true},
    {VeskCmdIoDeleteReparsePoint, BodyRule::Exact, 24, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetObjectId, BodyRule::Exact, 68, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetObjectIdExtended, BodyRule::Exact, 68, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoDeleteObjectId, BodyRule::Exact, 4, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoGetObjectId, BodyRule::Exact, 8, 0, 0, OutputRule::Exact, 64, true},
    {VeskCmdIoGetSize, BodyRule::Exact, 4, 0, 0, OutputRule::Exact, 24, true},
    {VeskCmdIoGetInformation, BodyRule::Exact, 4, 0, 0, OutputRule::Exact, 89, true},
    {VeskCmdIoSetInformation, BodyRule::Exact, 40, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoFlush, BodyRule::Exact, 4, 0, 0, OutputRule::None, 0, true},
    {VeskCmdIoSetSecurity, BodyRule::PlusLength32, 32, 8, 0, OutputRule::None, 0, true},
}};

const CommandLayout* FindLayout(std::uint32_t code) {
    for (const CommandLayout& layout : kLayouts) {
        if (layout.code == code) {
            return &layout;
        }
    }
    return nullptr;
}

template <typename T>
T ReadAt(const std::uint8_t* bytes, std::uint32_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

bool BodyLengthMatches(const CommandLayout& layout, const std::uint8_t* message,
                       std::uint32_t length) {
    const std::uint32_t body = length - 4;
    switch (layout.body) {
        case BodyRule::Any:
            return true;
        case BodyRule::Exact:
            return body == layout.fixed;
        case BodyRule::PlusLength16:
            return body >= layout.fixed &&
                   body == layout.fixed + ReadAt<std::uint16_t>(message, layout.lengthOffset);
        case BodyRule::PlusLength32: {
            if (body < layout.fixed) {
                return false;
            }
            const std::uint64_t variable = ReadAt<std::uint32_t>(message, layout.lengthOffset);
            return std::uint64_t{body} == layout.fixed + variable;
        }
    }
    return false;
}

bool OutputMatches(const CommandLayout& layout, const std::uint8_t* message,
                   const std::uint8_t* output, std::uint32_t outputLength) {
    switch (layout.outputRule) {
        case OutputRule::None:
            return true;
        case OutputRule::Exact:
            return output != nullptr && outputLength == layout.output;
        case OutputRule::AtLeast:
            return output != nullptr && outputLength >= layout.output;
        case OutputRule::ResolveCapacity:
            return output != nullptr && outputLength >= sizeof(ResolveNameReply) &&
                   outputLength == sizeof(ResolveNameReply) +
                                       std::uint32_t{ReadAt<std::uint16_t>(output, 4)} +
                                       ReadAt<std::uint16_t>(output, 6);
        case OutputRule::TransferLength: {
            const auto transfer = ReadAt<std::uint32_t>(message, offsetof(IoTransferMessage, TransferLength));
            return output != nullptr && outputLength >= transfer;
        }
    }
    return false;
}

// A counted pool copy of a name or pattern from the message ("Fstr"), terminated. Empty text gives
// an empty string without allocating.
class PoolString {
public:
    PoolString() = default;
    PoolString(const PoolString&) = delete;
    PoolString& operator=(const PoolString&) = delete;
    ~PoolString() {
        if (string_.Buffer != nullptr) {
            FreePool(string_.Buffer, kTagString);
        }
    }

    bool Copy(const std::uint8_t* text, std::uint16_t bytes) {
        string_ = {0, 0, nullptr};
        if (bytes == 0) {
            return true;
        }
        const std::uint32_t capacity = std::uint32_t{bytes} + sizeof(char16_t);
        auto* buffer = static_cast<char16_t*>(AllocatePool(PoolType::Paged, capacity, kTagString));
        if (buffer == nullptr) {
            return false;
        }
        std::memcpy(buffer, text, bytes);
        reinterpret_cast<std::uint8_t*>(buffer)[bytes] = 0;
        reinterpret_cast<std::uint8_t*>(buffer)[bytes + 1] = 0;
        // An odd byte count is carried as it came; the terminator sits after the last whole byte.
        string_ = {bytes, static_cast<std::uint16_t>(capacity > 0xFFFF ? 0xFFFF : capacity), buffer};
        return true;
    }

    const UnicodeString* OrNull() const { return string_.Length != 0 ? &string_ : nullptr; }
    const UnicodeString& Get() const { return string_; }

private:
    UnicodeString string_{0, 0, nullptr};
};

NTSTATUS Activate(DriverState& driver) {
    if (driver.rules != nullptr) {
        const NTSTATUS status = driver.rules->ResolvePendingRules();
        if (!NtSuccess(status)) {
            return status;
        }
    }
    driver.statistics.ResetAndStart();
    driver.connection.SetActive();
    return STATUS_SUCCESS;
}

NTSTATUS AddRule(DriverState& driver, const std::uint8_t* message) {
    const auto header = ReadAt<AddRuleMessage>(message, 0);
    PoolString pattern;
    if (!pattern.Copy(message + sizeof(AddRuleMessage), header.PatternLength)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (driver.rules == nullptr) {
        return STATUS_NOT_IMPLEMENTED;
    }
    const AddRuleRequest request{header.RuleId,       header.RuleProcessId, header.RuleFlags,
                                 header.RuleCategory, header.RuleOperations, pattern.OrNull()};
    return driver.rules->AddRule(request);
}

NTSTATUS DeleteRule(DriverState& driver, const std::uint8_t* message) {
    const auto header = ReadAt<DeleteRuleMessage>(message, 0);
    PoolString pattern;
    if (!pattern.Copy(message + sizeof(DeleteRuleMessage), header.PatternLength)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (driver.rules == nullptr) {
        return STATUS_NOT_IMPLEMENTED;
    }
    return driver.rules->DeleteRule(header.RuleStore, pattern.OrNull());
}

NTSTATUS ResolveName(DriverState& driver, const std::uint8_t* message, std::uint8_t* output,
                     std::uint32_t outputLength, std::uint32_t* replyLength) {
    const auto header = ReadAt<ResolveNameMessage>(message, 0);
    PoolString name;
    if (!name.Copy(message + sizeof(ResolveNameMessage), header.NameLength)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (driver.names == nullptr) {
        return STATUS_NOT_IMPLEMENTED;
    }
    const ResolveNameRequest request{header.ResolveFlags,
                                     header.ResolveSessionId,
                                     Luid{header.LogonIdLow, header.LogonIdHigh},
                                     &name.Get(),
                                     std::span<std::uint8_t>(output, outputLength)};
    return driver.names->ResolveName(request, replyLength);
}

}  // namespace

NTSTATUS DispatchControlMessage(DriverState& driver, const void* input, std::uint32_t inputLength,
                                void* output, std::uint32_t outputLength,
                                std::uint32_t* replyLength) {
    std::uint32_t ignored = 0;
    if (replyLength == nullptr) {
        replyLength = &ignored;
    }
    *replyLength = 0;
    if (input == nullptr) {
        return STATUS_INVALID_USER_BUFFER;
    }
    if (inputLength < 4) {
        return STATUS_INVALID_BUFFER_SIZE;
    }
    const auto* message = static_cast<const std::uint8_t*>(input);
    auto* out = static_cast<std::uint8_t*>(output);
    if (out == nullptr) {
        outputLength = 0;
    }
    const auto code = ReadAt<std::uint32_t>(message, 0);
    const CommandLayout* layout = FindLayout(code);
    if (layout == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (!BodyLengthMatches(*layout, message, inputLength) ||
        !OutputMatches(*layout, message, out, outputLength)) {
        return STATUS_INVALID_BUFFER_SIZE;
    }
    // A transfer moves one byte or more.
    if ((code == VeskCmdIoRead || code == VeskCmdIoWrite) &&
        ReadAt<std::uint32_t>(message, offsetof(IoTransferMessage, TransferLength)) == 0) {
        return STATUS_INVALID_BUFFER_SIZE;
    }
    if (layout->handle && ReadAt<std::uint32_t>(message, 4) == 0) {
        return STATUS_INVALID_PARAMETER;
    }

    switch (code) {
        case VeskCmdActivate:
            return Activate(driver);
        case VeskCmdDeactivate:
            driver.connection.Deactivate();
            return STATUS_SUCCESS;
        case VeskCmdAddRule:
            return AddRule(driver, message);
        case VeskCmdDeleteRule:
            return DeleteRule(driver, message);
        case VeskCmdClearRules:
            if (driver.rules == nullptr) {
                return STATUS_NOT_IMPLEMENTED;
            }
            return driver.rules->ClearRules(ReadAt<ClearRulesMessage>(message, 0).RuleStore);
        case VeskCmdResolveName:
            return ResolveName(driver, message, out, outputLength, replyLength);
        case VeskCmdGetStatistics: {
            const StatisticsReply reply = driver.statistics.Read();
            std::memcpy(out, &reply, sizeof reply);
            *replyLength = sizeof reply;
            return STATUS_SUCCESS;
        }
        default:
            // The I/O commands (127 to 149).
            if (driver.files == nullptr) {
                return STATUS_NOT_IMPLEMENTED;
            }
            return driver.files->Execute(code, std::span<const std::uint8_t>(message, inputLength),
                                         std::span<std::uint8_t>(out, outputLength), replyLength);
    }
}

}  // namespace vesk::driver
