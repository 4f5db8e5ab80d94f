#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/date_time.h"

namespace nimbrel {

// Writes tabular data as a report file in one format. The writers know nothing of the viewer's
// data: they receive headings and cell texts. The caller owns the output stream and keeps it open
// until the writer is gone.
//
// Calling order:
//   WriteHeader;
//   per group: NewGroup, AddHeadings, then per row NewRow, one AddValue per column, EndRow;
//     optionally NewTotal, one AddValue per column, EndTotal; then EndGroup;
//   WriteFooter; Close; destroy.
class IReportWriter {
  public:
    IReportWriter() = default;
    IReportWriter(const IReportWriter&) = delete;
    IReportWriter& operator=(const IReportWriter&) = delete;
    // Finishes the report as Close does, but cannot report a failure: call Close first.
    virtual ~IReportWriter() = default;

    virtual void WriteHeader() = 0;
    virtual void WriteFooter() = 0;
    virtual void NewGroup(std::string_view caption) = 0;
    virtual void EndGroup() = 0;
    virtual void AddHeadings(std::span<const std::string> strings) = 0;
    virtual void NewRow() = 0;
    virtual void EndRow() = 0;
    virtual void AddValue(std::string_view value) = 0;
    // The other kinds of value are written as texts, the same way by every writer: a date-time as
    // its date in the locale's short date format (no time of day), an integer in decimal.
    void AddValue(TDateTime value);
    void AddValue(std::int32_t value);
    void AddValue(std::int64_t value);
    virtual void NewTotal() = 0;
    virtual void EndTotal() = 0;

    // Finishes the report (closes what the format keeps open) and hands everything buffered to
    // the stream, raising when the stream fails. Nothing may be written afterwards.
    virtual void Close() = 0;
};

}  // namespace nimbrel
