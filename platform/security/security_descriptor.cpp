#include "platform/kernel/security_descriptor.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/kernel/sid.h"

namespace kernel {
namespace {

constexpr std::uint32_t kAccessAllowedAceFixed = sizeof(AceHeader) + sizeof(std::uint32_t);

std::uint32_t ReadU32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Where the ACL's next ACE goes: after every ACE it holds, each of which must lie inside it.
bool FirstFreeByte(const Acl* acl, std::uint32_t* offset) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(acl);
    std::uint32_t at = sizeof(Acl);
    for (std::uint16_t i = 0; i < acl->AceCount; ++i) {
        if (at + sizeof(AceHeader) > acl->AclSize) {
            return false;
        }
        const std::uint16_t size = ReadU16(bytes + at + offsetof(AceHeader, AceSize));
        if (size < sizeof(AceHeader) || at + size > acl->AclSize) {
            return false;
        }
        at += size;
    }
    *offset = at;
    return true;
}

std::uint32_t AclLength(const Acl* acl) {
    return acl->AclSize;
}

}  // namespace

NTSTATUS InitializeSid(void* sid, const SidIdentifierAuthority& authority,
                       std::uint8_t subAuthorityCount) {
    if (sid == nullptr || subAuthorityCount > kSidMaxSubAuthorities) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* bytes = static_cast<std::uint8_t*>(sid);
    bytes[0] = kSidRevision;
    bytes[1] = subAuthorityCount;
    std::memcpy(bytes + 2, authority.Value, sizeof authority.Value);
    std::memset(bytes + 8, 0, 4u * subAuthorityCount);
    return STATUS_SUCCESS;
}

std::uint8_t* SubAuthoritySid(void* sid, std::uint8_t index) {
    return static_cast<std::uint8_t*>(sid) + 8 + 4u * index;
}

NTSTATUS CreateAcl(Acl* acl, std::uint32_t length, std::uint8_t revision) {
    if (acl == nullptr || length < sizeof(Acl) || length > 0xFFFF || length % 4 != 0 ||
        revision != kAclRevision) {
        return STATUS_INVALID_PARAMETER;
    }
    acl->AclRevision = revision;
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<std::uint16_t>(length);
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return STATUS_SUCCESS;
}

