#include "resolve_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/pool_tags.h"
#include "names_test_world.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"
#include "testing/driver_harness.h"
#include "wire/port_wire.h"

namespace {

using namespace kernel;
using namespace vesk::testing;
namespace wire = vesk::wire;

constexpr std::uint32_t kUntouched = 0xEEEEEEEE;  // what the sender leaves in NetworkProvider
constexpr std::uint32_t kWantUnc = wire::VeskResolveWantUnc;
constexpr std::uint32_t kUseLogon = wire::VeskResolveUseLogonId;

struct Reply {
    NTSTATUS status = STATUS_SUCCESS;
    std::uint32_t provider = 0;
    std::uint16_t dosLength = 0, uncLength = 0;
    std::u16string dos, unc;
    std::uint32_t returned = 0;
};

// VeskCmdResolveName sent by a client over the port, as the engine library sends it.
class ResolveNameTest : public DriverHarnessTest {
  protected:
    void SetUp() override {
        DriverHarnessTest::SetUp();
        BuildNamesWorld();
        driver_->names = &resolver_;
        client_ = ConnectDefault();
    }
    void TearDown() override {
        client_.reset();
        sim::Objects::Reset();
        DriverHarnessTest::TearDown();
    }

    Reply Resolve(const std::u16string& name, std::uint32_t flags, Luid logonId = kUserLogon,
                  std::uint16_t dosCapacity = 512, std::uint16_t uncCapacity = 512) {
        const auto message = MessageBuilder(wire::VeskCmdResolveName)
                                 .U32(flags)
                                 .U32(kTestSessionId)
                                 .U32(logonId.LowPart)
                                 .U32(static_cast<std::uint32_t>(logonId.HighPart))
                                 .CountedText(name)
                                 .Build();
        std::vector<std::uint8_t> output(8u + dosCapacity + uncCapacity, 0xAB);
        std::memcpy(output.data(), &kUntouched, 4);
        std::memcpy(output.data() + 4, &dosCapacity, 2);
        std::memcpy(output.data() + 6, &uncCapacity, 2);
        Reply r;
        r.status = Send(*client_, message, &output, &r.returned);
        std::memcpy(&r.provider, output.data(), 4);
        std::memcpy(&r.dosLength, output.data() + 4, 2);
        std::memcpy(&r.uncLength, output.data() + 6, 2);
        if (NtSuccess(r.status)) {
            EXPECT_EQ(r.returned, 8u + r.dosLength + r.uncLength);
            r.dos.assign(reinterpret_cast<const char16_t*>(output.data() + 8), r.dosLength / 2);
            r.unc.assign(reinterpret_cast<const char16_t*>(output.data() + 8 + r.dosLength),
                         r.uncLength / 2);
        } else {
            // Nothing but the lengths may change on failure.
            for (std::size_t i = 8; i < output.size(); ++i) {
                EXPECT_EQ(output[i], 0xAB) << "reply byte " << i << " written";
            }
        }
        return r;
    }

