// Security descriptors and their parts: SIDs built by authority and sub-authorities, access
// control lists and access-allowed entries, the absolute descriptor a caller builds and the
// self-relative form (one block, offsets instead of pointers) that requests carry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/status.h"

namespace kernel {

// SID built in place: 6-byte identifier authority, then sub-authorities the caller sets.
struct SidIdentifierAuthority {
    std::uint8_t Value[6];
};
constexpr SidIdentifierAuthority kWorldSidAuthority{{0, 0, 0, 0, 0, 1}};
constexpr std::uint32_t kWorldRid = 0;

// sid must hold SidLengthRequired(subAuthorityCount) bytes (platform/kernel/sid.h).
NTSTATUS InitializeSid(void* sid, const SidIdentifierAuthority& authority,
                       std::uint8_t subAuthorityCount);
// The sub-authority slot (unaligned-safe pointer into the SID).
std::uint8_t* SubAuthoritySid(void* sid, std::uint8_t index);

constexpr std::uint8_t kAclRevision = 2;
constexpr std::uint8_t kAccessAllowedAceType = 0;

#pragma pack(push, 1)
struct Acl {
    std::uint8_t AclRevision;
    std::uint8_t Sbz1;
    std::uint16_t AclSize;
    std::uint16_t AceCount;
    std::uint16_t Sbz2;
};
struct AceHeader {
    std::uint8_t AceType;
    std::uint8_t AceFlags;
    std::uint16_t AceSize;
};
#pragma pack(pop)
static_assert(sizeof(Acl) == 8 && sizeof(AceHeader) == 4, "binary layouts of the platform");

// An empty ACL of length bytes (at least sizeof(Acl), a multiple of 4).
NTSTATUS CreateAcl(Acl* acl, std::uint32_t length, std::uint8_t revision);
// Appends an access-allowed ACE (header, mask, SID); STATUS_ALLOTTED_SPACE_EXCEEDED when it does
// not fit the ACL's size.
NTSTATUS AddAccessAllowedAce(Acl* acl, std::uint8_t revision, std::uint32_t accessMask,
                             const void* sid);

constexpr std::uint8_t kSecurityDescriptorRevision = 1;
constexpr std::uint16_t kSeDaclPresent = 0x0004;
constexpr std::uint16_t kSeDaclDefaulted = 0x0008;
constexpr std::uint16_t kSeSelfRelative = 0x8000;

// Absolute form: the parts live elsewhere; the caller keeps them alive while the descriptor is
// used.
struct SecurityDescriptor {
    std::uint8_t Revision;
    std::uint8_t Sbz1;
    std::uint16_t Control;
    void* Owner;
    void* Group;
    Acl* Sacl;
    Acl* Dacl;
};

NTSTATUS CreateSecurityDescriptor(SecurityDescriptor* descriptor, std::uint8_t revision);
NTSTATUS SetDaclSecurityDescriptor(SecurityDescriptor* descriptor, bool present, Acl* dacl,
                                   bool defaulted);
NTSTATUS GetDaclSecurityDescriptor(const SecurityDescriptor* descriptor, bool* present, Acl** dacl,
                                   bool* defaulted);

// Self-relative form: a 20-byte header (revision, padding, control, then the offsets of owner,
// group, SACL and DACL from the start; 0 for absent parts), the parts after it.
constexpr std::uint32_t kSelfRelativeHeaderLength = 20;

// Length of a self-relative descriptor: the end of its furthest part. available bounds every read
// (pass the size of the buffer that holds it); 0 when the descriptor is not well formed within it.
std::uint32_t LengthSecurityDescriptor(const void* selfRelative, std::size_t available);

// The self-relative copy of an absolute descriptor: *length in, buffer size; out, the size
// needed. STATUS_BUFFER_TOO_SMALL when it does not fit.
NTSTATUS MakeSelfRelativeSecurityDescriptor(const SecurityDescriptor& absolute, void* buffer,
                                            std::uint32_t* length);

}  // namespace kernel
