// Interrupt request level of the current thread. It is what forbids paged memory and blocking
// waits inside spin-locked regions; the platform checks those rules on every call.
#pragma once

#include <cstdint>

namespace kernel {

using KIRQL = std::uint8_t;

constexpr KIRQL PASSIVE_LEVEL = 0;
constexpr KIRQL APC_LEVEL = 1;
constexpr KIRQL DISPATCH_LEVEL = 2;

KIRQL CurrentIrql();
KIRQL RaiseIrql(KIRQL newIrql);  // returns the previous level; lowering through it stops the system
void LowerIrql(KIRQL oldIrql);

// Stops the system with a message: the platform's answer to a broken invariant.
[[noreturn]] void BugCheck(const char* what);

}  // namespace kernel
