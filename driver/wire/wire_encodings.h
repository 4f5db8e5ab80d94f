// The wire encodings of platform values carried in notifications: create options, file
// attributes, dispositions, create results, volume flags, device types and file-system types.
// Each is a table of data that is read in both directions: the driver encodes what it captured,
// and the file services and the engine library decode the same tables backwards.
#pragma once

#include <cstdint>
#include <span>

namespace vesk::wire {

struct BitMapping {
    std::uint32_t platform;
    std::uint32_t wire;
};

std::span<const BitMapping> CreateOptionBits();
std::span<const BitMapping> FileAttributeBits();
std::span<const BitMapping> VolumeFlagBits();

// Maps every set bit that a table lists; unlisted bits are dropped.
std::uint32_t EncodeBits(std::span<const BitMapping> table, std::uint32_t platformValue);
std::uint32_t DecodeBits(std::span<const BitMapping> table, std::uint32_t wireValue);

// Only the low 24 bits of a request's create options are considered.
std::uint32_t EncodeCreateOptions(std::uint32_t requestOptions);
std::uint32_t EncodeFileAttributes(std::uint32_t platformAttributes);
std::uint32_t EncodeVolumeFlags(std::uint32_t deviceCharacteristics);

// Platform create dispositions (supersede 0 ... overwrite-if 5) and their wire values (1 ... 6).
constexpr std::uint32_t kPlatformDispositionCount = 6;
std::uint32_t EncodeDisposition(std::uint32_t platformDisposition);  // 0 for anything else
// Wire 1 ... 6 back to the platform value; any other wire value means "open".
std::uint32_t DecodeDisposition(std::uint32_t wireDisposition);

// Completion information of a create (superseded 0 ... does not exist 5) and the wire result.
std::uint32_t EncodeCreateResult(std::uint64_t information);  // 0 for anything else
std::uint32_t DecodeCreateResult(std::uint32_t wireResult);   // ~0u when not a wire result

// Device types of volumes.
std::uint32_t EncodeDeviceType(std::uint32_t platformDeviceType);  // 0 for anything else

// The platform's file-system type numbers and the wire's, which swap NTFS and FAT and add the
// shared-folder file systems (which the platform reports as unknown; the caller tells them apart).
enum WireFileSystemType : std::uint32_t {
    VeskFsUnknown = 0,
    VeskFsRaw = 1,
    VeskFsFat = 2,
    VeskFsNtfs = 3,
    VeskFsCdfs = 4,
    VeskFsUdfs = 5,
    VeskFsLanman = 6,
    VeskFsWebDav = 7,
    VeskFsRdpdr = 8,
    VeskFsNfs = 9,
    VeskFsMsNetware = 10,
    VeskFsNetware = 11,
    VeskFsBsudf = 12,
    VeskFsMup = 13,
    VeskFsRsfx = 14,
    VeskFsRoxioUdf1 = 15,
    VeskFsRoxioUdf2 = 16,
    VeskFsRoxioUdf3 = 17,
    VeskFsTacit = 18,
    VeskFsRecognizer = 19,
    VeskFsIncd = 20,
    VeskFsIncdFat = 21,
    VeskFsExfat = 22,
    VeskFsPsfs = 23,
    VeskFsGpfs = 24,
    VeskFsVirtualBox = 25,
    VeskFsVmware = 26,
};
std::uint32_t EncodeFileSystemType(std::uint32_t platformFileSystemType);
std::uint32_t DecodeFileSystemType(std::uint32_t wireFileSystemType);

}  // namespace vesk::wire
