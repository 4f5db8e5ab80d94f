#include "settings/common_settings.h"

namespace nimbrel {

std::string_view DBKeepRecordsName(TDBKeepRecords Value) {
    static constexpr std::string_view kNames[] = {"1 day",    "1 week", "1 month",     "3 months",
                                                  "6 months", "1 year", "Indefinitely"};
    return Value >= 0 && Value < 7 ? kNames[Value] : std::string_view();
}

const TPropTable& TCommonSettings::ClassProperties() {
    static const TPropTable table(
        "TCommonSettings", &TRemotable::ClassProperties(),
        {Field<&TCommonSettings::FUserPassword>("UserPassword"),
         Field<&TCommonSettings::FDBKeepRecords>("DBKeepRecords"),
         Field<&TCommonSettings::FEmail>("Email"), Field<&TCommonSettings::FFilter>("Filter"),
         AsVolatile(Accessor<&TCommonSettings::RunTimeDBPath, &TCommonSettings::SetRunTimeDBPath>(
             "RunTimeDBPath")),
         AsVolatile(Accessor<&TCommonSettings::RunTimeDBSize, &TCommonSettings::SetRunTimeDBSize>(
             "RunTimeDBSize")),
         AsVolatile(Accessor<&TCommonSettings::VersionString, &TCommonSettings::SetVersionString>(
             "VersionString"))});
    return table;
}

}  // namespace nimbrel
