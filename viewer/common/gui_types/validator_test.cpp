#include "gui_types/validator.h"

#include <string>

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

struct Case {
    std::string text;
    bool valid;
};

TEST(TValidatorTest, Email) {
    const Case cases[] = {{"admin@example.com", true}, {"@", true}, {"admin", false}, {"", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(TValidator::IsValidEmail(c.text), c.valid) << c.text;
    }
}

TEST(TValidatorTest, HostName) {
    const Case cases[] = {
        {"monitor-1.example.com", true},
        {"10.0.0.1", true},  // digits and full stops are allowed
        {"localhost", true},
        {"", false},
        {"my_host", false},
        {"host name", false},
        {"h\xC3\xB4te", false},  // letters beyond ASCII
        {"fe80::1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TValidator::IsValidHostName(c.text), c.valid) << c.text;
    }
}

TEST(TValidatorTest, IPv4Address) {
    const Case cases[] = {
        {"10.0.0.1", true},
        {"192.168.100.254", true},
        {"127.1", true},      // shortened: 127.0.0.1
        {"10", true},         // one number: 0.0.0.10
        {"0x7f.1", true},     // hexadecimal part
        {"010.0.0.1", true},  // octal part: 8.0.0.1
        {"0.0.0.0", false},
        {"0", false},
        {"255.255.255.255", false},
        {"4294967295", false},  // 255.255.255.255 as one number
        {"256.1.1.1", false},
        {"1.2.3.4.5", false},
        {"1.2.3.", false},
        {"a.b.c.d", false},
        {"", false},
        {" 10.0.0.1", false},
        // The C library stops reading at white space; the whole text must be the address.
        {"10.0.0.1 junk", false},
        {"10.0.0.1\n", false},
        {std::string("10.0.0.1\0junk", 13), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TValidator::IsValidIPv4Addr(c.text), c.valid) << c.text;
    }
}

TEST(TValidatorTest, IPv6Address) {
    const Case cases[] = {
        {"::1", true},
        {"fe80::1", true},
        {"2001:db8:0:0:0:0:0:1", true},
        {"2001:DB8::8:800:200C:417A", true},
        {"1:2:3:4:5:6:7:8", true},
        {"1::", true},
        {"::", true},
        {"fe80::1%eth0", false},    // a zone
        {"::ffff:1.2.3.4", false},  // the embedded IPv4 form
        {"1:2:3:4:5:6:7:8:9", false},
        {"", false},
        // Not addresses at all: too few groups without "::", a group of more than 16 bits, two
        // gaps, a space, only colons, a letter beyond hexadecimal.
        {"1:2:3", false},
        {"12345::1", false},
        {"1::2::3", false},
        {"fe80 ::1", false},
        {":", false},
        {"::::", false},
        {"g::1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TValidator::IsValidIPv6Addr(c.text), c.valid) << c.text;
    }
}

}  // namespace
}  // namespace nimbrel
