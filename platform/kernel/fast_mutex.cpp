#include "platform/kernel/fast_mutex.h"

namespace kernel {

void FastMutex::Acquire() {
    if (CurrentIrql() > APC_LEVEL) {
        BugCheck("fast mutex acquired at DISPATCH_LEVEL or above");
    }
    mutex_.lock();
    oldIrql_ = RaiseIrql(APC_LEVEL);
}

void FastMutex::Release() {
    const KIRQL old = oldIrql_;
    mutex_.unlock();
    LowerIrql(old);
}

}  // namespace kernel
