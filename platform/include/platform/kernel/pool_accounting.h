// Per-tag accounting of the pool, and the control tests use to make an allocation fail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kernel {

struct PoolTagUsage {
    std::uint32_t tag = 0;
    std::uint64_t allocations = 0;
    std::uint64_t frees = 0;
    std::uint64_t failures = 0;  // allocations refused (injected or real)
    std::uint64_t outstandingBytes = 0;

    std::uint64_t Outstanding() const { return allocations - frees; }
};

PoolTagUsage QueryPoolTag(std::uint32_t tag);
std::vector<PoolTagUsage> QueryPoolTags();  // every tag ever used, in tag order

// Tags with blocks still allocated, as "Fmsg: 2 blocks, 130 bytes" lines; empty when none.
std::string DescribeOutstandingPool();

// Makes the nth allocation (1-based, counted from this call) with this tag fail; n = 0 clears.
void FailNthPoolAllocation(std::uint32_t tag, std::uint64_t n);

// Forgets counters and injected failures. Blocks still allocated stay valid and may be freed.
void ResetPoolAccounting();

std::string PoolTagText(std::uint32_t tag);

}  // namespace kernel
