// Caller memory that faults: the simulated face marks ranges unreadable; a guarded copy that
// touches one fails as a faulting copy would.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/fltmgr/buffers.h"
#include "sim_fltmgr.h"

namespace sim {
namespace {

struct Unreadable {
    std::mutex lock;
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> ranges;  // [start, end)
};

Unreadable& U() {
    static Unreadable state;
    return state;
}

}  // namespace

void CallerMemory::MarkUnreadable(const void* start, std::size_t length) {
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    std::lock_guard lock(U().lock);
    U().ranges.emplace_back(begin, begin + length);
}

void CallerMemory::Reset() {
    std::lock_guard lock(U().lock);
    U().ranges.clear();
}

}  // namespace sim

namespace kernel {

NTSTATUS CopyFromCallerMemory(void* destination, const void* source, std::size_t length) {
    const auto begin = reinterpret_cast<std::uintptr_t>(source);
    const auto end = begin + length;
    {
        std::lock_guard lock(sim::U().lock);
        for (const auto& [first, last] : sim::U().ranges) {
            if (begin < last && first < end) {
                return STATUS_ACCESS_VIOLATION;
            }
        }
    }
    if (length != 0) {
        std::memcpy(destination, source, length);
    }
    return STATUS_SUCCESS;
}

}  // namespace kernel
