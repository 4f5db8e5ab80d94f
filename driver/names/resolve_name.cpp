#include "resolve_name.h"

#include <cstring>

#include "case_insensitive_search.h"
#include "drive_device.h"
#include "network_name.h"
#include "platform/kernel/device_map.h"
#include "platform/kernel/process.h"
#include "platform/kernel/string_routines.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

namespace {

// A match must end where a path component ends: "\srv\share" is no root of "\srv\share2\f",
// nor "\Device\HarddiskVolume1" a prefix of "\Device\HarddiskVolume10\f".
bool EndsAtComponent(std::u16string_view name, std::size_t end) {
    return end == name.size() || name[end] == u'\\';
}

// Looks for the drive's UNC root in the name, at component boundaries.
std::size_t FindRoot(std::u16string_view name, std::u16string_view root) {
    for (std::size_t at = FindIgnoringCase(name, root); at != kNotFound;
         at = FindIgnoringCase(name, root, at + 1)) {
        if (EndsAtComponent(name, at + root.size())) {
            return at;
        }
    }
    return kNotFound;
}

}  // namespace

NTSTATUS ResolveKernelName(const UnicodeString& name, bool wantUncRoot, const Luid* logonId,
                           ResolvedName* result) {
    const std::u16string_view n = View(name);
    ProcessDeviceMap map{};
    const bool haveMap = logonId == nullptr &&
                         NtSuccess(QueryProcessDeviceMap(ThreadToProcess(CurrentThread()), &map));

    for (int index = 0; index < 26; ++index) {
        if (haveMap && ((map.DriveMap >> index) & 1U) == 0) {
            continue;
        }
        const auto letter = static_cast<char16_t>(u'A' + index);
        CountedStringHolder device;
        const NTSTATUS lookup = GetDriveDevice(letter, logonId, device.Receive());
        if (lookup == STATUS_INSUFFICIENT_RESOURCES) {
            // Skipping the letter would answer with another drive, or none, as if it were right.
            return lookup;
        }
        if (!NtSuccess(lookup)) {
            continue;
        }
        const std::u16string_view d = View(*device.Get());

        bool tryPrefix = true;
        if (!haveMap || map.DriveType[index] == DRIVE_REMOTE) {
            NetworkNameParts parts;
            const NTSTATUS status = ParseNetworkName(*device.Get(), &parts);
            if (NtSuccess(status)) {
                result->providerFound = true;
                result->provider = parts.provider;
                if (parts.provider != wire::VeskProviderOther) {
                    tryPrefix = false;
                    const std::u16string_view root =
                        d.substr(parts.uncRootStart, parts.uncRootEnd - parts.uncRootStart);
                    const std::size_t at = FindRoot(n, root);
                    if (at != kNotFound) {
                        result->letter = letter;
                        result->rest = n.substr(at + root.size());
                        if (wantUncRoot) {
                            result->uncRoot = root;
                            result->device.Reset();
                            *result->device.Receive() = device.Release();
                        }
                        return STATUS_SUCCESS;
                    }
                }
            } else if (haveMap) {
                return STATUS_BAD_NETWORK_PATH;
            }
        }
        if (tryPrefix && !d.empty() && d.size() <= n.size() &&
            PrefixUnicodeString(*device.Get(), name, true) && EndsAtComponent(n, d.size())) {
            result->letter = letter;
            result->rest = n.substr(d.size());
            return STATUS_SUCCESS;
        }
    }

    NetworkNameParts parts;
    const NTSTATUS status = ParseNetworkName(name, &parts);
    if (!NtSuccess(status)) {
        return status;
    }
    result->providerFound = true;
    result->provider = parts.provider;
    // A redirector outside the table gives no UNC root: the name has no form to offer.
    if (!wantUncRoot || parts.provider == wire::VeskProviderOther) {
        return STATUS_INVALID_PARAMETER;
    }
    result->uncRoot = n.substr(parts.uncRootStart, parts.uncRootEnd - parts.uncRootStart);
    return STATUS_SUCCESS;
}

NTSTATUS NameResolver::ResolveName(const ResolveNameRequest& request, std::uint32_t* replyLength) {
    *replyLength = 0;
    wire::ResolveNameReply reply;
    if (request.reply.size() < sizeof reply) {
        return STATUS_INVALID_BUFFER_SIZE;
    }
    std::memcpy(&reply, request.reply.data(), sizeof reply);

    ResolvedName resolved;
    const bool useLogonId = (request.flags & wire::VeskResolveUseLogonId) != 0;
    const NTSTATUS status =
        ResolveKernelName(*request.name, (request.flags & wire::VeskResolveWantUnc) != 0,
                          useLogonId ? &request.logonId : nullptr, &resolved);
    if (!NtSuccess(status)) {
        return status;
    }

    const std::uint32_t dosBytes =
        resolved.letter != 0 ? static_cast<std::uint32_t>(2 + resolved.rest.size()) * 2 : 0;
    const auto uncBytes = static_cast<std::uint32_t>(resolved.uncRoot.size() * 2);
    if (dosBytes > 0xFFFF || uncBytes > 0xFFFF) {
        return STATUS_INVALID_PARAMETER;  // no length field could describe it
    }
    if (dosBytes > reply.DosNameLength || uncBytes > reply.UncNameLength ||
        sizeof reply + reply.DosNameLength + reply.UncNameLength > request.reply.size()) {
        reply.DosNameLength = static_cast<std::uint16_t>(dosBytes);
        reply.UncNameLength = static_cast<std::uint16_t>(uncBytes);
        std::memcpy(request.reply.data() + offsetof(wire::ResolveNameReply, DosNameLength),
                    &reply.DosNameLength, sizeof(std::uint16_t) * 2);
        *replyLength = sizeof reply;
        return STATUS_BUFFER_TOO_SMALL;
    }

    if (resolved.providerFound) {
        reply.NetworkProvider = resolved.provider;
    }
    reply.DosNameLength = static_cast<std::uint16_t>(dosBytes);
    reply.UncNameLength = static_cast<std::uint16_t>(uncBytes);
    std::uint8_t* out = request.reply.data();
    std::memcpy(out, &reply, sizeof reply);
    std::uint8_t* names = out + sizeof reply;
    if (dosBytes != 0) {
        const char16_t drive[2] = {resolved.letter, u':'};
        std::memcpy(names, drive, sizeof drive);
        if (!resolved.rest.empty()) {
            std::memcpy(names + sizeof drive, resolved.rest.data(), resolved.rest.size() * 2);
        }
    }
    if (uncBytes != 0) {
        std::memcpy(names + dosBytes, resolved.uncRoot.data(), uncBytes);
    }
    *replyLength = static_cast<std::uint32_t>(sizeof reply + dosBytes + uncBytes);
    return STATUS_SUCCESS;
}

}  // namespace vesk::driver
