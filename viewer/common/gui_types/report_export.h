#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string_view>

#include "gui_types/report_row_source.h"
#include "report/report_writer.h"

namespace nimbrel {

// The file types of report export, numbered as in the Save dialog's filter.
enum class TReportFileType { CSV = 1, HTML = 2, Text = 3 };

// The Save dialog of report export: its filter and default extension.
inline constexpr std::string_view ReportFileFilter = "CSV|*.csv|HTML|*.htm|Plain text|*.txt";
inline constexpr std::string_view ReportDefaultExt = ".csv";

// The Save dialog's preselected file type for the last chosen one, which may be anything a
// stored setting holds: clamped to 1..3, so "never chosen" (0) preselects CSV.
int ReportFilterIndex(int last_filter_index);
TReportFileType ReportFileTypeOf(int filter_index);

// The writer of a file type over `output` (owned by the caller, open until the writer is gone).
std::unique_ptr<IReportWriter> CreateReportWriter(TReportFileType type, std::ostream& output);

// Writes the rows of `rows` as one group without a caption: the column captions as headings,
// then each row's cell texts, and closes the writer.
void ExportToReport(const IReportRowSource& rows, IReportWriter& writer);
void ExportToReport(const IReportRowSource& rows, TReportFileType type, std::ostream& output);

// Creates (or replaces) the file at `path` and exports the rows into it. Raises
// std::system_error "Cannot create file "path"" when the file cannot be created and "Cannot write
// file "path"" when writing it fails (a full disk), so a report is never taken as saved when it
// was not.
void ExportToReportFile(const IReportRowSource& rows, TReportFileType type,
                        const std::filesystem::path& path);

}  // namespace nimbrel
