// The two live modes: the monitor, which prints every record that passes a class filter and a
// name pattern, and the statistics screen, which redraws the driver's counters once a second.
// Both return when stopped by a key, a signal or an engine error.
#pragma once

#include <string_view>

#include "console_io.h"

namespace vesk::console {

// filter: class letters (any case), "*" or empty; pattern: name patterns separated by ";",
// "*" or empty.
void RunMonitor(const ConsoleIo& io, std::string_view filter, std::u16string_view pattern);

void RunStatisticsScreen(const ConsoleIo& io);

}  // namespace vesk::console
