#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "report/report_writer.h"
#include "text/buffered_text_writer.h"

namespace nimbrel {

// A report as plain UTF-8 text (no byte-order mark), lines ended by CR LF. A group is collected
// column by column in memory and written when it ends, every column right-aligned to its widest
// entry and the heading line underlined with "=". Nothing of a group reaches the stream before
// its EndGroup. Widths count characters, not bytes, so names in any script stay aligned.
class TTextReportWriter final : public IReportWriter {
  public:
    explicit TTextReportWriter(std::ostream& output);

    void WriteHeader() override {}
    void WriteFooter() override {}
    // Writes the caption as a line of its own when it is not empty or the stream already holds
    // something, so that a second group is set apart by an empty line.
    void NewGroup(std::string_view caption) override;
    // Writes the collected group. Raises EAssertionFailed, writing nothing and keeping the group,
    // when the columns do not hold the same number of entries (a row lacked a value).
    void EndGroup() override;
    // Adds one column per heading; columns already there stay.
    void AddHeadings(std::span<const std::string> strings) override;
    void NewRow() override;
    void EndRow() override {}
    using IReportWriter::AddValue;
    // Raises std::out_of_range("List index out of bounds (N)") for a value beyond the last column.
    void AddValue(std::string_view value) override;
    void NewTotal() override;
    void EndTotal() override {}
    void Close() override;

  private:
    std::size_t FTitleCount = 0;
    std::size_t FValueCount = 0;
    TBufferedTextWriter FTextWriter;
    // One entry per column: its heading, then one text per row.
    std::vector<std::vector<std::string>> FTextBuffer;
};

}  // namespace nimbrel
