// The pending-record queue between the receiver thread and the dispatch thread, with the two
// wake-ups of the dispatch thread: "a record was queued" (auto-reset) and "stop" (manual-reset).
//
// One mutex guards the list and both signals; it is held only to link or unlink one block or to
// look at a signal, never while a callback runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>

namespace vesk::engine {

struct FreeBlock {
    void operator()(std::uint8_t* block) const { std::free(block); }
};
// A private copy of one record, exactly its TotalLength bytes.
using RecordBlock = std::unique_ptr<std::uint8_t, FreeBlock>;

class RecordQueue {
  public:
    enum class Wake { kStop, kQueued };

    void Push(RecordBlock block);  // and signals "queued"
    RecordBlock Pop();             // nullptr when empty

    void SignalStop();
    // Waits for stop or for the queued signal (which it clears). Stop wins when both are set.
    Wake Wait();
    // Waits up to the duration for stop; true when stop was signalled.
    bool WaitForStop(std::chrono::milliseconds duration);

    // Frees every queued block without delivering it.
    void Clear();
    std::size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<RecordBlock> blocks_;  // protected by mutex_
    bool queued_ = false;             // protected by mutex_
    bool stop_ = false;               // protected by mutex_
};

}  // namespace vesk::engine
