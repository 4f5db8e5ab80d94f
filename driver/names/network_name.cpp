#include "network_name.h"

#include "counted_string.h"
#include "platform/kernel/string_routines.h"
#include "redirector_table.h"
#include "symbolic_link_target.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

namespace {

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (UpcaseUnicodeChar(text[i]) != UpcaseUnicodeChar(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::size_t FindBackslash(std::u16string_view text, std::size_t from) {
    const std::size_t at = text.find(u'\\', from);
    return at == std::u16string_view::npos ? text.size() : at;
}

}  // namespace

NTSTATUS ParseNetworkName(const UnicodeString& name, NetworkNameParts* parts) {
    *parts = NetworkNameParts{};
    const std::u16string_view n = View(name);

    // "\Device\Mup\;" puts the redirector's component after the semicolon; any other device
    // name carries it right after "\Device\".
    std::size_t componentStart;
    if (n.size() > 13 && n[11] == u'\\' && n[12] == u';' &&
        StartsWithIgnoringCase(n, u"\\Device\\Mup")) {
        componentStart = 13;
    } else if (StartsWithIgnoringCase(n, u"\\Device\\")) {
        componentStart = 8;
    } else {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    const std::size_t componentEnd = FindBackslash(n, componentStart);
    const std::uint32_t provider =
        LookupRedirector(n.substr(componentStart, componentEnd - componentStart));
    if (provider == wire::VeskProviderOther) {
        return STATUS_SUCCESS;
    }

    // The provider's own part between the device prefix and the server.
    std::size_t at = componentEnd;
    const std::u16string_view own = n.substr(at);
    switch (provider) {
        case wire::VeskProviderVirtualBox:  // \;Z:
            if (own.size() >= 4 && own[0] == u'\\' && own[1] == u';' && own[3] == u':') {
                at += 4;
            }
            break;
        case wire::VeskProviderCsc:
            break;
        default:  // \;Z: and sixteen digits of logon id
            if (own.size() >= 20 && own[0] == u'\\' && own[1] == u';' && own[3] == u':') {
                at += 20;
            }
            break;
    }
    if (at >= n.size() || n[at] != u'\\') {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    const std::size_t serverEnd = FindBackslash(n, at + 1);
    if (serverEnd == at + 1) {
        // An empty server would make the UNC root a lone backslash, which occurs in every name.
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    std::size_t rootEnd = serverEnd;
    if (serverEnd < n.size()) {
        const std::size_t shareEnd = FindBackslash(n, serverEnd + 1);
        if (shareEnd > serverEnd + 1) {
            rootEnd = shareEnd;
        }
    }
    parts->provider = provider;
    parts->devicePrefixEnd = static_cast<std::uint16_t>(componentEnd);
    parts->uncRootStart = static_cast<std::uint16_t>(at);
    parts->uncRootEnd = static_cast<std::uint16_t>(rootEnd);
    return STATUS_SUCCESS;
}

NTSTATUS ConvertNetworkName(const UnicodeString& name, UnicodeString** rewritten,
                            std::uint16_t* volumePrefixChars, NetworkNameParts* partsOut) {
    *rewritten = nullptr;
    *volumePrefixChars = 0;
    NetworkNameParts parts;
    NTSTATUS status = ParseNetworkName(name, &parts);
    if (!NtSuccess(status)) {
        return status;
    }
    if (partsOut != nullptr) {
        *partsOut = parts;
    }
    if (parts.provider == wire::VeskProviderOther) {
        return STATUS_NOT_SUPPORTED;
    }
    const UnicodeString prefix{static_cast<std::uint16_t>(parts.devicePrefixEnd * 2),
                               static_cast<std::uint16_t>(parts.devicePrefixEnd * 2), name.Buffer};
    CountedStringHolder target;
    status = QueryLinkTarget(prefix, target.Receive());
    if (!NtSuccess(status) || target.Get() == nullptr) {
        return status;
    }
    const std::u16string_view after = View(name).substr(parts.devicePrefixEnd);
    status = ConcatenateCountedString(View(*target.Get()), after, PoolType::Paged, rewritten);
    if (!NtSuccess(status)) {
        return status;
    }
    *volumePrefixChars = static_cast<std::uint16_t>(View(*target.Get()).size() + parts.uncRootEnd -
                                                    parts.devicePrefixEnd);
    return STATUS_SUCCESS;
}

}  // namespace vesk::driver
