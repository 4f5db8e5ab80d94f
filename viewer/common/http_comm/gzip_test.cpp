#include "http_comm/gzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace nimbrel {
namespace {

std::uint32_t LittleEndian32(std::string_view Bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(Bytes[static_cast<std::size_t>(i)]);
    }
    return value;
}

TEST(Gzip, WritesTheRfc1952WrapperAtMaximumCompression) {
    const std::string text = "<root><id>0</id><command>XmlGetFiles</command></root>";
    const std::string gz = GzipCompress(text);
    ASSERT_GT(gz.size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(gz[0]), 0x1F);
    EXPECT_EQ(static_cast<unsigned char>(gz[1]), 0x8B);
    EXPECT_EQ(gz[2], 8);  // deflate
    EXPECT_EQ(gz[8], 2);  // extra flags: slowest, best compression
    // The trailer: CRC-32 and length of the original bytes.
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
    EXPECT_EQ(LittleEndian32(gz.substr(gz.size() - 8, 4)), crc);
    EXPECT_EQ(LittleEndian32(gz.substr(gz.size() - 4, 4)), text.size());
    EXPECT_EQ(GzipDecompress(gz), text);
}

TEST(Gzip, RoundTripsLargeAndEmptyBodies) {
    std::string big;
    for (int i = 0; i < 200000; ++i) {
        big += std::to_string(i * 7919 % 100003);
    }
    EXPECT_EQ(GzipDecompress(GzipCompress(big)), big);
    EXPECT_EQ(GzipDecompress(GzipCompress("")), "");
    EXPECT_EQ(GzipDecompress(""), "");
    EXPECT_EQ(GzipDecompress(GzipCompress("ab") + GzipCompress("cd")), "abcd");
}

TEST(Gzip, RejectsWhatIsNoCompleteGzipData) {
    const std::string gz = GzipCompress(std::string(1000, 'x'));
    std::string corrupt = gz;
    corrupt[12] = static_cast<char>(corrupt[12] ^ 0xFF);
    std::string zlibWrapped(compressBound(3), '\0');
    uLongf size = zlibWrapped.size();
    compress2(reinterpret_cast<Bytef*>(zlibWrapped.data()), &size,
              reinterpret_cast<const Bytef*>("abc"), 3, 9);
    zlibWrapped.resize(size);
    for (const std::string& bad :
         {gz.substr(0, gz.size() - 5), corrupt, zlibWrapped, std::string("<root/>"), gz + "junk"}) {
        EXPECT_THROW(GzipDecompress(bad), ECompressionError);
    }
}

}  // namespace
}  // namespace nimbrel
