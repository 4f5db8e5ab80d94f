#pragma once

#include <source_location>
#include <stdexcept>

namespace nimbrel {

// A programming error reported instead of ending the viewer: a caller broke a rule of the unit it
// called (for example more values in a report row than headings). The message names the source
// file and line of the broken rule: "Assertion failure (csv_report_writer.cpp, line 42)".
class EAssertionFailed : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// Raises EAssertionFailed naming the caller's file and line when `condition` is false.
void Assert(bool condition, std::source_location where = std::source_location::current());

}  // namespace nimbrel
