#pragma once

#include <string_view>

namespace nimbrel {

// The natural order of names for display ("file2" before "file10"): runs of digits compare by
// their numeric value, letters without regard to case, by the collation rules of the user's
// locale. It is ICU's collation with numeric ordering at secondary strength, the engine and
// settings of the GUI's QCollator in numeric, case-insensitive mode, so the core and the windows
// sort alike. Returns a negative number, 0 or a positive number.
int CompareNatural(std::string_view a, std::string_view b);

}  // namespace nimbrel
