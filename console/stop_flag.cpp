#include "stop_flag.h"

namespace vesk::console {

bool StopFlag::TrySet(StopReason reason) {
    std::lock_guard lock(mutex_);
    if (reason_ != StopReason::None) {
        return false;
    }
    reason_ = reason;
    return true;
}

bool StopFlag::IsSet() const {
    return Reason() != StopReason::None;
}

StopReason StopFlag::Reason() const {
    std::lock_guard lock(mutex_);
    return reason_;
}

}  // namespace vesk::console
