#include "statistics.h"

#include <gtest/gtest.h>

#include "kernel_test.h"

namespace {

using namespace kernel;
using namespace vesk::driver;
namespace wire = vesk::wire;

class StatisticsTest : public sim::KernelTest {};

TEST_F(StatisticsTest, CountsByClassAndFinalStatus) {
    Statistics stats;
    stats.Reset();
    stats.CountOperation(wire::VeskOpCreate, STATUS_SUCCESS, 0);
    stats.CountOperation(wire::VeskOpCreate, STATUS_REPARSE, 0);  // a success code
    stats.CountOperation(wire::VeskOpCreate, STATUS_OBJECT_NAME_NOT_FOUND, 0);
    stats.CountOperation(wire::VeskOpRead, STATUS_SUCCESS, 100);
    stats.CountOperation(wire::VeskOpWrite, STATUS_SUCCESS, 7);
    stats.CountOperation(wire::VeskOpWrite, STATUS_ACCESS_DENIED, 5);
    stats.CountOperation(wire::VeskOpRename, STATUS_SUCCESS, 9);  // not counted at all
    const auto r = stats.Read();
    EXPECT_EQ(r.CreatesSucceeded, 2u);
    EXPECT_EQ(r.CreatesFailed, 1u);
    EXPECT_EQ(r.ReadsSucceeded, 1u);
    EXPECT_EQ(r.BytesRead, 100u);
    EXPECT_EQ(r.WritesSucceeded, 1u);
    EXPECT_EQ(r.WritesFailed, 1u);
    EXPECT_EQ(r.BytesWritten, 7u) << "a failed write adds no bytes";
}

TEST_F(StatisticsTest, FailedReadSetsTheTimeButAddsNoBytes) {
    Statistics stats;
    stats.Reset();
    sim::SimClock::AdvanceSeconds(3);
    stats.CountOperation(wire::VeskOpRead, STATUS_ACCESS_DENIED, 4096);
    const auto r = stats.Read();
    EXPECT_EQ(r.ReadsFailed, 1u);
    EXPECT_EQ(r.BytesRead, 0u);
    EXPECT_EQ(r.LastReadTime, static_cast<std::uint64_t>(sim::SimClock::Now()));
    EXPECT_EQ(r.LastWriteTime, 0u);
}

TEST_F(StatisticsTest, ActivationResetsAndStampsTheStart) {
    Statistics stats;
    stats.Reset();
    stats.CountOperation(wire::VeskOpWrite, STATUS_SUCCESS, 10);
    sim::SimClock::AdvanceSeconds(60);
    stats.ResetAndStart();
    const auto r = stats.Read();
    EXPECT_EQ(r.WritesSucceeded, 0u);
    EXPECT_EQ(r.BytesWritten, 0u);
    EXPECT_EQ(r.LastWriteTime, 0u);
    EXPECT_EQ(r.StartTime, static_cast<std::uint64_t>(sim::SimClock::Now()));
    stats.Reset();
    EXPECT_EQ(stats.Read().StartTime, 0u);
}

}  // namespace
