#pragma once

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
// (The builtins give the caller's place as std::source_location would; the clang of the fuzzing
// build cannot compile std::source_location with this standard library.)
void Assert(bool condition, const char* file = __builtin_FILE(), int line = __builtin_LINE());

}  // namespace nimbrel
