#include "gui_types/validator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <algorithm>
#include <string>

namespace nimbrel {

namespace {

// inet_aton and inet_pton read up to a NUL, and inet_aton also stops at white space and ignores
// what follows it: "10.0.0.1 junk" would pass. The whole text must be the address.
bool HasStopCharacter(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return c == '\0' || c == ' ' || (c >= '\t' && c <= '\r'); });
}

}  // namespace

bool TValidator::IsValidEmail(std::string_view S) {
    return S.find('@') != std::string_view::npos;
}

bool TValidator::IsValidHostName(std::string_view S) {
    return !S.empty() && std::all_of(S.begin(), S.end(), [](char c) {
        return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
               (c >= 'A' && c <= 'Z');
    });
}

bool TValidator::IsValidIPv4Addr(std::string_view S) {
    if (HasStopCharacter(S)) {
        return false;
    }
    in_addr address{};
    if (inet_aton(std::string(S).c_str(), &address) == 0) {
        return false;
    }
    const in_addr_t value = ntohl(address.s_addr);
    return value != INADDR_ANY && value != INADDR_BROADCAST;
}

bool TValidator::IsValidIPv6Addr(std::string_view S) {
    if (HasStopCharacter(S) || S.find('.') != std::string_view::npos) {
        return false;
    }
    in6_addr address{};
    return inet_pton(AF_INET6, std::string(S).c_str(), &address) == 1;
}

}  // namespace nimbrel
