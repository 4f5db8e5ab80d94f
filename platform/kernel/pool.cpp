#include "platform/kernel/pool.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"

namespace kernel {
namespace {

// Each block is preceded by this header so that a free can check its tag and account its size.
struct alignas(16) BlockHeader {
    std::uint64_t bytes;
    std::uint32_t tag;
    std::uint32_t magic;
};
constexpr std::uint32_t kLiveMagic = 0x4C6F6F50;  // "PooL"
constexpr std::uint32_t kFreedMagic = 0x65657246;

struct TagState {
    PoolTagUsage usage;
    std::uint64_t failCountdown = 0;  // 0: no failure injected
};

// The accounting lock is a host mutex, not a kernel lock: it is held only for a few additions and
// never around anything that could wait, so taking it at DISPATCH_LEVEL is harmless.
std::mutex& AccountingMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::uint32_t, TagState>& Tags() {
    static std::map<std::uint32_t, TagState> tags;
    return tags;
}

}  // namespace

void* AllocatePool(PoolType type, std::size_t bytes, std::uint32_t tag) {
    if (type == PoolType::Paged && CurrentIrql() >= DISPATCH_LEVEL) {
        BugCheck("paged pool requested at DISPATCH_LEVEL or above");
    }
    {
        std::lock_guard lock(AccountingMutex());
        TagState& state = Tags()[tag];
        state.usage.tag = tag;
        if (state.failCountdown != 0 && --state.failCountdown == 0) {
            ++state.usage.failures;
            return nullptr;
        }
    }
    if (bytes > (std::size_t{1} << 40)) {
        std::lock_guard lock(AccountingMutex());
        ++Tags()[tag].usage.failures;
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (header == nullptr) {
        std::lock_guard lock(AccountingMutex());
        ++Tags()[tag].usage.failures;
        return nullptr;
    }
    header->bytes = bytes;
    header->tag = tag;
    header->magic = kLiveMagic;
    {
        std::lock_guard lock(AccountingMutex());
        PoolTagUsage& usage = Tags()[tag].usage;
        ++usage.allocations;
        usage.outstandingBytes += bytes;
    }
    return header + 1;
}

void FreePool(void* block, std::uint32_t tag) {
    if (block == nullptr) {
        BugCheck("FreePool of a null block");
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->magic != kLiveMagic) {
        BugCheck("FreePool of a block that is not live pool memory (double free?)");
    }
    if (header->tag != tag) {
        BugCheck(("FreePool with tag " + PoolTagText(tag) + " of a block tagged " +
                  PoolTagText(header->tag))
                     .c_str());
    }
    {
        std::lock_guard lock(AccountingMutex());
        PoolTagUsage& usage = Tags()[tag].usage;
        ++usage.frees;
        usage.outstandingBytes -= header->bytes;
    }
    header->magic = kFreedMagic;
    std::free(header);
}

PoolTagUsage QueryPoolTag(std::uint32_t tag) {
    std::lock_guard lock(AccountingMutex());
    auto it = Tags().find(tag);
    if (it == Tags().end()) {
        PoolTagUsage usage;
        usage.tag = tag;
        return usage;
    }
    return it->second.usage;
}

std::vector<PoolTagUsage> QueryPoolTags() {
    std::lock_guard lock(AccountingMutex());
    std::vector<PoolTagUsage> result;
    for (const auto& [tag, state] : Tags()) {
        result.push_back(state.usage);
    }
    return result;
}

std::string DescribeOutstandingPool() {
    std::string text;
    for (const PoolTagUsage& usage : QueryPoolTags()) {
        if (usage.Outstanding() != 0) {
            text += PoolTagText(usage.tag) + ": " + std::to_string(usage.Outstanding()) +
                    " blocks, " + std::to_string(usage.outstandingBytes) + " bytes\n";
        }
    }
    return text;
}

void FailNthPoolAllocation(std::uint32_t tag, std::uint64_t n) {
    std::lock_guard lock(AccountingMutex());
    TagState& state = Tags()[tag];
    state.usage.tag = tag;
    state.failCountdown = n;
}

void ResetPoolAccounting() {
    std::lock_guard lock(AccountingMutex());
    for (auto& [tag, state] : Tags()) {
        // Blocks still out keep their bytes counted so that a later free balances.
        const std::uint64_t outstanding = state.usage.Outstanding();
        const std::uint64_t bytes = state.usage.outstandingBytes;
        state = TagState{};
        state.usage.tag = tag;
        state.usage.allocations = outstanding;
        state.usage.outstandingBytes = bytes;
    }
}

std::string PoolTagText(std::uint32_t tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

}  // namespace kernel
