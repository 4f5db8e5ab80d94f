#include "platform/user/accounts.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/error_table.h"
#include "text.h"

namespace user {
namespace {

constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorNoneMapped = 1332;
constexpr std::uint8_t kMaxSubAuthorities = 15;

struct WellKnown {
    std::string_view sid;
    std::u16string_view name;
    std::u16string_view domain;
    SidNameUse use;
};

constexpr WellKnown kWellKnown[] = {
    {"S-1-0-0", u"NULL SID", u"", SidTypeWellKnownGroup},
    {"S-1-1-0", u"Everyone", u"", SidTypeWellKnownGroup},
    {"S-1-2-0", u"LOCAL", u"", SidTypeWellKnownGroup},
    {"S-1-3-0", u"CREATOR OWNER", u"", SidTypeWellKnownGroup},
    {"S-1-3-1", u"CREATOR GROUP", u"", SidTypeWellKnownGroup},
    {"S-1-5-2", u"NETWORK", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-4", u"INTERACTIVE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-6", u"SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-7", u"ANONYMOUS LOGON", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-11", u"Authenticated Users", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-18", u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-19", u"LOCAL SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-20", u"NETWORK SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-32-544", u"Administrators", u"BUILTIN", SidTypeAlias},
    {"S-1-5-32-545", u"Users", u"BUILTIN", SidTypeAlias},
    {"S-1-5-32-546", u"Guests", u"BUILTIN", SidTypeAlias},
};

struct ParsedSid {
    std::uint64_t authority = 0;
    std::vector<std::uint32_t> subAuthorities;
};

bool Parse(const std::uint8_t* bytes, std::uint32_t available, ParsedSid* sid) {
    const std::uint32_t length = SidLength(bytes, available);
    if (length == 0) {
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        sid->authority = (sid->authority << 8) | bytes[2 + i];
    }
    for (std::uint8_t i = 0; i < bytes[1]; ++i) {
        std::uint32_t value;
        std::memcpy(&value, bytes + 8 + 4 * i, 4);
        sid->subAuthorities.push_back(value);
    }
    return true;
}

std::string Text(const ParsedSid& sid) {
    std::string text = "S-1-" + std::to_string(sid.authority);
    for (std::uint32_t value : sid.subAuthorities) {
        text += "-" + std::to_string(value);
    }
    return text;
}

// getpwuid_r and getgrgid_r with a scratch buffer grown until the entry fits.
template <typename Entry, typename Lookup>
std::uint32_t LookUp(Lookup lookup, std::string* name) {
    std::vector<char> scratch(1024);
    for (;;) {
        Entry entry{};
        Entry* found = nullptr;
        const int error = lookup(&entry, scratch.data(), scratch.size(), &found);
        if (error == ERANGE && scratch.size() < (1u << 20)) {
            scratch.resize(scratch.size() * 2);
            continue;
        }
        if (error != 0 && error != ENOENT && error != ESRCH) {
            return platform::Win32FromErrno(error);
        }
        if (found == nullptr) {
            return kErrorNoneMapped;
        }
        if constexpr (std::is_same_v<Entry, passwd>) {
            *name = found->pw_name;
        } else {
            *name = found->gr_name;
        }
        return 0;
    }
}

}  // namespace

std::uint32_t SidLength(const void* sid, std::uint32_t available) {
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    if (bytes == nullptr || available < 8 || bytes[0] != 1 || bytes[1] > kMaxSubAuthorities) {
        return 0;
    }
    const std::uint32_t length = 8 + 4u * bytes[1];
    return length <= available ? length : 0;
}

std::uint32_t LookupAccountSid(const void* sid, std::uint32_t sidLength, std::u16string* name,
                               std::u16string* domain, SidNameUse* use) {
    ParsedSid parsed;
    if (!Parse(static_cast<const std::uint8_t*>(sid), sidLength, &parsed)) {
        return kErrorInvalidParameter;
    }
    const std::string text = Text(parsed);
    for (const WellKnown& known : kWellKnown) {
        if (known.sid == text) {
            *name = known.name;
            *domain = known.domain;
            *use = known.use;
            return 0;
        }
    }
    if (parsed.authority == 22 && parsed.subAuthorities.size() == 2 &&
        (parsed.subAuthorities[0] == 1 || parsed.subAuthorities[0] == 2)) {
        const std::uint32_t id = parsed.subAuthorities[1];
        std::string found;
        std::uint32_t error;
        if (parsed.subAuthorities[0] == 1) {
            error = LookUp<passwd>([id](passwd* e, char* b, std::size_t n,
                                        passwd** r) { return getpwuid_r(id, e, b, n, r); },
                                   &found);
            *domain = u"Unix User";
            *use = SidTypeUser;
        } else {
            error = LookUp<group>([id](group* e, char* b, std::size_t n,
                                       group** r) { return getgrgid_r(id, e, b, n, r); },
                                  &found);
            *domain = u"Unix Group";
            *use = SidTypeGroup;
        }
        if (error != 0) {
            domain->clear();
            return error;
        }
        *name = Utf8ToUtf16(found);
        return 0;
    }
    return kErrorNoneMapped;
}

}  // namespace user
