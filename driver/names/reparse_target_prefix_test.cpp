#include "reparse_target_prefix.h"

#include <gtest/gtest.h>

#include <string>

#include "names_test_world.h"

namespace {

using namespace kernel;
using namespace vesk::testing;

class ReparseTargetPrefixTest : public NamesTest {};

TEST_F(ReparseTargetPrefixTest, MeasuresTheVolumePartOfTargets) {
    const std::u16string guid = u"Volume{12345678-9abc-def0-1234-56789abcdef0}";
    struct {
        std::u16string target;
        NTSTATUS status;
        std::uint16_t bytes;
    } cases[] = {
        {u"\\??\\C:\\dir", STATUS_SUCCESS, 12},
        {u"\\??\\C:", STATUS_SUCCESS, 12},
        {u"\\??\\C", STATUS_NOT_SAME_DEVICE, 0},        // 10 bytes: too short for the rule
        {u"\\??\\c:\\dir", STATUS_NOT_SAME_DEVICE, 0},  // lower case letter: only rule 4 applies
        {u"\\DosDevices\\D:\\x", STATUS_SUCCESS, 28},
        {u"\\DosDevices\\d:\\x", STATUS_NOT_SAME_DEVICE, 0},
        {u"\\??\\" + guid, STATUS_SUCCESS, 96},              // exactly the 48 characters
        {u"\\\\?\\" + guid + u"\\dir", STATUS_SUCCESS, 98},  // and the backslash: 49
        {u"\\??\\" + guid + u"x", STATUS_SUCCESS, 96},
        {u"\\??\\Volume{12345678_9abc-def0-1234-56789abcdef0}\\x", STATUS_NOT_SAME_DEVICE, 0},
        {u"\\??\\Volume{12345678-9abc-def0-1234-56789abcdef0]\\x", STATUS_NOT_SAME_DEVICE, 0},
        {u"\\device\\harddiskvolume2\\dir\\f", STATUS_SUCCESS, 46},  // the volume's own name
        {u"\\Device\\HarddiskVolume1\\dir", STATUS_NOT_SAME_DEVICE, 0},
        {u"", STATUS_NOT_SAME_DEVICE, 0},
    };
    const std::u16string volume = u"\\Device\\HarddiskVolume2";
    for (const auto& c : cases) {
        std::uint16_t bytes = 0xFFFF;
        EXPECT_EQ(vesk::driver::ReparseTargetVolumePrefix(Text(volume), Text(c.target), &bytes),
                  c.status)
            << Narrow(c.target);
        EXPECT_EQ(bytes, c.bytes) << Narrow(c.target);
    }
}

}  // namespace
