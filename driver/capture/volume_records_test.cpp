// Volume records: the attach decision and its record with the file-system type from each of its
// sources, detach and unmount by teardown reason, and the mount and dismount operations.
#include <gtest/gtest.h>

#include <functional>

#include "capture_test_support.h"
#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;

class VolumeRecordsTest : public CaptureTest {
  protected:
    ExpectedRecord VolumeRecord(flt::Volume* volume, const std::u16string& name,
                                std::uint32_t operation, std::vector<std::uint8_t> payload) {
        ExpectedRecord expected;
        expected.operation = operation;
        expected.name = name;
        expected.volumeId = flt::VolumeIdentity(volume);
        expected.payload = std::move(payload);
        return expected;
    }
};

TEST_F(VolumeRecordsTest, AttachReportsTheVolumeWithItsFileSystemFromEachSource) {
    struct Case {
        const char* what;
        sim::VolumeSpec spec;
        bool platformAnswers;  // "FltGetFileSystemType" offered
        wire::VolumePayload expected;
    };
    auto spec = [](const char16_t* device, std::uint32_t deviceType, std::uint32_t characteristics,
                   const char16_t* driver, std::uint32_t platformType) {
        return sim::VolumeSpec{device, deviceType, characteristics, driver, platformType};
    };
    const Case cases[] = {
        {"NTFS",
         spec(u"\\Device\\HarddiskVolume3", 0x08, 0x0, u"\\FileSystem\\Ntfs", 2),
         true,
         {0x00, 1, 3}},
        {"FAT on removable read-only media",
         spec(u"\\Device\\HarddiskVolume4", 0x08, 0x3, u"\\FileSystem\\Fastfat", 3),
         true,
         {0x05, 1, 2}},
        {"exFAT the platform does not know",
         spec(u"\\Device\\HarddiskVolume5", 0x08, 0x0, u"\\FileSystem\\exfat", 0),
         true,
         {0x00, 1, 22}},
        {"LAN Manager redirector of an unknown type",
         spec(u"\\Device\\LanmanRedirector", 0x14, 0x10, u"\\FileSystem\\Mup", 0),
         true,
         {0x20, 4, 6}},
        {"WebDAV", spec(u"\\Device\\WebDavRedirector", 0x14, 0x2010, u"", 0), true, {0xA0, 4, 7}},
        {"VirtualBox shared folders",
         spec(u"\\Device\\VBoxMiniRdr", 0x14, 0x10, u"", 0),
         true,
         {0x20, 4, 25}},
        {"VMware shared folders", spec(u"\\Device\\hgfs", 0x14, 0x10, u"", 0), true, {0x20, 4, 26}},
        {"client-side caching falls through to the driver name",
         spec(u"\\Device\\Csc", 0x14, 0x10, u"\\FileSystem\\Mup", 0),
         true,
         {0x20, 4, 13}},
        {"driver names are compared exactly",
         spec(u"\\Device\\HarddiskVolume6", 0x08, 0x0, u"\\FileSystem\\NTFS", 0),
         true,
         {0x00, 1, 0}},
        {"a CD without the platform's answer, from the setup's type",
         spec(u"\\Device\\CdRom0", 0x03, 0x1, u"\\FileSystem\\Cdfs", 4),
         false,
         {0x04, 3, 4}},
        {"a tape of a type the platform numbers past its table",
         spec(u"\\Device\\Tape0", 0x20, 0x0, u"", 30),
         true,
         {0x00, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FilterManager::SetRoutineAvailable("FltGetFileSystemType", c.platformAnswers);
        flt::Volume* volume = FilterManager::MountVolume(c.spec);
        EXPECT_NE(FilterManager::InstanceOf(volume), nullptr);
        EXPECT_TRUE(Matches(Receive(), VolumeRecord(volume, c.spec.deviceName, wire::VeskOpAttach,
                                                    Bytes(c.expected))));
        const std::uint32_t mapped = c.spec.fileSystemType == 2    ? 3
                                     : c.spec.fileSystemType == 3  ? 2
                                     : c.spec.fileSystemType <= 24 ? c.spec.fileSystemType
                                                                   : 0;
        EXPECT_EQ(FilterManager::HasVolumeContext(volume), mapped != 0)
            << "the context remembers the type the setup was given";
    }
}

TEST_F(VolumeRecordsTest, VolumesOfferedWhileCaptureIsOffAttachSilentlyWithoutContext) {
    EXPECT_NE(FilterManager::InstanceOf(volume_), nullptr);
    EXPECT_FALSE(FilterManager::HasVolumeContext(volume_));
    // A later mount record still learns the type elsewhere.
    FilterManager::SetRoutineAvailable("FltGetFileSystemType", false);
    Operation mount(flt::MajorFunction::VolumeMount, volume_);
    mount.iopb.parameters.mount.deviceType = flt::kDeviceDiskFileSystem;
    FilterManager::Run(mount);
    EXPECT_TRUE(Matches(Receive(), VolumeRecord(volume_, kVolume, wire::VeskOpMount,
                                                Bytes(wire::VolumePayload{0, 1, 3}))));
}

TEST_F(VolumeRecordsTest, AttachDecisionWhenItsPartsFailOrDeclineTheRecord) {
    struct Case {
        const char* what;
        std::function<void(sim::VolumeSpec&)> arrange;
        bool attached;
        std::vector<std::uint8_t> record;  // empty: none
    };
    const Case cases[] = {
        {"the client's own thread mounts",
         [this](sim::VolumeSpec&) { sim::World::SetCurrentThread(clientThread1_); },
         true,
         {}},
        {"the rules do not want it",
         [this](sim::VolumeSpec&) {
             ASSERT_EQ(Command(AddRuleMessage({9, 0, 0, {0}}, wire::kRuleAnyProcess, 0, 2, 0,
                                              u"\\DEVICE\\ELSEWHERE*")),
                       STATUS_SUCCESS);
         },
         true,
         {}},
        {"no memory for the record",
         [](sim::VolumeSpec&) { FailNthPoolAllocation(driver::kTagMessage, 1); },
         false,
         {}},
        {"no memory for the queue entry",
         [](sim::VolumeSpec&) { FailNthPoolAllocation(driver::kTagQueueEntry, 1); },
         false,
         {}},
        {"no name",
         [](sim::VolumeSpec& spec) { spec.nameFailure = STATUS_UNSUCCESSFUL; },
         false,
         {}},
        {"no properties: described from what the setup was given",
         [](sim::VolumeSpec& spec) { spec.propertiesFailure = STATUS_UNSUCCESSFUL; }, true,
         Bytes(wire::VolumePayload{0, 1, 2})},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::VolumeSpec spec{
            u"\\Device\\HarddiskVolume" + std::u16string(1, static_cast<char16_t>(u'a' + n++)),
            0x08, 0x1, u"\\FileSystem\\Fastfat", 3};
        c.arrange(spec);
        flt::Volume* volume = FilterManager::MountVolume(spec);
        sim::World::SetCurrentThread(testThread_);
        FailNthPoolAllocation(driver::kTagMessage, 0);
        FailNthPoolAllocation(driver::kTagQueueEntry, 0);
        ASSERT_EQ(Command(MessageBuilder(wire::VeskCmdClearRules).U32(2).Build()), STATUS_SUCCESS);
        EXPECT_EQ(FilterManager::InstanceOf(volume) != nullptr, c.attached);
        if (!c.record.empty()) {
            EXPECT_TRUE(Matches(
                Receive(), VolumeRecord(volume, spec.deviceName, wire::VeskOpAttach, c.record)));
        }
        EXPECT_TRUE(NothingMoreQueued());
        EXPECT_EQ(FilterManager::HasVolumeContext(volume), c.attached)
            << "an attached volume remembers its type; a declined one keeps nothing";
    }
}

TEST_F(VolumeRecordsTest, TeardownReportsUnmountForADismountAndDetachOtherwise) {
    struct Case {
        std::uint32_t reason;
        std::uint32_t operation;
    };
    const Case cases[] = {
        {flt::kTeardownVolumeDismount, wire::VeskOpUnmount},
        {flt::kTeardownFilterUnload, wire::VeskOpDetach},
        {flt::kTeardownFilterUnload | flt::kTeardownVolumeDismount, wire::VeskOpUnmount}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::u16string name =
            u"\\Device\\HarddiskVolume" + std::u16string(1, static_cast<char16_t>(u'3' + n++));
        flt::Volume* volume = MountVolume(name);
        ASSERT_TRUE(Receive());  // attach
        FilterManager::TeardownInstance(volume, c.reason);
        EXPECT_TRUE(Matches(Receive(), VolumeRecord(volume, name, c.operation, {})));
        EXPECT_FALSE(FilterManager::HasVolumeContext(volume));
    }
    // Capture off: teardown is silent.
    ASSERT_EQ(Command(MessageBuilder(wire::VeskCmdDeactivate).Build()), STATUS_SUCCESS);
    FilterManager::TeardownInstance(volume_, flt::kTeardownFilterUnload);
    EXPECT_TRUE(NothingMoreQueued());
}

TEST_F(VolumeRecordsTest, MountAndDismountOperations) {
    Operation mount(flt::MajorFunction::VolumeMount, volume_);
    mount.iopb.parameters.mount.deviceType = flt::kDeviceCdRomFileSystem;
    mount.finalStatus = static_cast<NTSTATUS>(0xC000014F);
    FilterManager::Run(mount);
    ExpectedRecord expected =
        VolumeRecord(volume_, kVolume, wire::VeskOpMount, Bytes(wire::VolumePayload{0, 3, 3}));
    expected.status = mount.finalStatus;
    EXPECT_TRUE(Matches(Receive(), expected));

    Operation dismount(flt::MajorFunction::VolumeDismount, volume_);
    FilterManager::Run(dismount);
    EXPECT_TRUE(Matches(Receive(), VolumeRecord(volume_, kVolume, wire::VeskOpUnmount, {})));

    FilterManager::FailVolumeProperties(volume_, STATUS_UNSUCCESSFUL);
    Operation undescribed(flt::MajorFunction::VolumeMount, volume_);
    FilterManager::Run(undescribed);
    EXPECT_TRUE(NothingMoreQueued()) << "a mount that cannot be described is not reported";
    FilterManager::FailVolumeProperties(volume_, 0);
}

}  // namespace
}  // namespace vesk::testing
