#include "platform/kernel/security_descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/kernel/sid.h"

namespace {

using namespace kernel;

// The world SID built by authority and sub-authority, as a driver builds it.
std::vector<std::uint8_t> WorldSid() {
    std::vector<std::uint8_t> sid(SidLengthRequired(1));
    EXPECT_EQ(InitializeSid(sid.data(), kWorldSidAuthority, 1), STATUS_SUCCESS);
    const std::uint32_t rid = kWorldRid;
    std::memcpy(SubAuthoritySid(sid.data(), 0), &rid, sizeof rid);
    return sid;
}

TEST(SecurityDescriptor, WorldSidReadsAsS_1_1_0) {
    const auto sid = WorldSid();
    EXPECT_EQ(SidToString(sid.data()), "S-1-1-0");
}

TEST(SecurityDescriptor, AclTakesAnAceOnlyWhileItFits) {
    const auto sid = WorldSid();
    std::vector<std::uint8_t> block(sizeof(Acl) + 8 + sid.size());
    auto* acl = reinterpret_cast<Acl*>(block.data());
    ASSERT_EQ(CreateAcl(acl, static_cast<std::uint32_t>(block.size()), kAclRevision),
              STATUS_SUCCESS);
    EXPECT_EQ(AddAccessAllowedAce(acl, kAclRevision, 0x1F0001, sid.data()), STATUS_SUCCESS);
    EXPECT_EQ(AddAccessAllowedAce(acl, kAclRevision, 0x1F0001, sid.data()),
              STATUS_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(acl->AceCount, 1);
    std::uint32_t mask;
    std::memcpy(&mask, block.data() + sizeof(Acl) + sizeof(AceHeader), sizeof mask);
    EXPECT_EQ(mask, 0x1F0001u);
    EXPECT_EQ(CreateAcl(acl, 10, kAclRevision), STATUS_INVALID_PARAMETER) << "not a multiple of 4";
}

TEST(SecurityDescriptor, SelfRelativeCopyMeasuresAsItsOwnLength) {
    const auto sid = WorldSid();
    std::vector<std::uint8_t> block(sizeof(Acl) + 8 + sid.size() + 4);
    auto* acl = reinterpret_cast<Acl*>(block.data());
    ASSERT_EQ(CreateAcl(acl, static_cast<std::uint32_t>(block.size()), kAclRevision),
              STATUS_SUCCESS);
    ASSERT_EQ(AddAccessAllowedAce(acl, kAclRevision, 0x1F0001, sid.data()), STATUS_SUCCESS);
    SecurityDescriptor sd;
    ASSERT_EQ(CreateSecurityDescriptor(&sd, kSecurityDescriptorRevision), STATUS_SUCCESS);
    ASSERT_EQ(SetDaclSecurityDescriptor(&sd, true, acl, false), STATUS_SUCCESS);
    bool present = false;
    bool defaulted = true;
    Acl* dacl = nullptr;
    ASSERT_EQ(GetDaclSecurityDescriptor(&sd, &present, &dacl, &defaulted), STATUS_SUCCESS);
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(dacl, acl);

    std::uint32_t length = 0;
    EXPECT_EQ(MakeSelfRelativeSecurityDescriptor(sd, nullptr, &length), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, kSelfRelativeHeaderLength + block.size());
    std::vector<std::uint8_t> relative(length);
    ASSERT_EQ(MakeSelfRelativeSecurityDescriptor(sd, relative.data(), &length), STATUS_SUCCESS);
    EXPECT_EQ(LengthSecurityDescriptor(relative.data(), relative.size()), length);
    // Trailing bytes the caller's buffer happens to have are not part of the descriptor.
    relative.resize(relative.size() + 16);
    EXPECT_EQ(LengthSecurityDescriptor(relative.data(), relative.size()), length);
}

TEST(SecurityDescriptor, MalformedSelfRelativeDescriptorsMeasureZero) {
    const auto sid = WorldSid();
    // Header with an owner at offset 20, then the owner SID.
    std::vector<std::uint8_t> sd(kSelfRelativeHeaderLength + sid.size(), 0);
    sd[0] = kSecurityDescriptorRevision;
    const std::uint16_t control = kSeSelfRelative;
    std::memcpy(sd.data() + 2, &control, 2);
    std::uint32_t owner = kSelfRelativeHeaderLength;
    std::memcpy(sd.data() + 4, &owner, 4);
    std::memcpy(sd.data() + kSelfRelativeHeaderLength, sid.data(), sid.size());
    EXPECT_EQ(LengthSecurityDescriptor(sd.data(), sd.size()), sd.size());

    struct Case {
        const char* what;
        std::size_t offset;  // byte to change
        std::uint8_t value;
        std::size_t available;
    };
    const Case cases[] = {
        {"owner offset past the end", 4, 0xF0, sd.size()},
        {"owner offset inside the header", 4, 4, sd.size()},
        {"not self-relative", 3, 0x00, sd.size()},
        {"wrong revision", 0, 2, sd.size()},
        {"SID cut short by the buffer", 0, kSecurityDescriptorRevision, sd.size() - 1},
        {"shorter than a header", 0, kSecurityDescriptorRevision, 19},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bad = sd;
        bad[c.offset] = c.value;
        EXPECT_EQ(LengthSecurityDescriptor(bad.data(), c.available), 0u) << c.what;
    }
}

}  // namespace