NTSTATUS AddAccessAllowedAce(Acl* acl, std::uint8_t revision, std::uint32_t accessMask,
                             const void* sid) {
    if (acl == nullptr || revision != acl->AclRevision || !IsValidSid(sid, kSidMaxLength)) {
        return STATUS_INVALID_PARAMETER;
    }
    std::uint32_t at = 0;
    if (!FirstFreeByte(acl, &at)) {
        return STATUS_INVALID_PARAMETER;
    }
    const auto sidLength = static_cast<std::uint32_t>(SidLength(sid));
    const std::uint32_t aceSize = kAccessAllowedAceFixed + sidLength;
    if (at + aceSize > acl->AclSize) {
        return STATUS_ALLOTTED_SPACE_EXCEEDED;
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(acl) + at;
    const AceHeader header{kAccessAllowedAceType, 0, static_cast<std::uint16_t>(aceSize)};
    std::memcpy(bytes, &header, sizeof header);
    std::memcpy(bytes + sizeof header, &accessMask, sizeof accessMask);
    std::memcpy(bytes + kAccessAllowedAceFixed, sid, sidLength);
    ++acl->AceCount;
    return STATUS_SUCCESS;
}

NTSTATUS CreateSecurityDescriptor(SecurityDescriptor* descriptor, std::uint8_t revision) {
    if (descriptor == nullptr || revision != kSecurityDescriptorRevision) {
        return STATUS_INVALID_PARAMETER;
    }
    *descriptor = SecurityDescriptor{revision, 0, 0, nullptr, nullptr, nullptr, nullptr};
    return STATUS_SUCCESS;
}

NTSTATUS SetDaclSecurityDescriptor(SecurityDescriptor* descriptor, bool present, Acl* dacl,
                                   bool defaulted) {
    if (descriptor == nullptr || (descriptor->Control & kSeSelfRelative) != 0) {
        return STATUS_INVALID_SECURITY_DESCR;
    }
    descriptor->Control &= static_cast<std::uint16_t>(~(kSeDaclPresent | kSeDaclDefaulted));
    if (present) {
        descriptor->Control |= kSeDaclPresent;
        if (defaulted) {
            descriptor->Control |= kSeDaclDefaulted;
        }
        descriptor->Dacl = dacl;
    } else {
        descriptor->Dacl = nullptr;
    }
    return STATUS_SUCCESS;
}

NTSTATUS GetDaclSecurityDescriptor(const SecurityDescriptor* descriptor, bool* present, Acl** dacl,
                                   bool* defaulted) {
    if (descriptor == nullptr || descriptor->Revision != kSecurityDescriptorRevision) {
        return STATUS_INVALID_SECURITY_DESCR;
    }
    *present = (descriptor->Control & kSeDaclPresent) != 0;
    *dacl = *present ? descriptor->Dacl : nullptr;
    *defaulted = (descriptor->Control & kSeDaclDefaulted) != 0;
    return STATUS_SUCCESS;
}

std::uint32_t LengthSecurityDescriptor(const void* selfRelative, std::size_t available) {
    if (selfRelative == nullptr || available < kSelfRelativeHeaderLength) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(selfRelative);
    if (bytes[0] != kSecurityDescriptorRevision || (ReadU16(bytes + 2) & kSeSelfRelative) == 0) {
        return 0;
    }
    std::uint64_t end = kSelfRelativeHeaderLength;
    for (int part = 0; part < 4; ++part) {  // owner, group, SACL, DACL
        const std::uint32_t offset = ReadU32(bytes + 4 + 4 * part);
        if (offset == 0) {
            continue;
        }
        if (offset < kSelfRelativeHeaderLength || offset >= available) {
            return 0;
        }
        std::uint64_t length;
        if (part < 2) {
            if (!IsValidSid(bytes + offset, available - offset)) {
                return 0;
            }
            length = SidLength(bytes + offset);
        } else {
            if (available - offset < sizeof(Acl)) {
                return 0;
            }
            length = ReadU16(bytes + offset + offsetof(Acl, AclSize));
            if (length < sizeof(Acl)) {
                return 0;
            }
        }
        if (offset + length > available) {
            return 0;
        }
        end = std::max<std::uint64_t>(end, offset + length);
    }
    return static_cast<std::uint32_t>(end);
}

NTSTATUS MakeSelfRelativeSecurityDescriptor(const SecurityDescriptor& absolute, void* buffer,
                                            std::uint32_t* length) {
    const void* parts[4] = {absolute.Owner, absolute.Group, absolute.Sacl, absolute.Dacl};
    std::uint32_t sizes[4] = {};
    std::uint32_t needed = kSelfRelativeHeaderLength;
    for (int part = 0; part < 4; ++part) {
        if (parts[part] == nullptr) {
            continue;
        }
        sizes[part] = part < 2 ? static_cast<std::uint32_t>(SidLength(parts[part]))
                               : AclLength(static_cast<const Acl*>(parts[part]));
        needed += sizes[part];
    }
    const std::uint32_t offered = *length;
    *length = needed;
    if (buffer == nullptr || offered < needed) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::memset(bytes, 0, kSelfRelativeHeaderLength);
    bytes[0] = absolute.Revision;
    const auto control = static_cast<std::uint16_t>(absolute.Control | kSeSelfRelative);
    std::memcpy(bytes + 2, &control, sizeof control);
    std::uint32_t at = kSelfRelativeHeaderLength;
    for (int part = 0; part < 4; ++part) {
        if (parts[part] == nullptr) {
            continue;
        }
        std::memcpy(bytes + 4 + 4 * part, &at, sizeof at);
        std::memcpy(bytes + at, parts[part], sizes[part]);
        at += sizes[part];
    }
    return STATUS_SUCCESS;
}

}  // namespace kernel
