#include "report/html_report_writer.h"

#include "errors/assertion_failed.h"

namespace nimbrel {

namespace {

constexpr std::size_t kBufferSize = 4096;

}  // namespace

THTMLReportWriter::THTMLReportWriter(std::ostream& output) : FHTMLWriter(output, kBufferSize) {}

void THTMLReportWriter::WriteHeader() {
    FHTMLWriter.AddTag("html");
    FHTMLWriter.AddHead(HTMLTitle, HTMLStyleSheet);
    FHTMLWriter.AddTag("body");
}

void THTMLReportWriter::NewGroup(std::string_view caption) {
    if (FGroupCount > 0) {
        FHTMLWriter.AddTag("tr");
        FHTMLWriter.AddTag("td", "colspan=" + std::to_string(FColCount));
    }
    FHTMLWriter.AddTag("table");
    if (!caption.empty()) {
        FHTMLWriter.AddText("caption", caption);
    }
    ++FGroupCount;
}

void THTMLReportWriter::EndGroup() {
    Assert(FGroupCount > 0);
    if (FGroupCount > 1) {
        FHTMLWriter.CloseTag();  // the inner table
        FHTMLWriter.CloseTag();  // its cell
    }
    FHTMLWriter.CloseTag();  // the enclosing row, or the table of the outermost group
    --FGroupCount;
}

void THTMLReportWriter::AddHeadings(std::span<const std::string> strings) {
    FHTMLWriter.AddTag("tr");
    try {
        for (const std::string& heading : strings) {
            FHTMLWriter.AddText("th", heading);
            ++FColCount;
        }
    } catch (...) {
        FHTMLWriter.CloseTagAfterError();
        throw;
    }
    FHTMLWriter.CloseTag();
}

void THTMLReportWriter::NewRow() {
    FHTMLWriter.AddTag("tr");
    ++FRowCount;
}

void THTMLReportWriter::EndRow() {
    FHTMLWriter.CloseTag();
}

void THTMLReportWriter::AddValue(std::string_view value) {
    FHTMLWriter.AddText("td", value);
}

void THTMLReportWriter::NewTotal() {
    FHTMLWriter.AddTag("tr", "class=\"sum\"");
}

void THTMLReportWriter::EndTotal() {
    FHTMLWriter.CloseTag();
}

void THTMLReportWriter::Close() {
    FHTMLWriter.Close();
}

}  // namespace nimbrel
