#include "settings/email_settings.h"

#include "rtl/number_text.h"

namespace nimbrel {

std::string_view TEmailSettings::AuthTypeName(TAuthType Value) {
    static constexpr std::string_view kNames[] = {"None", "AUTH LOGIN", "SASL"};
    return Value >= 0 && Value < 3 ? kNames[Value] : std::string_view();
}

std::string_view TEmailSettings::ConnTypeName(TConnType Value) {
    static constexpr std::string_view kNames[] = {"Regular", "Secure to regular port (STARTTLS)",
                                                  "Secure to dedicated port (TLS)"};
    return Value >= 0 && Value < 3 ? kNames[Value] : std::string_view();
}

const TPropTable& TEmailSettings::ClassProperties() {
    static const TPropTable table(
        "TEmailSettings", &TRemotable::ClassProperties(),
        {Field<&TEmailSettings::FEnabled>("Enabled"), Field<&TEmailSettings::FServName>("ServName"),
         Field<&TEmailSettings::FFromAddr>("FromAddr"),
         Field<&TEmailSettings::FFromName>("FromName"),
         Field<&TEmailSettings::FAuthType>("AuthType"),
         Field<&TEmailSettings::FAuthUser>("AuthUser"),
         Field<&TEmailSettings::FAuthPass>("AuthPass"),
         Field<&TEmailSettings::FConnType>("ConnType")});
    return table;
}

std::string TEmailSettings::ServHost() const {
    return FServName.substr(0, FServName.find(':'));
}

std::int32_t TEmailSettings::ServPort() const {
    const std::size_t colon = FServName.find(':');
    return colon == std::string::npos ? 25
                                      : StrToInt(std::string_view(FServName).substr(colon + 1));
}

}  // namespace nimbrel
