#include "report/report_writer.h"

#include "locale/locale_format.h"

namespace nimbrel {

void IReportWriter::AddValue(TDateTime value) {
    AddValue(FormatDateTime(CurrentLocaleFormat().short_date_format, value));
}

void IReportWriter::AddValue(std::int32_t value) {
    AddValue(std::to_string(value));
}

void IReportWriter::AddValue(std::int64_t value) {
    AddValue(std::to_string(value));
}

}  // namespace nimbrel
