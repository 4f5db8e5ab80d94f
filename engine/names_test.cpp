#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "testing/engine_fixture.h"

namespace vesk::testing {
namespace {

class Names : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::ofstream(root_ + "/run/dos-devices") << "\\Device\\HarddiskVolume1\tC:\n"
                                                  << "\\Device\\HarddiskVolume2\t\n";
    }

    VeskNotification Notification(const std::u16string& name, std::uint16_t prefix) {
        name_ = name;
        VeskNotification n{};
        n.Category = VeskCategoryFileSystem;
        n.Operation = VeskOpCreate;
        n.SessionId = 7;
        n.AuthenticationId = {0x1234, 0};
        n.Name = name_.c_str();
        n.VolumePrefixLength = prefix;
        return n;
    }

    std::u16string name_;
};

std::u16string TextOf(const VeskString& s) {
    return s.Buffer != nullptr ? s.Buffer : u"<null>";
}

TEST_F(Names, LocalConversionAndTheDriversAnswer) {
    struct Case {
        const char* what;
        std::u16string name;
        std::uint16_t prefix;
        std::uint32_t flags;
        std::u16string dos;  // expected
        std::u16string unc;
        std::uint8_t resultFlags;
        std::uint32_t provider;
        bool askedDriver;
    };
    names_.Answer(u"Z:\\share\\f", u"\\\\server\\share\\f", 1);
    const Case cases[] = {
        {"volume with a drive letter", u"\\Device\\HarddiskVolume1\\dir\\f.txt", 23, 0,
         u"C:\\dir\\f.txt", u"<null>", 1, 0, false},
        {"volume without a drive letter", u"\\Device\\HarddiskVolume2\\f", 23, 0, u"<null>",
         u"<null>", 0, 0, false},
        {"a Linux volume is its directory", u"/srv/data/x", 9, 0, u"/srv/data/x", u"<null>", 1, 0,
         false},
        {"a volume only the driver knows", u"\\Device\\Mup\\server\\share\\f", 24, 0,
         u"Z:\\share\\f", u"\\\\server\\share\\f", 3, 1, true},
        {"asking the driver directly", u"\\Device\\HarddiskVolume1\\f", 23, VeskNameAskDriver,
         u"Z:\\share\\f", u"\\\\server\\share\\f", 3, 1, true},
        {"a volume part longer than the name", u"\\Device\\HarddiskVolume1", 200, 0, u"C:",
         u"<null>", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = names_.Requests().size();
        const VeskNotification n = Notification(c.name, c.prefix);
        VeskName name{};
        name.Flags = 0x80;  // the caller's bit
        ASSERT_TRUE(VeskGetName(&n, c.flags, &name)) << VeskGetErrorCode();
        EXPECT_EQ(VeskGetErrorCode(), 0u);
        EXPECT_EQ(TextOf(name.Name), c.dos);
        EXPECT_EQ(TextOf(name.UncName), c.unc);
        EXPECT_EQ(+name.Flags, 0x80 | c.resultFlags);
        EXPECT_EQ(+name.NetworkProvider, c.provider);
        const auto requests = names_.Requests();
        ASSERT_EQ(requests.size(), before + (c.askedDriver ? 1 : 0));
        if (c.askedDriver) {
            const auto& r = requests.back();
            EXPECT_EQ(r.name, c.name);
            EXPECT_EQ(r.flags, 3u) << "UNC wanted; the logon id is not 0";
            EXPECT_EQ(r.sessionId, 7u);
            EXPECT_EQ(r.logonId.LowPart, 0x1234u);
            EXPECT_EQ(r.dosCapacity, 0xFFFE);
            EXPECT_EQ(r.uncCapacity, 0xFFFE);
        }
        VeskFreeName(&name);
        EXPECT_EQ(+name.Name.Buffer, nullptr);
        EXPECT_EQ(+name.UncName.Buffer, nullptr);
    }
}

TEST_F(Names, CallerBuffers) {
    // 32 768 bytes take a converted name of 16 383 characters directly.
    std::u16string longName = u"\\Device\\HarddiskVolume1" + std::u16string(16381, u'x');
    const VeskNotification n = Notification(longName, 23);
    std::vector<VeskChar> buffer(16384, u'#');
    VeskName name{};
    ASSERT_TRUE(VeskInitString(&name.Name, buffer.data(), 32768));
    ASSERT_TRUE(VeskGetName(&n, 0, &name));
    EXPECT_EQ(+name.Name.Buffer, buffer.data());
    EXPECT_EQ(std::u16string(buffer.data()).size(), 16383u);
    EXPECT_TRUE(names_.Requests().empty());

    // Too small for the conversion, and for the driver's answer too: fails with last error 0,
    // the library's buffers are released and the caller's kept.
    names_.Answer(u"Z:\\a-long-name", u"\\\\s\\a-long-name", 1);
    const VeskNotification small = Notification(u"\\Device\\HarddiskVolume1\\a-long-name", 23);
    VeskChar tiny[4] = {u'k', 0, 0, 0};
    VeskName kept{};
    ASSERT_TRUE(VeskInitString(&kept.Name, tiny, sizeof tiny));
    EXPECT_FALSE(VeskGetName(&small, 0, &kept));
    EXPECT_EQ(VeskGetErrorCode(), 0u);
    EXPECT_EQ(names_.Requests().size(), 1u);
    EXPECT_EQ(+kept.Name.Buffer, tiny);
    EXPECT_EQ(+kept.UncName.Buffer, nullptr);
    EXPECT_EQ(+kept.Flags, 0);
    VeskFreeName(&kept);  // caller buffers: nothing freed
    EXPECT_EQ(+kept.Name.Buffer, tiny);
    EXPECT_EQ(tiny[0], u'k');
}

TEST_F(Names, TargetNames) {
    VeskNotification n = Notification(u"\\Device\\HarddiskVolume1\\old", 23);
    VeskOperationData d{};
    VeskName name{};

    n.Operation = VeskOpCreate;
    EXPECT_FALSE(VeskGetTargetName(&n, &d, 0, &name));
    EXPECT_EQ(VeskGetErrorCode(), 4317u);

    n.Operation = VeskOpReparse;
    d.Reparse.Kind = 3;
    EXPECT_FALSE(VeskGetTargetName(&n, &d, 0, &name));
    EXPECT_EQ(VeskGetErrorCode(), 4317u);
    EXPECT_EQ(VeskGetTargetNameString(&n, &d), nullptr);

    const std::u16string relative = u"..\\x";
    d.Reparse.Kind = 1;
    d.Reparse.Flags = 1;
    d.Reparse.Target = relative.c_str();
    ASSERT_TRUE(VeskGetTargetName(&n, &d, 0, &name));
    EXPECT_EQ(+name.Flags, 0);
    EXPECT_EQ(VeskGetTargetNameString(&n, &d), relative.c_str());

    const std::u16string target = u"\\Device\\HarddiskVolume1\\new";
    n.Operation = VeskOpRename;
    d = {};
    d.Link.Target = target.c_str();
    d.Link.TargetVolumePrefixLength = 23;
    ASSERT_TRUE(VeskGetTargetName(&n, &d, 0, &name));
    EXPECT_EQ(TextOf(name.Name), u"C:\\new");
    EXPECT_EQ(VeskGetTargetNameString(&n, &d), target.c_str());
    VeskFreeName(&name);

    n.Operation = VeskOpDelete;
    EXPECT_EQ(VeskGetTargetNameString(&n, &d), nullptr);
    EXPECT_EQ(VeskGetErrorCode(), 0u);

    EXPECT_FALSE(VeskGetName(nullptr, 0, &name));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_FALSE(VeskGetTargetName(&n, nullptr, 0, &name));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_EQ(VeskGetTargetNameString(nullptr, &d), nullptr);
    EXPECT_EQ(VeskGetErrorCode(), 87u);
}

TEST_F(Names, DriverWithoutNameResolution) {
    driver_->names = nullptr;
    const VeskNotification n = Notification(u"\\Device\\Unknown\\f", 16);
    VeskName name{};
    EXPECT_FALSE(VeskGetName(&n, 0, &name));
    EXPECT_EQ(VeskGetErrorCode(), 1u) << "not implemented: ERROR_INVALID_FUNCTION";
}

TEST(StringHelpers, Descriptors) {
    VeskString s{};
    VeskChar buffer[8];
    EXPECT_FALSE(VeskInitString(nullptr, buffer, 16));
    EXPECT_FALSE(VeskInitString(&s, nullptr, 16));
    EXPECT_TRUE(VeskInitString(&s, nullptr, 0));
    EXPECT_TRUE(VeskInitString(&s, buffer, 16));
    EXPECT_EQ(+s.Buffer, buffer);
    EXPECT_EQ(+s.Capacity, 16);
    EXPECT_EQ(+s.Flags & 1, 0);
    EXPECT_FALSE(VeskDeleteString(&s)) << "a caller buffer";

    // Minimum capacity 0, "abc" up to its NUL: 6 text bytes plus the terminator; capacity 0.
    VeskString made{};
    ASSERT_TRUE(VeskCreateString(&made, 0, u"abc", 0));
    EXPECT_EQ(std::u16string(made.Buffer), u"abc");
    EXPECT_EQ(+made.Capacity, 0);
    EXPECT_EQ(+made.Flags & 1, 1);
    EXPECT_TRUE(VeskDeleteString(&made));
    EXPECT_EQ(+made.Buffer, nullptr);
    EXPECT_FALSE(VeskDeleteString(&made));

    struct Case {
        const char* what;
        std::uint16_t minimum;
        const VeskChar* source;
        std::uint16_t length;
        bool ok;
        std::uint16_t capacity;
    };
    const Case cases[] = {
        {"room only", 10, nullptr, 0, true, 10},
        {"nothing at all", 0, nullptr, 0, false, 0},
        {"odd size", 5, nullptr, 0, false, 0},
        {"null source with a length", 0, nullptr, 4, false, 0},
        {"explicit length", 2, u"abcd", 4, true, 4},
        {"minimum larger than the text", 20, u"ab", 0, true, 20},
    };
    for (const Case& c : cases) {
        VeskString t{};
        EXPECT_EQ(VeskCreateString(&t, c.minimum, c.source, c.length) != 0, c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(+t.Capacity, c.capacity) << c.what;
            EXPECT_TRUE(VeskDeleteString(&t));
        }
    }
    VeskChar* none = nullptr;
    VeskFreeString(&none);
    VeskFreeString(nullptr);
}

TEST(Accounts, NamesOfSidsWithoutTheirDomain) {
    const std::uint8_t system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    VeskChar* text = nullptr;
    std::uint32_t type = 0;
    ASSERT_TRUE(VeskGetAccountName(system, &text, &type));
    EXPECT_EQ(std::u16string(text), u"SYSTEM");
    EXPECT_EQ(type, 5u);
    VeskFreeString(&text);
    EXPECT_EQ(text, nullptr);

    const std::uint8_t root[] = {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(VeskGetAccountName(root, &text, nullptr));
    EXPECT_EQ(std::u16string(text), u"root");
    VeskFreeString(&text);

    const std::uint8_t invalid[] = {7, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_FALSE(VeskGetAccountName(invalid, &text, nullptr));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_FALSE(VeskGetAccountName(nullptr, &text, nullptr));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_FALSE(VeskGetAccountName(system, nullptr, nullptr));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
}

TEST(ProcessImages, RunningAndExitedProcesses) {
    VeskChar* path = nullptr;
    ASSERT_TRUE(VeskGetProcessImagePath(static_cast<std::uint32_t>(getpid()), &path));
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(Narrow(path), self);
    VeskFreeString(&path);

    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(VeskGetProcessImagePath(static_cast<std::uint32_t>(child), &path));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_EQ(path, nullptr);
    EXPECT_FALSE(VeskGetProcessImagePath(1, nullptr));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
}

TEST(Identifiers, RandomAndSequential) {
    VeskGuid a{};
    VeskGuid b{};
    ASSERT_TRUE(VeskCreateId(&a, 1));
    EXPECT_EQ(a.Data3 >> 12, 4);
    ASSERT_TRUE(VeskCreateId(&b, 0));
    EXPECT_EQ(b.Data3 >> 12, 1);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_FALSE(VeskCreateId(nullptr, 1));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
}

}  // namespace
}  // namespace vesk::testing
