// Base fixture of every test that runs kernel code on the simulated platform. Each test starts
// in a fresh world (system process, one test process with one bound thread, the clock at its
// start) and must end with every pool block freed and every object reference given back.
#pragma once

#include <gtest/gtest.h>

#include "platform/kernel/process.h"
#include "platform/kernel/token.h"
#include "sim_clock.h"
#include "sim_world.h"

namespace sim {

class KernelTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kTestProcessId = 1200;
    static constexpr std::uint32_t kTestThreadId = 1201;
    static constexpr std::uint32_t kTestSessionId = 1;
    static constexpr kernel::Luid kTestLogonId{0x12345, 0};
    static constexpr const char* kTestUserSid = "S-1-5-21-1000-2000-3000-1001";

    void SetUp() override;
    void TearDown() override;

    kernel::Token* testToken_ = nullptr;
    kernel::Process* testProcess_ = nullptr;
    kernel::Thread* testThread_ = nullptr;

private:
    std::int64_t liveNameRecords_ = 0;
};

}  // namespace sim
