#include "record_queue.h"

namespace vesk::engine {

void RecordQueue::Push(RecordBlock block) {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
    queued_ = true;
    changed_.notify_all();
}

RecordBlock RecordQueue::Pop() {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) {
        return nullptr;
    }
    RecordBlock block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

void RecordQueue::SignalStop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

RecordQueue::Wake RecordQueue::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || queued_; });
    if (stop_) {
        return Wake::kStop;
    }
    queued_ = false;
    return Wake::kQueued;
}

bool RecordQueue::WaitForStop(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, duration, [this] { return stop_; });
}

void RecordQueue::Clear() {
    std::deque<RecordBlock> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(blocks_);
        queued_ = false;
    }
}

std::size_t RecordQueue::Size() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

}  // namespace vesk::engine
