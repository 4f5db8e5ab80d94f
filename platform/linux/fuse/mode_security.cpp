#include "mode_security.h"

#include <string>

#include "platform/kernel/security_descriptor.h"
#include "platform/kernel/sid.h"

namespace linux_fuse {
namespace {

constexpr std::uint32_t kFileGenericRead = 0x00120089;
constexpr std::uint32_t kFileGenericWrite = 0x00120116;
constexpr std::uint32_t kFileGenericExecute = 0x001200A0;

}  // namespace

std::uint32_t AccessMaskOfModeBits(unsigned bits) {
    std::uint32_t mask = 0;
    if ((bits & 4) != 0) {
        mask |= kFileGenericRead;
    }
    if ((bits & 2) != 0) {
        mask |= kFileGenericWrite;
    }
    if ((bits & 1) != 0) {
        mask |= kFileGenericExecute;
    }
    return mask;
}

std::uint32_t SecurityInformationOf(const SecurityChange& change) {
    return (change.owner ? kOwnerSecurityInformation : 0) |
           (change.group ? kGroupSecurityInformation : 0) |
           (change.mode ? kDaclSecurityInformation : 0);
}

std::vector<std::uint8_t> SecurityDescriptorFor(const SecurityChange& change) {
    std::vector<std::uint8_t> owner =
        kernel::SidFromString("S-1-22-1-" + std::to_string(change.owner.value_or(change.fileOwner)));
    std::vector<std::uint8_t> group =
        kernel::SidFromString("S-1-22-2-" + std::to_string(change.group.value_or(change.fileGroup)));
    std::vector<std::uint8_t> world = kernel::SidFromString("S-1-1-0");
    std::vector<std::uint8_t> fileOwner =
        kernel::SidFromString("S-1-22-1-" + std::to_string(change.fileOwner));
    std::vector<std::uint8_t> fileGroup =
        kernel::SidFromString("S-1-22-2-" + std::to_string(change.fileGroup));

    kernel::SecurityDescriptor descriptor{};
    if (!kernel::NtSuccess(
            kernel::CreateSecurityDescriptor(&descriptor, kernel::kSecurityDescriptorRevision))) {
        return {};
    }
    if (change.owner) {
        descriptor.Owner = owner.data();
    }
    if (change.group) {
        descriptor.Group = group.data();
    }
    std::vector<std::uint8_t> aclBytes;
    if (change.mode) {
        const mode_t mode = *change.mode;
        const struct {
            const std::vector<std::uint8_t>* sid;
            unsigned bits;
        } entries[] = {{&fileOwner, (mode >> 6) & 7U}, {&fileGroup, (mode >> 3) & 7U},
                       {&world, mode & 7U}};
        std::uint32_t length = sizeof(kernel::Acl);
        for (const auto& e : entries) {
            if (e.bits != 0) {
                length += static_cast<std::uint32_t>(sizeof(kernel::AceHeader) + 4 + e.sid->size());
            }
        }
        aclBytes.assign(length, 0);
        auto* acl = reinterpret_cast<kernel::Acl*>(aclBytes.data());
        if (!kernel::NtSuccess(kernel::CreateAcl(acl, length, kernel::kAclRevision))) {
            return {};
        }
        for (const auto& e : entries) {
            if (e.bits != 0 &&
                !kernel::NtSuccess(kernel::AddAccessAllowedAce(
                    acl, kernel::kAclRevision, AccessMaskOfModeBits(e.bits), e.sid->data()))) {
                return {};
            }
        }
        if (!kernel::NtSuccess(kernel::SetDaclSecurityDescriptor(&descriptor, true, acl, false))) {
            return {};
        }
    }
    std::uint32_t size = 0;
    (void)kernel::MakeSelfRelativeSecurityDescriptor(descriptor, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    if (size == 0 ||
        !kernel::NtSuccess(kernel::MakeSelfRelativeSecurityDescriptor(descriptor, bytes.data(), &size))) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace linux_fuse
