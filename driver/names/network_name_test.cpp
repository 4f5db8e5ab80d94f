#include "network_name.h"

#include <gtest/gtest.h>

#include <string>

#include "core/pool_tags.h"
#include "counted_string.h"
#include "names_test_world.h"
#include "platform/kernel/pool_accounting.h"
#include "wire/port_wire.h"

namespace {

using namespace kernel;
using namespace vesk::driver;
using namespace vesk::testing;
namespace wire = vesk::wire;

class NetworkNameTest : public NamesTest {};

struct ParseCase {
    std::u16string name;
    NTSTATUS status;
    std::uint32_t provider;
    std::u16string devicePrefix, uncRoot, remainder;
};

TEST_F(NetworkNameTest, ParsesEveryRedirectorForm) {
    const ParseCase cases[] = {
        {u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share\\dir\\f.txt",
         STATUS_SUCCESS, wire::VeskProviderLanman, u"\\Device\\LanmanRedirector",
         u"\\server\\share", u"\\dir\\f.txt"},
        {u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\f", STATUS_SUCCESS,
         wire::VeskProviderLanman, u"\\Device\\Mup\\;LanmanRedirector", u"\\server\\share", u"\\f"},
        {u"\\DEVICE\\MUP\\;lanmanredirector\\;Z:0000000000012345\\server\\share", STATUS_SUCCESS,
         wire::VeskProviderLanman, u"\\DEVICE\\MUP\\;lanmanredirector", u"\\server\\share", u""},
        // Without the drive and logon-id part the server follows the device prefix directly.
        {u"\\Device\\LanmanRedirector\\server\\share\\f", STATUS_SUCCESS, wire::VeskProviderLanman,
         u"\\Device\\LanmanRedirector", u"\\server\\share", u"\\f"},
        {u"\\Device\\WebDavRedirector\\host@SSL\\DavWWWRoot\\doc.txt", STATUS_SUCCESS,
         wire::VeskProviderWebDav, u"\\Device\\WebDavRedirector", u"\\host@SSL\\DavWWWRoot",
         u"\\doc.txt"},
        {u"\\Device\\VBoxMiniRdr\\;V:\\vboxsvr\\shared\\a\\b", STATUS_SUCCESS,
         wire::VeskProviderVirtualBox, u"\\Device\\VBoxMiniRdr", u"\\vboxsvr\\shared", u"\\a\\b"},
        {u"\\Device\\VBoxMiniRdr\\vboxsvr\\shared", STATUS_SUCCESS, wire::VeskProviderVirtualBox,
         u"\\Device\\VBoxMiniRdr", u"\\vboxsvr\\shared", u""},
        {u"\\Device\\hgfs\\;H:0000000000012345\\vmware-host\\Shared Folders\\x", STATUS_SUCCESS,
         wire::VeskProviderVmware, u"\\Device\\hgfs", u"\\vmware-host\\Shared Folders", u"\\x"},
        // Client-side caching: server and share right after the device prefix.
        {u"\\Device\\Csc\\server\\share\\f.txt", STATUS_SUCCESS, wire::VeskProviderCsc,
         u"\\Device\\Csc", u"\\server\\share", u"\\f.txt"},
        {u"\\Device\\Csc\\;Z:0000000000012345\\server\\share", STATUS_SUCCESS,
         wire::VeskProviderCsc, u"\\Device\\Csc", u"\\;Z:0000000000012345\\server", u"\\share"},
        // A server without a share.
        {u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server", STATUS_SUCCESS,
         wire::VeskProviderLanman, u"\\Device\\LanmanRedirector", u"\\server", u""},
        {u"\\Device\\LanmanRedirector\\server\\", STATUS_SUCCESS, wire::VeskProviderLanman,
         u"\\Device\\LanmanRedirector", u"\\server", u"\\"},
        // A redirector outside the table: success, nothing else.
        {u"\\Device\\HarddiskVolume2\\dir", STATUS_SUCCESS, wire::VeskProviderOther, u"", u"", u""},
        {u"\\Device\\Mup\\server\\share", STATUS_SUCCESS, wire::VeskProviderOther, u"", u"", u""},
        // Not a network name of any recognised form.
        {u"\\Device", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
        {u"\\??\\C:\\x", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
        {u"", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
        {u"\\Device\\LanmanRedirector", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
        {u"\\Device\\LanmanRedirector\\;Z:0000000000012345", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"",
         u"", u""},
        {u"\\Device\\LanmanRedirector\\;Z:00000000000123450server", STATUS_OBJECT_PATH_SYNTAX_BAD,
         0, u"", u"", u""},
        {u"\\Device\\LanmanRedirector\\\\share", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
        {u"\\Device\\VBoxMiniRdr\\;V:", STATUS_OBJECT_PATH_SYNTAX_BAD, 0, u"", u"", u""},
    };
    for (const ParseCase& c : cases) {
        NetworkNameParts parts;
        const std::u16string n = c.name;
        ASSERT_EQ(ParseNetworkName(Text(n), &parts), c.status) << Narrow(n);
        if (!NtSuccess(c.status)) {
            continue;
        }
        EXPECT_EQ(parts.provider, c.provider) << Narrow(n);
        const std::u16string_view v(n);
        EXPECT_EQ(v.substr(0, parts.devicePrefixEnd), c.devicePrefix) << Narrow(n);
        EXPECT_EQ(v.substr(parts.uncRootStart, parts.uncRootEnd - parts.uncRootStart), c.uncRoot)
            << Narrow(n);
        EXPECT_EQ(parts.provider == 0 ? u"" : v.substr(parts.uncRootEnd), c.remainder) << Narrow(n);
    }
}

TEST_F(NetworkNameTest, ConvertsThroughTheRedirectorsLink) {
    struct {
        std::u16string name;
        NTSTATUS status;
        std::u16string rewritten;  // empty: none
        std::u16string volumePart;
    } cases[] = {
        {u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share\\dir\\f.txt",
         STATUS_SUCCESS,
         u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\dir\\f.txt",
         u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share"},
        {u"\\Device\\VBoxMiniRdr\\;V:\\vboxsvr\\shared", STATUS_SUCCESS,
         u"\\Device\\Mup\\;VBoxMiniRdr\\;V:\\vboxsvr\\shared",
         u"\\Device\\Mup\\;VBoxMiniRdr\\;V:\\vboxsvr\\shared"},
        // Already in Mup form: the device prefix leads into the Mup device, no link: unchanged.
        {u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\f", STATUS_SUCCESS,
         u"", u""},
        {u"\\Device\\Csc\\server\\share\\f", STATUS_SUCCESS, u"", u""},
        {u"\\Device\\HarddiskVolume2\\f", STATUS_NOT_SUPPORTED, u"", u""},
        {u"C:\\f", STATUS_OBJECT_PATH_SYNTAX_BAD, u"", u""},
    };
    for (const auto& c : cases) {
        UnicodeString* rewritten = nullptr;
        std::uint16_t prefixChars = 0xFFFF;
        ASSERT_EQ(ConvertNetworkName(Text(c.name), &rewritten, &prefixChars), c.status)
            << Narrow(c.name);
        if (c.rewritten.empty()) {
            EXPECT_EQ(rewritten, nullptr);
            EXPECT_EQ(prefixChars, 0);
            continue;
        }
        ASSERT_NE(rewritten, nullptr);
        EXPECT_EQ(View(*rewritten), c.rewritten);
        EXPECT_EQ(View(*rewritten).substr(0, prefixChars), c.volumePart);
        EXPECT_EQ(rewritten->Buffer[rewritten->Length / 2], u'\0');
        FreeCountedString(rewritten);
    }

    // The redirector's link is gone: the look-up's failure fails the conversion.
    sim::Objects::Remove(u"\\Device\\hgfs");
    UnicodeString* rewritten = nullptr;
    std::uint16_t prefixChars = 0;
    EXPECT_EQ(ConvertNetworkName(Text(u"\\Device\\hgfs\\;H:0000000000012345\\host\\s\\x"),
                                 &rewritten, &prefixChars),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

// Each string allocation on the way may fail; none leaks (the fixture checks) and the status
// says why.
TEST_F(NetworkNameTest, ConversionSurvivesEveryAllocationFailure) {
    const std::u16string name = u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\srv\\s\\f";
    for (std::uint64_t n = 1; n <= 2; ++n) {
        FailNthPoolAllocation(kTagString, n);
        UnicodeString* rewritten = nullptr;
        std::uint16_t prefixChars = 0;
        EXPECT_EQ(ConvertNetworkName(Text(name), &rewritten, &prefixChars),
                  STATUS_INSUFFICIENT_RESOURCES)
            << n;
        EXPECT_EQ(rewritten, nullptr);
    }
    FailNthPoolAllocation(kTagString, 0);
}

}  // namespace
