// Network names come from the client (VeskCmdResolveName) and from the file system: parsing any
// text must stay inside it and give positions in order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "network_name.h"
#include "wire/port_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFF) {
        return 0;
    }
    // A byte picks a common character or, escaped by 0xFF, passes the next byte through, so that
    // device prefixes and redirector names come up often.
    static constexpr char16_t kCommon[] = u"\\;:Device MupLanmanRedirectorVBoxMiniRdrCschgfsWebDav";
    std::vector<char16_t> text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 1 < size) {
            text.push_back(static_cast<char16_t>(data[++i] | 0x100));
        } else {
            text.push_back(kCommon[data[i] % (sizeof(kCommon) / sizeof(char16_t) - 1)]);
        }
    }
    if (text.size() > 0x7FFF) {
        return 0;
    }
    // The text sits at the end of its own allocation: a read past it is caught.
    auto* buffer = static_cast<char16_t*>(std::malloc(text.size() * 2 + 1));
    if (!text.empty()) {
        std::memcpy(buffer, text.data(), text.size() * 2);
    }
    const kernel::UnicodeString name{static_cast<std::uint16_t>(text.size() * 2),
                                     static_cast<std::uint16_t>(text.size() * 2), buffer};
    vesk::driver::NetworkNameParts parts;
    if (kernel::NtSuccess(vesk::driver::ParseNetworkName(name, &parts)) && parts.provider != 0) {
        const bool ordered = parts.devicePrefixEnd <= parts.uncRootStart &&
                             parts.uncRootStart < parts.uncRootEnd &&
                             parts.uncRootEnd <= text.size() && text[parts.uncRootStart] == u'\\';
        if (!ordered || parts.provider > vesk::wire::VeskProviderCsc) {
            std::abort();
        }
    }
    std::free(buffer);
    return 0;
}
