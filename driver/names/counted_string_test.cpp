#include "counted_string.h"

#include <gtest/gtest.h>

#include "core/pool_tags.h"
#include "kernel_test.h"
#include "platform/kernel/pool_accounting.h"

namespace {

using namespace kernel;
using namespace vesk::driver;

class CountedStringTest : public sim::KernelTest {};

// The block (text and zero) must stay below 0xFFF6 bytes.
TEST_F(CountedStringTest, RefusesCapacitiesAtTheLimit) {
    struct {
        std::uint32_t textBytes;
        bool allowed;
    } cases[] = {{0, true},       {1, true},       {0xFFF2, true},  {0xFFF3, false},
                 {0xFFF4, false}, {0xFFFF, false}, {0x10000, false}};
    for (const auto& c : cases) {
        UnicodeString* s = nullptr;
        const NTSTATUS status = AllocateCountedString(c.textBytes, PoolType::Paged, &s);
        EXPECT_EQ(NtSuccess(status), c.allowed) << c.textBytes;
        if (NtSuccess(status)) {
            EXPECT_EQ(s->Length, 0);
            EXPECT_GE(s->MaximumLength, c.textBytes + 2);
            EXPECT_LT(s->MaximumLength, kCountedStringCapacityLimit);
            EXPECT_EQ(s->Buffer[0], u'\0');
            FreeCountedString(s);
        } else {
            EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
        }
    }
}

TEST_F(CountedStringTest, ConcatenatesWithTheTrailingZeroOrFailsCleanly) {
    UnicodeString* s = nullptr;
    ASSERT_EQ(ConcatenateCountedString(u"\\Device\\X", u"\\DATA\\*", PoolType::Paged, &s),
              STATUS_SUCCESS);
    EXPECT_EQ(View(*s), u"\\Device\\X\\DATA\\*");
    EXPECT_EQ(s->Buffer[s->Length / 2], u'\0');
    FreeCountedString(s);

    FailNthPoolAllocation(vesk::driver::kTagString, 1);
    EXPECT_EQ(ConcatenateCountedString(u"a", u"b", PoolType::Paged, &s),
              STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(CountedStringTest, FormatsWithinTheBufferOrReportsOverflow) {
    char16_t buffer[12];
    UnicodeString s{0, sizeof buffer, buffer};
    ASSERT_EQ(FormatCountedString(&s, "%08X-%u", 0xABCU, 7U), STATUS_SUCCESS);  // 10 + zero
    EXPECT_EQ(View(s), u"00000ABC-7");
    EXPECT_EQ(buffer[10], u'\0');

    ASSERT_EQ(FormatCountedString(&s, "%08X-%u", 0xABCU, 77U), STATUS_SUCCESS);  // 11 + zero
    EXPECT_EQ(FormatCountedString(&s, "%08X-%u", 0xABCU, 777U), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(s.Length, 0);
}

}  // namespace