    vesk::driver::NameResolver resolver_;
    std::unique_ptr<PortConnection> client_;
};

TEST_F(ResolveNameTest, TurnsKernelNamesIntoDriveLetterAndUncNames) {
    const std::u16string mupZ = u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345";
    const std::u16string mupY = u"\\Device\\Mup\\;LanmanRedirector\\;Y:0000000000054321";
    struct {
        const char* what;
        std::u16string name;
        std::uint32_t flags;
        NTSTATUS status;
        std::u16string dos, unc;
        std::uint32_t provider;
    } cases[] = {
        {"local drive", u"\\Device\\HarddiskVolume2\\dir\\f.txt", kWantUnc, STATUS_SUCCESS,
         u"D:\\dir\\f.txt", u"", kUntouched},
        {"local drive, any case", u"\\device\\HARDDISKVOLUME2\\f", 0, STATUS_SUCCESS, u"D:\\f", u"",
         kUntouched},
        {"volume root", u"\\Device\\HarddiskVolume2", 0, STATUS_SUCCESS, u"D:", u"", kUntouched},
        {"a device name that only begins like C's", u"\\Device\\HarddiskVolume10\\x", 0,
         STATUS_SUCCESS, u"E:\\x", u"", kUntouched},
        {"network drive", mupZ + u"\\server\\share\\dir\\f.txt", kWantUnc, STATUS_SUCCESS,
         u"Z:\\dir\\f.txt", u"\\server\\share", wire::VeskProviderLanman},
        {"network drive, no UNC wanted", mupZ + u"\\SERVER\\Share\\f", 0, STATUS_SUCCESS, u"Z:\\f",
         u"", wire::VeskProviderLanman},
        {"share that only begins like Z's", mupZ + u"\\server\\share2\\f", kWantUnc, STATUS_SUCCESS,
         u"", u"\\server\\share2", wire::VeskProviderLanman},
        {"drive of another logon session", mupY + u"\\fileserver\\home\\f", kWantUnc,
         STATUS_SUCCESS, u"", u"\\fileserver\\home", wire::VeskProviderLanman},
        {"... found with its logon id", mupY + u"\\fileserver\\home\\f", kWantUnc | kUseLogon,
         STATUS_SUCCESS, u"Y:\\f", u"\\fileserver\\home", wire::VeskProviderLanman},
        {"VirtualBox shared folder", u"\\Device\\Mup\\;VBoxMiniRdr\\;V:\\vboxsvr\\shared\\a",
         kWantUnc, STATUS_SUCCESS, u"V:\\a", u"\\vboxsvr\\shared", wire::VeskProviderVirtualBox},
        {"client-side cache, no drive", u"\\Device\\Csc\\cache\\docs\\f", kWantUnc, STATUS_SUCCESS,
         u"", u"\\cache\\docs", wire::VeskProviderCsc},
        {"no drive and no UNC wanted", u"\\Device\\Csc\\cache\\docs\\f", 0,
         STATUS_INVALID_PARAMETER, u"", u"", kUntouched},
        {"unknown device", u"\\Device\\HarddiskVolume9\\x", kWantUnc, STATUS_INVALID_PARAMETER, u"",
         u"", kUntouched},
        {"not a kernel name", u"C:\\x", kWantUnc, STATUS_OBJECT_PATH_SYNTAX_BAD, u"", u"",
         kUntouched},
        {"empty name", u"", kWantUnc, STATUS_OBJECT_PATH_SYNTAX_BAD, u"", u"", kUntouched},
    };
    for (const auto& c : cases) {
        const Reply r = Resolve(c.name, c.flags);
        EXPECT_EQ(StatusText(r.status), StatusText(c.status)) << c.what;
        EXPECT_EQ(Narrow(r.dos), Narrow(c.dos)) << c.what;
        EXPECT_EQ(Narrow(r.unc), Narrow(c.unc)) << c.what;
        EXPECT_EQ(r.provider, c.provider) << c.what;
    }
}

TEST_F(ResolveNameTest, ReportsTheLengthsNeededWhenANameDoesNotFit) {
    const std::u16string name =
        u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345"
        u"\\server\\share\\dir\\f.txt";
    // "Z:\dir\f.txt" is 12 characters, "\server\share" 13.
    struct {
        std::uint16_t dosCapacity, uncCapacity;
        NTSTATUS status;
    } cases[] = {{0, 0, STATUS_BUFFER_TOO_SMALL},
                 {23, 26, STATUS_BUFFER_TOO_SMALL},
                 {24, 25, STATUS_BUFFER_TOO_SMALL},
                 {24, 26, STATUS_SUCCESS},
                 {100, 26, STATUS_SUCCESS}};
    for (const auto& c : cases) {
        const Reply r = Resolve(name, kWantUnc, kUserLogon, c.dosCapacity, c.uncCapacity);
        EXPECT_EQ(r.status, c.status) << c.dosCapacity << "/" << c.uncCapacity;
        EXPECT_EQ(r.dosLength, 24) << c.dosCapacity << "/" << c.uncCapacity;
        EXPECT_EQ(r.uncLength, 26) << c.dosCapacity << "/" << c.uncCapacity;
        EXPECT_EQ(r.provider, NtSuccess(c.status) ? wire::VeskProviderLanman : kUntouched);
    }
}

// Without the process's device map every letter is tried without types: local drives are parsed
// as network names too (their redirector is not in the table, so the provider written is 0).
TEST_F(ResolveNameTest, TriesEveryLetterWhenTheDeviceMapCannotBeRead) {
    sim::Objects::FailDeviceMapQueries(STATUS_ACCESS_DENIED);
    Reply r = Resolve(u"\\Device\\HarddiskVolume2\\f", kWantUnc);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.dos, u"D:\\f");
    EXPECT_EQ(r.provider, wire::VeskProviderOther);

    r = Resolve(u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share", 0);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.dos, u"Z:");
}

TEST_F(ResolveNameTest, ANetworkDriveWithoutANetworkDeviceFails) {
    sim::Objects::AddDrive(u'W', u"\\Weird\\Thing", DRIVE_REMOTE);
    // W comes before Z in the walk over the letters.
    const Reply r = Resolve(
        u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\f", kWantUnc);
    EXPECT_EQ(r.status, STATUS_BAD_NETWORK_PATH);
}

// Every string allocation may fail: the answer is then the right one or a failure, never a
// different drive.
TEST_F(ResolveNameTest, RunsOutOfMemoryWithoutAWrongAnswer) {
    const std::u16string name =
        u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345"
        u"\\server\\share\\f";
    for (std::uint64_t n = 1;; ++n) {
        FailNthPoolAllocation(vesk::driver::kTagString, n);
        const Reply r = Resolve(name, kWantUnc);
        const bool injected = QueryPoolTag(vesk::driver::kTagString).failures != 0;
        FailNthPoolAllocation(vesk::driver::kTagString, 0);
        if (r.status == STATUS_INSUFFICIENT_RESOURCES) {
            ASSERT_TRUE(injected);
            ResetPoolAccounting();
            continue;
        }
        EXPECT_EQ(r.status, STATUS_SUCCESS) << n;
        EXPECT_EQ(r.dos, u"Z:\\f") << n;
        EXPECT_EQ(r.unc, u"\\server\\share") << n;
        if (!injected) {
            break;
        }
        ResetPoolAccounting();
    }
}

}  // namespace
