#include "platform/kernel/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kernel_test.h"
#include "sim_registry.h"

namespace {

using namespace kernel;

UnicodeString Text(const char16_t* text) {
    return ConstantUnicodeString(text);
}

class KernelRegistryTest : public sim::KernelTest {
  protected:
    void SetUp() override {
        sim::KernelTest::SetUp();
        char pattern[] = "/tmp/vesk-kreg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(sim::Registry::Open(dir_ + "/registry.db"));
    }
    void TearDown() override {
        sim::Registry::Close();
        std::filesystem::remove_all(dir_);
        sim::KernelTest::TearDown();
    }
    std::string dir_;
};

TEST_F(KernelRegistryTest, CreatesAndOpensKeysByAbsoluteOrRelativePath) {
    RegistryKey* service = nullptr;
    bool created = false;
    ASSERT_EQ(CreateRegistryKey(
                  nullptr, Text(u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\V"),
                  &service, &created),
              STATUS_SUCCESS);
    EXPECT_TRUE(created);
    RegistryKey* rules = nullptr;
    ASSERT_EQ(CreateRegistryKey(service, Text(u"Options\\Rules"), &rules, &created),
              STATUS_SUCCESS);
    EXPECT_TRUE(created);
    ASSERT_EQ(SetValueKey(rules, Text(u"x"), REG_DWORD, "\1\0\0\0", 4), STATUS_SUCCESS);
    CloseRegistryKey(rules);
    CloseRegistryKey(service);

    RegistryKey* again = nullptr;
    ASSERT_EQ(OpenRegistryKey(nullptr,
                              Text(u"\\REGISTRY\\machine\\system\\currentcontrolset\\services\\v"
                                   u"\\OPTIONS\\rules"),
                              &again),
              STATUS_SUCCESS);
    std::uint8_t buffer[64];
    std::uint32_t length = 0;
    ASSERT_EQ(QueryValueKey(again, Text(u"X"), buffer, sizeof buffer, &length), STATUS_SUCCESS);
    CloseRegistryKey(again);

    RegistryKey* key = nullptr;
    EXPECT_EQ(OpenRegistryKey(nullptr, Text(u"\\Registry\\Machine\\Nothing"), &key),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(CreateRegistryKey(nullptr, Text(u"\\Machine\\X"), &key),
              STATUS_OBJECT_PATH_SYNTAX_BAD);
    EXPECT_EQ(CreateRegistryKey(nullptr, Text(u"\\Registry\\A\\\\B"), &key),
              STATUS_OBJECT_NAME_INVALID);

    sim::Registry::Close();
    EXPECT_EQ(CreateRegistryKey(nullptr, Text(u"\\Registry\\Machine"), &key),
              STATUS_REGISTRY_IO_FAILED);
}

// The full-information record: fixed part, name, data at an aligned offset; a buffer too small
// for the whole record still receives the fixed part, and a smaller one nothing.
TEST_F(KernelRegistryTest, EnumeratesValuesIntoBuffersOfEverySize) {
    RegistryKey* key = nullptr;
    ASSERT_EQ(CreateRegistryKey(nullptr, Text(u"\\Registry\\Machine\\Rules"), &key),
              STATUS_SUCCESS);
    const std::uint8_t data[28] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                   15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28};
    ASSERT_EQ(SetValueKey(key, Text(u"D:\\A*"), REG_BINARY, data, sizeof data), STATUS_SUCCESS);
    ASSERT_EQ(SetValueKey(key, Text(u"second"), REG_SZ, nullptr, 0), STATUS_SUCCESS);

    const std::uint32_t whole = 20 + 10 + 2 /* alignment */ + 28;
    std::vector<std::uint8_t> buffer(whole, 0xEE);
    std::uint32_t needed = 0;

    EXPECT_EQ(EnumerateValueKey(key, 0, buffer.data(), 19, &needed), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, whole);
    EXPECT_EQ(buffer[0], 0xEE);

    EXPECT_EQ(EnumerateValueKey(key, 0, buffer.data(), whole - 1, &needed), STATUS_BUFFER_OVERFLOW);
    KeyValueFullInformation fixed;
    std::memcpy(&fixed, buffer.data(), 20);
    EXPECT_EQ(fixed.Type, REG_BINARY);
    EXPECT_EQ(fixed.DataLength, 28u);
    EXPECT_EQ(fixed.NameLength, 10u);

    ASSERT_EQ(EnumerateValueKey(key, 0, buffer.data(), whole, &needed), STATUS_SUCCESS);
    std::memcpy(&fixed, buffer.data(), 20);
    EXPECT_EQ(fixed.DataOffset, 32u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + 20), 5), u"D:\\A*");
    EXPECT_EQ(std::memcmp(buffer.data() + fixed.DataOffset, data, sizeof data), 0);

    ASSERT_EQ(EnumerateValueKey(key, 1, buffer.data(), whole, &needed), STATUS_SUCCESS);
    EXPECT_EQ(needed, 20u + 12u);
    EXPECT_EQ(EnumerateValueKey(key, 2, buffer.data(), whole, &needed), STATUS_NO_MORE_ENTRIES);

    EXPECT_EQ(DeleteValueKey(key, Text(u"d:\\a*")), STATUS_SUCCESS);
    EXPECT_EQ(DeleteValueKey(key, Text(u"d:\\a*")), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(QueryValueKey(key, Text(u"d:\\a*"), buffer.data(), whole, &needed),
              STATUS_OBJECT_NAME_NOT_FOUND);
    const std::u16string tooLong(16384, u'n');
    UnicodeString longName{static_cast<std::uint16_t>(tooLong.size() * 2),
                           static_cast<std::uint16_t>(tooLong.size() * 2),
                           const_cast<char16_t*>(tooLong.data())};
    EXPECT_EQ(SetValueKey(key, longName, REG_BINARY, data, sizeof data), STATUS_INVALID_PARAMETER);
    CloseRegistryKey(key);
}

}  // namespace
