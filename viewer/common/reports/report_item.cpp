#include "reports/report_item.h"

namespace nimbrel {

std::string_view ReportFrequencyName(TReportFrequency Value) {
    static constexpr std::string_view kNames[] = {"Hourly", "Daily", "Weekly", "Monthly"};
    return Value >= 0 && Value < 4 ? kNames[Value] : std::string_view();
}

std::string_view ReportFileFormatName(TReportFileFormat Value) {
    static constexpr std::string_view kNames[] = {"CSV", "HTML", "Text"};
    return Value >= 0 && Value < 3 ? kNames[Value] : std::string_view();
}

const TPropTable& TCommonReportItem::ClassProperties() {
    static const TPropTable table("TCommonReportItem", &TNamedItem::ClassProperties(),
                                  {Field<&TCommonReportItem::FFrequency>("Frequency"),
                                   Field<&TCommonReportItem::FFileFormat>("FileFormat"),
                                   Field<&TCommonReportItem::FTargetType>("TargetType"),
                                   Field<&TCommonReportItem::FTargetValue>("TargetValue")});
    return table;
}

}  // namespace nimbrel
