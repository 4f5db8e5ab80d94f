// Names in the form the user knows: the drive-letter (DOS) form, converted here from the volume's
// DOS name when the platform knows it, otherwise asked of the driver, which also gives the UNC
// form of network names.

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "last_error.h"
#include "library_strings.h"
#include "platform/user/volumes.h"
#include "requests.h"
#include "wire/port_wire.h"

namespace vesk::engine {
namespace {

// The converted name, terminator included, fits in this many characters.
constexpr std::size_t kMaxConvertedChars = 32764;
// Capacity offered to the driver for each name.
constexpr std::uint16_t kOfferedCapacity = 0xFFFE;

void ResetToEmpty(VeskString* s) {
    if (IsLibraryBuffer(*s)) {
        ReleaseLibraryBuffer(s);
    } else if (HoldsBuffer(*s) && s->Capacity >= 2) {
        s->Buffer[0] = 0;
    }
}

// Hands a converted text to the descriptor being filled. 0 or 1359.
std::uint32_t StoreConverted(VeskString* out, const std::u16string& text) {
    const std::size_t bytes = text.size() * 2;
    if (HoldsBuffer(*out)) {
        if (out->Capacity < bytes + 2) {
            return kErrorInternal;
        }
        std::memcpy(out->Buffer, text.data(), bytes);
        out->Buffer[text.size()] = 0;
        return 0;
    }
    if (out->Buffer != nullptr || out->Capacity != 0) {
        return kErrorInternal;  // a pointer without capacity, or a capacity without pointer
    }
    VeskChar* block = CopyText(text);
    if (block == nullptr) {
        return kErrorNotEnoughMemory;
    }
    out->Buffer = block;
    out->Capacity = static_cast<std::uint16_t>(bytes + 2);
    out->Flags |= VeskStringLibraryBuffer;
    return 0;
}

// The conversion through the volume's DOS name. 0 on success (*converted tells whether the
// result is a name); otherwise the error, and the driver is asked instead.
std::uint32_t ConvertLocally(const VeskNotification& n, const VeskChar* text,
                             std::uint16_t volumeChars, VeskString* out, bool* converted) {
    *converted = false;
    if (text == nullptr) {
        return kErrorInvalidName;
    }
    const std::u16string name(text, TextLength(text));
    std::u16string result;
    try {
        std::u16string dos;
        if (n.VolumePrefixLength != 0) {
            // A volume part longer than the text is taken as the whole text, never read beyond.
            const std::size_t volume = volumeChars < name.size() ? volumeChars : name.size();
            const platform::HRESULT found = user::GetDosName(name.substr(0, volume), &dos);
            if (found != 0) {
                return ErrorFromResult(found);
            }
            if (dos.empty()) {
                ResetToEmpty(out);  // the volume has no drive letter
                return 0;
            }
            result = dos + name.substr(volume);
        } else {
            const platform::HRESULT found = user::GetDosName(name, &dos);
            if (found != 0) {
                return ErrorFromResult(found);
            }
            result = dos;
        }
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
    if (result.size() + 1 > kMaxConvertedChars) {
        return kErrorInsufficientBuffer;
    }
    const std::uint32_t error = StoreConverted(out, result);
    *converted = error == 0 && !result.empty();
    return error;
}

// Stores a name the driver returned. False when it cannot be kept.
bool StoreReceived(VeskString* out, const std::uint8_t* text, std::uint16_t bytes) {
    if (HoldsBuffer(*out)) {
        if (out->Capacity < std::uint32_t{bytes} + 2) {
            return false;
        }
        std::memcpy(out->Buffer, text, bytes);
        std::memset(reinterpret_cast<std::uint8_t*>(out->Buffer) + bytes, 0, 2);
        return true;
    }
    if (out->Buffer != nullptr || out->Capacity != 0) {
        return false;
    }
    auto* block = static_cast<std::uint8_t*>(std::malloc(std::size_t{bytes} + 2));
    if (block == nullptr) {
        return false;
    }
    std::memcpy(block, text, bytes);
    std::memset(block + bytes, 0, 2);
    out->Buffer = reinterpret_cast<VeskChar*>(block);
    out->Capacity = bytes;
    out->Flags |= VeskStringLibraryBuffer;
    return true;
}

VeskBool AskDriver(const VeskNotification& n, const VeskChar* text, VeskName* name) {
    const std::size_t chars = text != nullptr ? TextLength(text) : 0;
    if (chars * 2 > 0xFFFF) {
        SetLastError(kErrorInvalidName);
        return 0;
    }
    const auto nameBytes = static_cast<std::uint16_t>(chars * 2);
    wire::ResolveNameMessage message{};
    message.ResolveFlags = wire::VeskResolveWantUnc;
    if (n.AuthenticationId.LowPart != 0 || n.AuthenticationId.HighPart != 0) {
        message.ResolveFlags |= wire::VeskResolveUseLogonId;
    }
    message.ResolveSessionId = n.SessionId;
    message.LogonIdLow = n.AuthenticationId.LowPart;
    message.LogonIdHigh = n.AuthenticationId.HighPart;
    message.NameLength = nameBytes;
    std::vector<std::uint8_t> payload;
    std::vector<std::uint8_t> reply;
    try {
        payload.resize(sizeof message - 4 + nameBytes);
        reply.resize(sizeof(wire::ResolveNameReply) + 2 * std::size_t{kOfferedCapacity});
    } catch (const std::bad_alloc&) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    std::memcpy(payload.data(), reinterpret_cast<const std::uint8_t*>(&message) + 4,
                sizeof message - 4);
    if (nameBytes != 0) {
        std::memcpy(payload.data() + sizeof message - 4, text, nameBytes);
    }
    // The output buffer is also an input: the capacities offered for each name.
    const wire::ResolveNameReply offered{0, kOfferedCapacity, kOfferedCapacity};
    std::memcpy(reply.data(), &offered, sizeof offered);
    std::uint32_t replyLength = 0;
    if (!SendRequest(wire::VeskCmdResolveName, payload.data(),
                     static_cast<std::uint32_t>(payload.size()), reply.data(),
                     static_cast<std::uint32_t>(reply.size()), &replyLength)) {
        return 0;
    }
    wire::ResolveNameReply answer{};
    std::memcpy(&answer, reply.data(), sizeof answer);
    // The lengths come from the other side: they must lie within what it said it wrote.
    if (replyLength < sizeof answer ||
        sizeof answer + std::uint32_t{answer.DosNameLength} + answer.UncNameLength > replyLength) {
        SetLastError(kErrorInternal);
        return 0;
    }
    const std::uint8_t* names = reply.data() + sizeof answer;
    const bool stored =
        (answer.DosNameLength == 0 || StoreReceived(&name->Name, names, answer.DosNameLength)) &&
        (answer.UncNameLength == 0 ||
         StoreReceived(&name->UncName, names + answer.DosNameLength, answer.UncNameLength));
    if (!stored) {
        ReleaseLibraryBuffer(&name->Name);
        ReleaseLibraryBuffer(&name->UncName);
        SetLastError(0);
        return 0;
    }
    name->NetworkProvider = answer.NetworkProvider;
    if (answer.DosNameLength != 0) {
        name->Flags |= VeskNameHasName;
    }
    if (answer.UncNameLength != 0) {
        name->Flags |= VeskNameHasUncName;
    }
    SetLastError(0);
    return 1;
}

VeskBool Resolve(const VeskNotification& n, const VeskChar* text, std::uint16_t volumeChars,
                 std::uint32_t flags, VeskName* name) {
    if ((flags & VeskNameAskDriver) == 0) {
        bool converted = false;
        if (ConvertLocally(n, text, volumeChars, &name->Name, &converted) == 0) {
            name->NetworkProvider = 0;
            if (converted) {
                name->Flags |= VeskNameHasName;
            }
            SetLastError(0);
            return 1;
        }
    }
    return AskDriver(n, text, name);
}

constexpr std::uint8_t kResultFlags = VeskNameHasName | VeskNameHasUncName;

}  // namespace
}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" {

VESK_API VeskBool VeskGetName(const VeskNotification* notification, uint32_t flags,
                              VeskName* name) {
    if (notification == nullptr || name == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    name->Flags &= static_cast<std::uint8_t>(~kResultFlags);
    return Resolve(*notification, notification->Name, notification->VolumePrefixLength, flags,
                   name);
}

VESK_API VeskBool VeskGetTargetName(const VeskNotification* notification,
                                    const VeskOperationData* data, uint32_t flags, VeskName* name) {
    if (notification == nullptr || data == nullptr || name == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    name->Flags &= static_cast<std::uint8_t>(~kResultFlags);
    switch (notification->Operation) {
        case VeskOpLink:
        case VeskOpRename:
            return Resolve(*notification, data->Link.Target, data->Link.TargetVolumePrefixLength,
                           flags, name);
        case VeskOpReparse:
            if (data->Reparse.Kind != 1 && data->Reparse.Kind != 2) {
                break;
            }
            if ((data->Reparse.Flags & 1) != 0) {
                // A relative target names nothing on its own.
                ResetToEmpty(&name->Name);
                if ((flags & VeskNameAskDriver) != 0) {
                    ResetToEmpty(&name->UncName);
                }
                SetLastError(0);
                return 1;
            }
            return Resolve(*notification, data->Reparse.Target,
                           data->Reparse.TargetVolumePrefixLength, flags, name);
        default:
            break;
    }
    SetLastError(kErrorInvalidOperation);
    return 0;
}

VESK_API const VeskChar* VeskGetTargetNameString(const VeskNotification* notification,
                                                 const VeskOperationData* data) {
    if (notification == nullptr || data == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    SetLastError(0);
    switch (notification->Operation) {
        case VeskOpLink:
        case VeskOpRename:
            return data->Link.Target;
        case VeskOpReparse:
            return data->Reparse.Kind == 1 || data->Reparse.Kind == 2 ? data->Reparse.Target
                                                                      : nullptr;
        default:
            return nullptr;
    }
}

// Releases the library buffers of both strings, whatever the name's flags say, so that nothing
// is left behind (an empty converted name, for one, has a buffer but no flag). Caller buffers
// are left alone and the name's flags are not changed.
VESK_API void VeskFreeName(VeskName* name) {
    if (name == nullptr) {
        return;
    }
    ReleaseLibraryBuffer(&name->Name);
    ReleaseLibraryBuffer(&name->UncName);
}

}  // extern "C"
