#include "wire_encodings.h"

#include <array>

namespace vesk::wire {
namespace {

constexpr std::array<BitMapping, 22> kCreateOptions{{
    {0x00000001, 0x00000001},  // directory file
    {0x00000040, 0x00000002},  // non-directory file
    {0x00000002, 0x00000004},  // write through
    {0x00000004, 0x00000008},  // sequential only
    {0x00000800, 0x00000010},  // random access
    {0x00000008, 0x00000020},  // no intermediate buffering
    {0x00000010, 0x00000040},  // synchronous I/O, alertable
    {0x00000020, 0x00000080},  // synchronous I/O, non-alertable
    {0x00000080, 0x00000100},  // create tree connection
    {0x00000100, 0x00000200},  // complete if oplocked
    {0x00000200, 0x00000400},  // no EA knowledge
    {0x00200000, 0x00000800},  // open reparse point
    {0x00001000, 0x00001000},  // delete on close
    {0x00002000, 0x00002000},  // open by file id
    {0x00004000, 0x00004000},  // open for backup intent
    {0x00010000, 0x00008000},  // open requiring oplock
    {0x00100000, 0x00010000},  // reserve opfilter
    {0x00400000, 0x00020000},  // open no recall
    {0x00800000, 0x00040000},  // open for free-space query
    {0x00008000, 0x00080000},  // no compression
    {0x00000400, 0x00100000},  // open remote instance
    {0x00020000, 0x00200000},  // disallow exclusive
}};

constexpr std::array<BitMapping, 14> kFileAttributes{{
    {0x00000080, 0x0001},  // normal
    {0x00000010, 0x0002},  // directory
    {0x00000020, 0x0004},  // archive
    {0x00000004, 0x0008},  // system
    {0x00000002, 0x0010},  // hidden
    {0x00000001, 0x0020},  // read-only
    {0x00000100, 0x0040},  // temporary
    {0x00000800, 0x0080},  // compressed
    {0x00004000, 0x0100},  // encrypted
    {0x00002000, 0x0200},  // not content indexed
    {0x00000400, 0x0400},  // reparse point
    {0x00000200, 0x0800},  // sparse file
    {0x00010000, 0x1000},  // virtual
    {0x00001000, 0x2000},  // offline
}};

constexpr std::array<BitMapping, 8> kVolumeFlags{{
    {0x00000002, 0x01},  // read-only device
    {0x00000004, 0x02},  // floppy diskette
    {0x00000001, 0x04},  // removable media
    {0x00000008, 0x08},  // write-once media
    {0x00000040, 0x10},  // virtual volume
    {0x00000010, 0x20},  // remote device
    {0x00001000, 0x40},  // terminal-services device
    {0x00002000, 0x80},  // WebDAV device
}};

// Index: the wire value minus one; value: the platform value.
constexpr std::array<std::uint32_t, 6> kDispositions{
    2,  // 1 create
    0,  // 2 supersede
    1,  // 3 open
    3,  // 4 open if
    4,  // 5 overwrite
    5,  // 6 overwrite if
};

// Index: the wire result minus one; value: the completion information.
constexpr std::array<std::uint32_t, 6> kCreateResults{
    2,  // 1 created
    1,  // 2 opened
    3,  // 3 overwritten
    0,  // 4 superseded
    4,  // 5 exists
    5,  // 6 does not exist
};

struct ValueMapping {
    std::uint32_t platform;
    std::uint32_t wire;
};

constexpr std::array<ValueMapping, 5> kDeviceTypes{{
    {0x00000008, 1},  // disk file system
    {0x00000020, 2},  // tape file system
    {0x00000003, 3},  // CD-ROM file system
    {0x00000014, 4},  // network file system
    {0x00000035, 5},  // DFS file system
}};

// The platform's file-system type enumeration (0 unknown ... 24 GPFS) against the wire's, which
// exchanges NTFS and FAT.
constexpr std::array<ValueMapping, 25> kFileSystemTypes{{
    {0, VeskFsUnknown},    {1, VeskFsRaw},         {2, VeskFsNtfs},        {3, VeskFsFat},
    {4, VeskFsCdfs},       {5, VeskFsUdfs},        {6, VeskFsLanman},      {7, VeskFsWebDav},
    {8, VeskFsRdpdr},      {9, VeskFsNfs},         {10, VeskFsMsNetware},  {11, VeskFsNetware},
    {12, VeskFsBsudf},     {13, VeskFsMup},        {14, VeskFsRsfx},       {15, VeskFsRoxioUdf1},
    {16, VeskFsRoxioUdf2}, {17, VeskFsRoxioUdf3},  {18, VeskFsTacit},      {19, VeskFsRecognizer},
    {20, VeskFsIncd},      {21, VeskFsIncdFat},    {22, VeskFsExfat},      {23, VeskFsPsfs},
    {24, VeskFsGpfs},
}};

}  // namespace

std::span<const BitMapping> CreateOptionBits() { return kCreateOptions; }
std::span<const BitMapping> FileAttributeBits() { return kFileAttributes; }
std::span<const BitMapping> VolumeFlagBits() { return kVolumeFlags; }

std::uint32_t EncodeBits(std::span<const BitMapping> table, std::uint32_t platformValue) {
    std::uint32_t wire = 0;
    for (const BitMapping& m : table) {
        if ((platformValue & m.platform) != 0) {
            wire |= m.wire;
        }
    }
    return wire;
}

std::uint32_t DecodeBits(std::span<const BitMapping> table, std::uint32_t wireValue) {
    std::uint32_t platform = 0;
    for (const BitMapping& m : table) {
        if ((wireValue & m.wire) != 0) {
            platform |= m.platform;
        }
    }
    return platform;
}

std::uint32_t EncodeCreateOptions(std::uint32_t requestOptions) {
    return EncodeBits(kCreateOptions, requestOptions & 0x00FFFFFF);
}

std::uint32_t EncodeFileAttributes(std::uint32_t platformAttributes) {
    return EncodeBits(kFileAttributes, platformAttributes);
}

std::uint32_t EncodeVolumeFlags(std::uint32_t deviceCharacteristics) {
    return EncodeBits(kVolumeFlags, deviceCharacteristics);
}

std::uint32_t EncodeDisposition(std::uint32_t platformDisposition) {
    for (std::uint32_t i = 0; i < kDispositions.size(); ++i) {
        if (kDispositions[i] == platformDisposition) {
            return i + 1;
        }
    }
    return 0;
}

std::uint32_t DecodeDisposition(std::uint32_t wireDisposition) {
    if (wireDisposition >= 1 && wireDisposition <= kDispositions.size()) {
        return kDispositions[wireDisposition - 1];
    }
    return 1;  // open
}

std::uint32_t EncodeCreateResult(std::uint64_t information) {
    for (std::uint32_t i = 0; i < kCreateResults.size(); ++i) {
        if (kCreateResults[i] == information) {
            return i + 1;
        }
    }
    return 0;
}

std::uint32_t DecodeCreateResult(std::uint32_t wireResult) {
    if (wireResult >= 1 && wireResult <= kCreateResults.size()) {
        return kCreateResults[wireResult - 1];
    }
    return ~0u;
}

std::uint32_t EncodeDeviceType(std::uint32_t platformDeviceType) {
    for (const ValueMapping& m : kDeviceTypes) {
        if (m.platform == platformDeviceType) {
            return m.wire;
        }
    }
    return 0;
}

std::uint32_t EncodeFileSystemType(std::uint32_t platformFileSystemType) {
    for (const ValueMapping& m : kFileSystemTypes) {
        if (m.platform == platformFileSystemType) {
            return m.wire;
        }
    }
    return VeskFsUnknown;
}

std::uint32_t DecodeFileSystemType(std::uint32_t wireFileSystemType) {
    for (const ValueMapping& m : kFileSystemTypes) {
        if (m.wire == wireFileSystemType) {
            return m.platform;
        }
    }
    return 0;
}

}  // namespace vesk::wire
