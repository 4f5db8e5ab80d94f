// The tables of the FUSE face: open flags to create parameters, and modes to access lists.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <cstring>

#include "create_parameters.h"
#include "mode_security.h"
#include "platform/kernel/security_descriptor.h"
#include "platform/kernel/sid.h"

namespace linux_fuse {
namespace {

TEST(CreateParameters, OpenFlagsGiveDispositionAccessOptionsAndResult) {
    struct Case {
        const char* what;
        OpenKind kind;
        int flags;
        std::uint32_t disposition;
        std::uint32_t access;
        std::uint32_t options;
        std::uint64_t result;
    };
    const std::uint32_t sync = kOptionSynchronousIoNonAlert;
    const std::uint32_t file = kOptionNonDirectoryFile | sync;
    const Case cases[] = {
        {"read", OpenKind::Open, O_RDONLY, kDispositionOpen, kFileGenericRead, file, kResultOpened},
        {"write", OpenKind::Open, O_WRONLY, kDispositionOpen, kFileGenericWrite, file,
         kResultOpened},
        {"read and write", OpenKind::Open, O_RDWR, kDispositionOpen,
         kFileGenericRead | kFileGenericWrite, file, kResultOpened},
        {"append", OpenKind::Open, O_WRONLY | O_APPEND, kDispositionOpen, kFileAppendOnlyWrite,
         file, kResultOpened},
        {"truncate", OpenKind::Open, O_WRONLY | O_TRUNC, kDispositionOverwrite, kFileGenericWrite,
         file, kResultOverwritten},
        {"synchronous", OpenKind::Open, O_WRONLY | O_SYNC, kDispositionOpen, kFileGenericWrite,
         file | kOptionWriteThrough, kResultOpened},
        {"direct", OpenKind::Open, O_RDONLY | O_DIRECT, kDispositionOpen, kFileGenericRead,
         file | kOptionNoIntermediateBuffering, kResultOpened},
        {"create", OpenKind::Create, O_WRONLY | O_CREAT, kDispositionOpenIf, kFileGenericWrite,
         file, kResultCreated},
        {"create exclusively", OpenKind::Create, O_WRONLY | O_CREAT | O_EXCL, kDispositionCreate,
         kFileGenericWrite, file, kResultCreated},
        {"create or truncate", OpenKind::Create, O_WRONLY | O_CREAT | O_TRUNC,
         kDispositionOverwriteIf, kFileGenericWrite, file, kResultCreated},
        {"directory", OpenKind::Directory, O_RDONLY | O_DIRECTORY, kDispositionOpen,
         kFileGenericRead, kOptionDirectoryFile | sync, kResultOpened},
        {"mkdir", OpenKind::MakeDirectory, 0, kDispositionCreate, kFileGenericRead,
         kOptionDirectoryFile | sync, kResultCreated},
        {"mknod", OpenKind::MakeNode, 0, kDispositionCreate, kFileGenericRead, file,
         kResultCreated},
        {"symlink", OpenKind::SymbolicLink, 0, kDispositionCreate, kFileGenericRead,
         file | kOptionOpenReparsePoint, kResultCreated},
    };
    for (const Case& c : cases) {
        const flt::CreateParameters p = CreateParametersFor(c.kind, c.flags);
        EXPECT_EQ(p.options >> 24, c.disposition) << c.what;
        EXPECT_EQ(p.options & 0x00FFFFFF, c.options) << c.what;
        EXPECT_EQ(p.desiredAccess, c.access) << c.what;
        EXPECT_EQ(p.shareAccess, kShareAll) << c.what;
        EXPECT_EQ(p.allocationSize, 0) << c.what;
        EXPECT_EQ(CreateResultFor(c.kind, c.flags), c.result) << c.what;
    }
}

TEST(ModeSecurity, ModeBitsGiveRights) {
    const std::uint32_t read = 0x00120089, write = 0x00120116, execute = 0x001200A0;
    const struct {
        unsigned bits;
        std::uint32_t mask;
    } cases[] = {{0, 0},
                 {4, read},
                 {2, write},
                 {1, execute},
                 {6, read | write},
                 {5, read | execute},
                 {7, read | write | execute}};
    for (const auto& c : cases) {
        EXPECT_EQ(AccessMaskOfModeBits(c.bits), c.mask) << c.bits;
    }
}

// The descriptor's parts, read back: owner, group, and each access entry's SID and mask.
struct Parsed {
    std::string owner, group;
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    bool dacl = false;
};

Parsed Parse(const std::vector<std::uint8_t>& d) {
    Parsed p;
    EXPECT_EQ(kernel::LengthSecurityDescriptor(d.data(), d.size()), d.size());
    std::uint32_t offsets[4];
    std::memcpy(offsets, d.data() + 4, sizeof offsets);
    if (offsets[0] != 0) {
        p.owner = kernel::SidToString(d.data() + offsets[0]);
    }
    if (offsets[1] != 0) {
        p.group = kernel::SidToString(d.data() + offsets[1]);
    }
    if (offsets[3] != 0) {
        p.dacl = true;
        const std::uint8_t* acl = d.data() + offsets[3];
        std::uint16_t count;
        std::memcpy(&count, acl + 4, 2);
        const std::uint8_t* ace = acl + 8;
        for (int i = 0; i < count; ++i) {
            std::uint16_t size;
            std::uint32_t mask;
            std::memcpy(&size, ace + 2, 2);
            std::memcpy(&mask, ace + 4, 4);
            p.entries.emplace_back(kernel::SidToString(ace + 8), mask);
            ace += size;
        }
    }
    return p;
}

TEST(ModeSecurity, DescriptorsCarryWhatChanges) {
    SecurityChange chmod;
    chmod.mode = 0750;
    chmod.fileOwner = 1000;
    chmod.fileGroup = 100;
    EXPECT_EQ(SecurityInformationOf(chmod), kDaclSecurityInformation);
    Parsed p = Parse(SecurityDescriptorFor(chmod));
    EXPECT_EQ(p.owner, "");
    EXPECT_EQ(p.group, "");
    ASSERT_TRUE(p.dacl);
    const std::vector<std::pair<std::string, std::uint32_t>> entries{
        {"S-1-22-1-1000", AccessMaskOfModeBits(7)}, {"S-1-22-2-100", AccessMaskOfModeBits(5)}};
    EXPECT_EQ(p.entries, entries) << "others have no bits: no entry";

    SecurityChange chown;
    chown.owner = 65534;
    chown.group = 65533;
    EXPECT_EQ(SecurityInformationOf(chown),
              kOwnerSecurityInformation | kGroupSecurityInformation);
    p = Parse(SecurityDescriptorFor(chown));
    EXPECT_EQ(p.owner, "S-1-22-1-65534");
    EXPECT_EQ(p.group, "S-1-22-2-65533");
    EXPECT_FALSE(p.dacl);

    SecurityChange everyone;
    everyone.mode = 0004;
    p = Parse(SecurityDescriptorFor(everyone));
    ASSERT_EQ(p.entries.size(), 1u);
    EXPECT_EQ(p.entries[0].first, "S-1-1-0");
    EXPECT_EQ(p.entries[0].second, AccessMaskOfModeBits(4));
}

}  // namespace
}  // namespace linux_fuse
