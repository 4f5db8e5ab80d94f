// A Linux file's owner, group and mode as the platform's self-relative security descriptor:
// owner S-1-22-1-uid, group S-1-22-2-gid, and a DACL with one allow entry each for the owner, the
// group and everyone (S-1-1-0) carrying the rights their mode bits give (read, write, execute);
// classes without any bit get no entry.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace linux_fuse {

// Security information bits: which parts a set-security request changes.
constexpr std::uint32_t kOwnerSecurityInformation = 0x1;
constexpr std::uint32_t kGroupSecurityInformation = 0x2;
constexpr std::uint32_t kDaclSecurityInformation = 0x4;

// Rights one class of mode bits (rwx, 0-7) grants.
std::uint32_t AccessMaskOfModeBits(unsigned bits);

struct SecurityChange {
    std::optional<uid_t> owner;  // set: the owner changes
    std::optional<gid_t> group;  // set: the group changes
    std::optional<mode_t> mode;  // set: the permission bits change (the DACL)
    // The file's owner and group after the change, for the DACL's entries.
    uid_t fileOwner = 0;
    gid_t fileGroup = 0;
};

std::uint32_t SecurityInformationOf(const SecurityChange& change);

// The self-relative descriptor of the parts that change; empty on failure.
std::vector<std::uint8_t> SecurityDescriptorFor(const SecurityChange& change);

}  // namespace linux_fuse
