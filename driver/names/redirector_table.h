// The network redirectors the driver knows, by the component that names them in a device name.
// The provider code is what the resolve-name reply reports and what the file-system type of a
// network volume is derived from.
#pragma once

#include <cstdint>
#include <string_view>

#include "wire/port_wire.h"

namespace vesk::driver {

struct Redirector {
    std::uint32_t provider;  // wire::NetworkProvider
    std::u16string_view component;
};

inline constexpr Redirector kRedirectors[] = {
    {wire::VeskProviderLanman, u"LanmanRedirector"},
    {wire::VeskProviderWebDav, u"WebDavRedirector"},
    {wire::VeskProviderVirtualBox, u"VBoxMiniRdr"},
    {wire::VeskProviderVmware, u"hgfs"},
    {wire::VeskProviderCsc, u"Csc"},
};

// The provider whose component this is, ignoring case; wire::VeskProviderOther (0) for none.
std::uint32_t LookupRedirector(std::u16string_view component);

}  // namespace vesk::driver
