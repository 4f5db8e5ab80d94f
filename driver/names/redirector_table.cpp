#include "redirector_table.h"

#include "platform/kernel/string_routines.h"

namespace vesk::driver {

std::uint32_t LookupRedirector(std::u16string_view component) {
    for (const Redirector& r : kRedirectors) {
        if (r.component.size() != component.size()) {
            continue;
        }
        bool same = true;
        for (std::size_t i = 0; i < component.size() && same; ++i) {
            same = kernel::UpcaseUnicodeChar(component[i]) ==
                   kernel::UpcaseUnicodeChar(r.component[i]);
        }
        if (same) {
            return r.provider;
        }
    }
    return wire::VeskProviderOther;
}

}  // namespace vesk::driver
