#pragma once

// Helpers shared by the tests of the report writers and of report export.

#include <cstddef>
#include <fstream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "gui_types/report_row_source.h"
#include "locale/locale_format.h"
#include "report/csv_report_writer.h"

namespace nimbrel::testing {

// Regional formats fixed for a test, and the writers' unit settings at their start values; both
// are put back afterwards so tests do not leak settings into each other.
class ScopedReportSettings {
  public:
    explicit ScopedReportSettings(LocaleFormat format = {".", ",", "%d.%m.%Y", "%H:%M"})
        : FSaved(CurrentLocaleFormat()) {
        SetCurrentLocaleFormat(std::move(format));
        CSVEncoding = 0;
        CSVSeparator = 0;
    }
    ~ScopedReportSettings() {
        SetCurrentLocaleFormat(FSaved);
        CSVEncoding = 0;
        CSVSeparator = 0;
    }

  private:
    LocaleFormat FSaved;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// CR LF after every line, as the writers end their lines.
inline std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A stream buffer that takes `capacity` bytes and then fails, like a disk that fills up.
class FillingBuffer : public std::streambuf {
  public:
    explicit FillingBuffer(std::size_t capacity) : FCapacity(capacity) {}
    const std::string& Taken() const { return FTaken; }

  protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof() || FTaken.size() >= FCapacity) {
            return traits_type::eof();
        }
        FTaken += traits_type::to_char_type(c);
        return c;
    }

  private:
    std::size_t FCapacity;
    std::string FTaken;
};

// Rows held in memory, as a list view would hand them over.
class TableSource : public IReportRowSource {
  public:
    TableSource(std::vector<std::string> captions, std::vector<std::vector<std::string>> rows)
        : FCaptions(std::move(captions)), FRows(std::move(rows)) {}

    std::vector<std::string> ColumnCaptions() const override { return FCaptions; }
    std::size_t RowCount() const override { return FRows.size(); }
    std::string CellText(std::size_t row, std::size_t column) const override {
        return FRows.at(row).at(column);
    }

  private:
    std::vector<std::string> FCaptions;
    std::vector<std::vector<std::string>> FRows;
};

}  // namespace nimbrel::testing
