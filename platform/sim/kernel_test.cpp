#include "kernel_test.h"

#include "platform/kernel/file_name_information.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"
#include "sim_fltmgr.h"

namespace sim {

void KernelTest::SetUp() {
    kernel::ResetPoolAccounting();
    liveNameRecords_ = kernel::LiveFileNameInformationRecords();
    World::Reset();
    FilterManager::Reset();
    SimClock::Reset();
    testToken_ = World::CreatePrimaryToken({kTestUserSid, kTestLogonId});
    testProcess_ = World::CreateProcess(kTestProcessId, kTestSessionId, testToken_);
    testThread_ = World::CreateThread(testProcess_, kTestThreadId);
    World::SetCurrentThread(testThread_);
}

void KernelTest::TearDown() {
    EXPECT_EQ(kernel::CurrentIrql(), kernel::PASSIVE_LEVEL) << "the test left the IRQL raised";
    EXPECT_EQ(kernel::DescribeOutstandingPool(), "") << "pool blocks left allocated";
    EXPECT_EQ(World::DescribeLeakedReferences(), "") << "object references not given back";
    EXPECT_EQ(FilterManager::DescribeLeaks(), "")
        << "filter-manager objects, handles or registrations left behind";
    EXPECT_EQ(kernel::LiveFileNameInformationRecords(), liveNameRecords_)
        << "file-name information references not given back";
    FilterManager::Reset();
}

}  // namespace sim
