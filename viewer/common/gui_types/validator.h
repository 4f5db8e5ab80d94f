#pragma once

#include <string_view>

namespace nimbrel {

// Checks of what the user types into input boxes. They never raise.
class TValidator {
  public:
    TValidator() = delete;

    // True when `S` contains "@" anywhere.
    static bool IsValidEmail(std::string_view S);
    // True when `S` is not empty and holds only hyphens, full stops, digits and ASCII letters.
    static bool IsValidHostName(std::string_view S);
    // True when the C library's classic parser (inet_aton: also the shortened forms "10.1" and
    // "127.1", hexadecimal and octal parts) reads the whole text as an address other than 0.0.0.0
    // and 255.255.255.255.
    static bool IsValidIPv4Addr(std::string_view S);
    // True when `S` is an IPv6 address in hexadecimal groups: eight groups of at most four hex
    // digits, or fewer with one "::" standing for the missing ones ("::1", "fe80::1"). A zone
    // ("%eth0") and the embedded IPv4 form ("::ffff:1.2.3.4") are not accepted.
    static bool IsValidIPv6Addr(std::string_view S);
};

}  // namespace nimbrel
