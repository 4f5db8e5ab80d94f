// One scheduled report of the monitoring server, and the names of its choices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "types/identified_item.h"

namespace nimbrel {

enum TReportFrequency : std::int32_t { rfHourly, rfDaily, rfWeekly, rfMonthly };
enum TReportFileFormat : std::int32_t { ffCSV, ffHTML, ffText };
enum TReportTargetType : std::int32_t { ttFile, ttEmail };

// "Hourly", "Daily", "Weekly", "Monthly"; "CSV", "HTML", "Text"; the empty text for an ordinal
// this viewer does not know.
std::string_view ReportFrequencyName(TReportFrequency Value);
std::string_view ReportFileFormatName(TReportFileFormat Value);

class TCommonReportItem : public TNamedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    TReportFrequency Frequency() const { return FFrequency; }
    void SetFrequency(TReportFrequency Value) { FFrequency = Value; }
    TReportFileFormat FileFormat() const { return FFileFormat; }
    void SetFileFormat(TReportFileFormat Value) { FFileFormat = Value; }
    TReportTargetType TargetType() const { return FTargetType; }
    void SetTargetType(TReportTargetType Value) { FTargetType = Value; }
    // A full file name for ttFile, an e-mail address for ttEmail.
    const std::string& TargetValue() const { return FTargetValue; }
    void SetTargetValue(std::string Value) { FTargetValue = std::move(Value); }

  private:
    TReportFrequency FFrequency = rfHourly;
    TReportFileFormat FFileFormat = ffCSV;
    TReportTargetType FTargetType = ttFile;
    std::string FTargetValue;
};

}  // namespace nimbrel
