// Who started the shutdown of a live mode. Set once: the key press, a signal and an engine error
// can race (the engine reports on its own thread), and only the first of them runs the cleanup.
#pragma once

#include <mutex>

namespace vesk::console {

enum class StopReason { None, Key, Interrupt, Close, EngineError, Failure };

class StopFlag {
  public:
    // True when this caller set the flag first.
    bool TrySet(StopReason reason);
    bool IsSet() const;
    StopReason Reason() const;

  private:
    mutable std::mutex mutex_;
    StopReason reason_ = StopReason::None;
};

}  // namespace vesk::console
