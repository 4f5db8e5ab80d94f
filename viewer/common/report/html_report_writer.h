#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "report/html_writer.h"
#include "report/report_writer.h"

namespace nimbrel {

// The document title of HTML reports (empty: the title element holds "&nbsp;").
inline std::string HTMLTitle;

// The style sheet of every HTML report.
inline constexpr std::string_view HTMLStyleSheet =
    "th { background-color: gold; }\r\n"
    "td { background-color: lightyellow; padding: 10px; }\r\n"
    ".sum {font-weight: bold; }\r\n"
    "table { border-spacing: 2px; }";

// A report as an HTML document in UTF-8: one table per group, a heading row of th cells, rows of
// td cells, total rows of class "sum", and a group opened inside another placed in a cell that
// spans every column given so far. Body and document are closed by Close (or destruction).
class THTMLReportWriter final : public IReportWriter {
  public:
    explicit THTMLReportWriter(std::ostream& output);

    void WriteHeader() override;
    void WriteFooter() override {}
    void NewGroup(std::string_view caption) override;
    // Raises EAssertionFailed when no group is open, instead of closing the body.
    void EndGroup() override;
    void AddHeadings(std::span<const std::string> strings) override;
    void NewRow() override;
    void EndRow() override;
    using IReportWriter::AddValue;
    void AddValue(std::string_view value) override;
    void NewTotal() override;
    void EndTotal() override;
    void Close() override;

  private:
    THTMLWriter FHTMLWriter;
    std::size_t FGroupCount = 0;
    // Headings given over all groups, never reset: the span of a nested group's cell.
    std::size_t FColCount = 0;
    std::size_t FRowCount = 0;
};

}  // namespace nimbrel
