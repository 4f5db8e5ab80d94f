#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nimbrel {

// The rows a report is made of, as a view shows them: a tree view, a list or a test implements
// it. The source decides which rows take part and in which order (all visible rows, or the
// selected ones in selection order); the export asks for nothing else.
class IReportRowSource {
  public:
    virtual ~IReportRowSource() = default;

    // The captions of all columns, in column order.
    virtual std::vector<std::string> ColumnCaptions() const = 0;
    virtual std::size_t RowCount() const = 0;
    // The text the view displays in a cell; `row` < RowCount(), `column` < the number of captions.
    virtual std::string CellText(std::size_t row, std::size_t column) const = 0;
};

}  // namespace nimbrel
