#include "gui_types/report_export.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>

#include "report/csv_report_writer.h"
#include "report/html_report_writer.h"
#include "report/text_report_writer.h"

namespace nimbrel {

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::filesystem::path& path, int error) {
    throw std::system_error(error != 0 ? error : EIO, std::generic_category(),
                            std::string(what) + " \"" + path.string() + "\"");
}

}  // namespace

int ReportFilterIndex(int last_filter_index) {
    return std::clamp(last_filter_index, 1, 3);
}

TReportFileType ReportFileTypeOf(int filter_index) {
    return static_cast<TReportFileType>(ReportFilterIndex(filter_index));
}

std::unique_ptr<IReportWriter> CreateReportWriter(TReportFileType type, std::ostream& output) {
    switch (type) {
        case TReportFileType::HTML:
            return std::make_unique<THTMLReportWriter>(output);
        case TReportFileType::Text:
            return std::make_unique<TTextReportWriter>(output);
        case TReportFileType::CSV:
        default:
            return std::make_unique<TCSVReportWriter>(output);
    }
}

void ExportToReport(const IReportRowSource& rows, IReportWriter& writer) {
    const std::vector<std::string> captions = rows.ColumnCaptions();
    writer.WriteHeader();
    writer.NewGroup("");
    writer.AddHeadings(captions);
    for (std::size_t row = 0; row < rows.RowCount(); ++row) {
        writer.NewRow();
        for (std::size_t column = 0; column < captions.size(); ++column) {
            writer.AddValue(rows.CellText(row, column));
        }
        writer.EndRow();
    }
    writer.EndGroup();
    writer.WriteFooter();
    writer.Close();
}

void ExportToReport(const IReportRowSource& rows, TReportFileType type, std::ostream& output) {
    const std::unique_ptr<IReportWriter> writer = CreateReportWriter(type, output);
    ExportToReport(rows, *writer);
}

void ExportToReportFile(const IReportRowSource& rows, TReportFileType type,
                        const std::filesystem::path& path) {
    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        RaiseFileError("Cannot create file", path, errno);
    }
    try {
        ExportToReport(rows, type, file);
        file.close();
    } catch (const std::ios_base::failure&) {
        RaiseFileError("Cannot write file", path, errno);
    }
    if (!file) {
        RaiseFileError("Cannot write file", path, errno);
    }
}

}  // namespace nimbrel
