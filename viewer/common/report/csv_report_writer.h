#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "report/report_writer.h"
#include "text/buffered_text_writer.h"

namespace nimbrel {

// The encoding of CSV reports: 0 the system's 8-bit code page, 1 UTF-8, 2 UTF-16 little-endian.
// Any other value makes the writer's construction fail with EAssertionFailed.
inline std::uint8_t CSVEncoding = 0;
// The value separator of CSV reports; 0 takes the locale's list separator.
inline char16_t CSVSeparator = 0;

// A report as comma-separated values, lines ended by CR LF. Headings are always quoted; a value is
// quoted when it holds a space, a double quote, the separator or a line break (quoting encloses in
// double quotes and doubles every double quote inside). Groups are not marked except by their
// caption line.
class TCSVReportWriter final : public IReportWriter {
  public:
    // At position 0 of `output` the encoding's byte-order mark is written at once.
    explicit TCSVReportWriter(std::ostream& output);

    void WriteHeader() override {}
    void WriteFooter() override {}
    // Writes the caption as a line of its own when it is not empty or the stream already holds
    // something (a byte-order mark counts), so that groups stay apart.
    void NewGroup(std::string_view caption) override;
    void EndGroup() override {}
    void AddHeadings(std::span<const std::string> strings) override;
    void NewRow() override;
    void EndRow() override;
    using IReportWriter::AddValue;
    // Raises EAssertionFailed, writing nothing, when the row already holds a value per heading.
    void AddValue(std::string_view value) override;
    void NewTotal() override;
    void EndTotal() override;
    void Close() override;

  private:
    void WriteQuoted(std::string_view text);

    std::string FSeparator;
    std::size_t FTitleCount = 0;
    std::size_t FValueCount = 0;
    TBufferedTextWriter FTextWriter;
};

}  // namespace nimbrel
