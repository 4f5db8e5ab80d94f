#include "wire_encodings.h"

#include <gtest/gtest.h>

namespace {

using namespace vesk::wire;

TEST(WireEncodingsTest, CreateOptionsMapEachListedBitAndDropTheRest) {
    struct Case {
        std::uint32_t request;
        std::uint32_t wire;
    };
    const Case cases[] = {
        {0x00000001, 0x00000001},  // directory
        {0x00000040, 0x00000002},  // non-directory
        {0x00000800, 0x00000010},  // random access
        {0x00200000, 0x00000800},  // open reparse point
        {0x00010000, 0x00008000},  // open requiring oplock
        {0x00000400, 0x00100000},  // open remote instance
        {0x00020000, 0x00200000},  // disallow exclusive
        {0x00000021, 0x00000081},  // two bits at once
        {0x01000000, 0},           // above the low 24 bits
        {0x00040000, 0},           // a request bit the table does not list
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeCreateOptions(c.request), c.wire) << std::hex << c.request;
    }
}

TEST(WireEncodingsTest, EveryTableDecodesWhatItEncodes) {
    for (auto table : {CreateOptionBits(), FileAttributeBits(), VolumeFlagBits()}) {
        std::uint32_t allWire = 0;
        for (const BitMapping& m : table) {
            EXPECT_EQ(EncodeBits(table, m.platform), m.wire);
            EXPECT_EQ(DecodeBits(table, m.wire), m.platform);
            EXPECT_EQ(allWire & m.wire, 0u) << "two platform bits share a wire bit";
            allWire |= m.wire;
        }
    }
}

TEST(WireEncodingsTest, AttributesDropUnlistedBits) {
    EXPECT_EQ(EncodeFileAttributes(0x00000080), 0x0001u);               // normal
    EXPECT_EQ(EncodeFileAttributes(0x00000010 | 0x00000001), 0x0022u);  // directory, read-only
    EXPECT_EQ(EncodeFileAttributes(0x00000040), 0u);                    // device
    EXPECT_EQ(EncodeFileAttributes(0x00008000), 0u);                    // integrity stream
}

TEST(WireEncodingsTest, DispositionsAndResults) {
    // platform: supersede 0, open 1, create 2, open-if 3, overwrite 4, overwrite-if 5
    const std::uint32_t wireOfPlatform[] = {2, 3, 1, 4, 5, 6};
    for (std::uint32_t platform = 0; platform < 6; ++platform) {
        EXPECT_EQ(EncodeDisposition(platform), wireOfPlatform[platform]);
        EXPECT_EQ(DecodeDisposition(wireOfPlatform[platform]), platform);
    }
    EXPECT_EQ(EncodeDisposition(6), 0u);
    EXPECT_EQ(DecodeDisposition(0), 1u);  // anything else opens
    EXPECT_EQ(DecodeDisposition(7), 1u);

    // completion information: superseded 0, opened 1, created 2, overwritten 3, exists 4,
    // does not exist 5
    const std::uint32_t wireOfInformation[] = {4, 2, 1, 3, 5, 6};
    for (std::uint32_t info = 0; info < 6; ++info) {
        EXPECT_EQ(EncodeCreateResult(info), wireOfInformation[info]);
        EXPECT_EQ(DecodeCreateResult(wireOfInformation[info]), info);
    }
    EXPECT_EQ(EncodeCreateResult(6), 0u);
    EXPECT_EQ(EncodeCreateResult(0x100000000ULL), 0u);
}

TEST(WireEncodingsTest, DeviceTypes) {
    struct Case {
        std::uint32_t platform;
        std::uint32_t wire;
    };
    for (const Case& c : {Case{0x08, 1}, Case{0x20, 2}, Case{0x03, 3}, Case{0x14, 4},
                          Case{0x35, 5}, Case{0x07, 0}, Case{0x02, 0}}) {
        EXPECT_EQ(EncodeDeviceType(c.platform), c.wire) << c.platform;
    }
}

TEST(WireEncodingsTest, FileSystemTypesSwapNtfsAndFat) {
    EXPECT_EQ(EncodeFileSystemType(2), VeskFsNtfs);
    EXPECT_EQ(EncodeFileSystemType(3), VeskFsFat);
    EXPECT_EQ(VeskFsNtfs, 3u);
    EXPECT_EQ(VeskFsFat, 2u);
    for (std::uint32_t platform = 4; platform <= 24; ++platform) {
        EXPECT_EQ(EncodeFileSystemType(platform), platform);
        EXPECT_EQ(DecodeFileSystemType(platform), platform);
    }
    EXPECT_EQ(EncodeFileSystemType(25), VeskFsUnknown);
    EXPECT_EQ(DecodeFileSystemType(VeskFsVirtualBox), 0u);
}

}  // namespace
