// The machine the name and rule tests run on: local volumes (C, D and E, whose device names share
// a prefix), network drives of several redirector forms, and a drive mapped only in another logon
// session (the user's, while the test process runs in a logon session of its own).
#pragma once

#include <cstdio>
#include <string>

#include "kernel_test.h"
#include "platform/kernel/unicode_string.h"
#include "sim_objects.h"

namespace vesk::testing {

inline constexpr kernel::Luid kUserLogon{0x54321, 0};
inline constexpr const char16_t* kZDevice =
    u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share";
inline constexpr const char16_t* kYDevice =
    u"\\Device\\LanmanRedirector\\;Y:0000000000054321\\fileserver\\home";

inline void BuildNamesWorld() {
    sim::Objects::Reset();
    for (const char16_t* volume : {u"\\Device\\HarddiskVolume1", u"\\Device\\HarddiskVolume2",
                                   u"\\Device\\HarddiskVolume10"}) {
        sim::Objects::AddDevice(volume);
    }
    sim::Objects::AddDrive(u'C', u"\\Device\\HarddiskVolume1");
    sim::Objects::AddDrive(u'D', u"\\Device\\HarddiskVolume2");
    sim::Objects::AddDrive(u'E', u"\\Device\\HarddiskVolume10");
    for (const char16_t* redirector :
         {u"LanmanRedirector", u"WebDavRedirector", u"VBoxMiniRdr", u"hgfs"}) {
        sim::Objects::AddRedirector(redirector);
    }
    sim::Objects::AddDevice(u"\\Device\\Csc");
    sim::Objects::AddDrive(u'Z', kZDevice, kernel::DRIVE_REMOTE);
    sim::Objects::AddDrive(u'V', u"\\Device\\VBoxMiniRdr\\;V:\\vboxsvr\\shared",
                           kernel::DRIVE_REMOTE);
    sim::Objects::AddLogonDrive(kUserLogon, u'Y', kYDevice, kernel::DRIVE_REMOTE);
}

// A counted view of test text (no copy; the text must outlive it).
inline kernel::UnicodeString Text(const std::u16string& text) {
    return kernel::UnicodeString{static_cast<std::uint16_t>(text.size() * 2),
                                 static_cast<std::uint16_t>(text.size() * 2),
                                 const_cast<char16_t*>(text.data())};
}

inline std::string Narrow(std::u16string_view text) {
    std::string s;
    for (char16_t c : text) {
        s += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return s;
}

inline std::u16string StatusText(kernel::NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(status));
    return std::u16string(text, text + 8);
}

class NamesTest : public sim::KernelTest {
  protected:
    void SetUp() override {
        sim::KernelTest::SetUp();
        BuildNamesWorld();
    }
    void TearDown() override {
        sim::Objects::Reset();
        sim::KernelTest::TearDown();
    }
};

}  // namespace vesk::testing
