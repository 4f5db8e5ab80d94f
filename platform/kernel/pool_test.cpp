#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include "kernel_test.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"

namespace {

using namespace kernel;

constexpr std::uint32_t kTagA = MakePoolTag("TstA");
constexpr std::uint32_t kTagB = MakePoolTag("TstB");

class PoolTest : public sim::KernelTest {};

TEST_F(PoolTest, CountsEveryAllocationAndFreePerTag) {
    void* a1 = AllocatePool(PoolType::Paged, 10, kTagA);
    void* a2 = AllocatePool(PoolType::NonPaged, 30, kTagA);
    void* b = AllocatePool(PoolType::Paged, 7, kTagB);
    ASSERT_TRUE(a1 && a2 && b);
    EXPECT_EQ(QueryPoolTag(kTagA).Outstanding(), 2u);
    EXPECT_EQ(QueryPoolTag(kTagA).outstandingBytes, 40u);
    EXPECT_EQ(DescribeOutstandingPool(), "TstA: 2 blocks, 40 bytes\nTstB: 1 blocks, 7 bytes\n");
    FreePool(a1, kTagA);
    FreePool(a2, kTagA);
    FreePool(b, kTagB);
    EXPECT_EQ(QueryPoolTag(kTagA).allocations, 2u);
    EXPECT_EQ(QueryPoolTag(kTagA).frees, 2u);
    EXPECT_EQ(DescribeOutstandingPool(), "");
}

TEST_F(PoolTest, FailsExactlyTheNthAllocationOfATag) {
    FailNthPoolAllocation(kTagA, 2);
    void* first = AllocatePool(PoolType::Paged, 1, kTagA);
    void* other = AllocatePool(PoolType::Paged, 1, kTagB);  // other tags are not counted
    void* second = AllocatePool(PoolType::Paged, 1, kTagA);
    void* third = AllocatePool(PoolType::Paged, 1, kTagA);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(other, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(QueryPoolTag(kTagA).failures, 1u);
    FreePool(first, kTagA);
    FreePool(third, kTagA);
    FreePool(other, kTagB);
}

TEST_F(PoolTest, TagTextShowsTheFourCharacters) {
    EXPECT_EQ(PoolTagText(MakePoolTag("Fmsg")), "Fmsg");
    EXPECT_EQ(MakePoolTag("Fmsg") & 0xFF, static_cast<std::uint32_t>('F'));
}

using PoolDeathTest = PoolTest;

TEST_F(PoolDeathTest, FreeingWithAnotherTagStopsTheSystem) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    void* block = AllocatePool(PoolType::Paged, 4, kTagA);
    EXPECT_DEATH(FreePool(block, kTagB), "FreePool with tag TstB of a block tagged TstA");
    FreePool(block, kTagA);
}

TEST_F(PoolDeathTest, PagedMemoryAtDispatchLevelStopsTheSystem) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            RaiseIrql(DISPATCH_LEVEL);
            AllocatePool(PoolType::Paged, 4, kTagA);
        },
        "paged pool requested at DISPATCH_LEVEL");
}

}  // namespace
