#include "platform/kernel/irql.h"

#include <cstdio>
#include <cstdlib>

namespace kernel {
namespace {
thread_local KIRQL currentIrql = PASSIVE_LEVEL;
}

KIRQL CurrentIrql() { return currentIrql; }

KIRQL RaiseIrql(KIRQL newIrql) {
    const KIRQL old = currentIrql;
    if (newIrql < old) {
        BugCheck("RaiseIrql to a lower level");
    }
    currentIrql = newIrql;
    return old;
}

void LowerIrql(KIRQL oldIrql) {
    if (oldIrql > currentIrql) {
        BugCheck("LowerIrql to a higher level");
    }
    currentIrql = oldIrql;
}

void BugCheck(const char* what) {
    std::fprintf(stderr, "kernel bug check: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace kernel
