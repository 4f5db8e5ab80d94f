// System time: 100-nanosecond units since 1601-01-01 UTC.
#pragma once

#include <cstdint>

namespace kernel {

std::int64_t QuerySystemTime();

// Relative time-outs are negative counts of 100-nanosecond units, as the kernel's waits take them.
constexpr std::int64_t RelativeTimeout(std::int64_t hundredNanoseconds) { return -hundredNanoseconds; }
constexpr std::int64_t kHundredNsPerSecond = 10'000'000;

}  // namespace kernel
