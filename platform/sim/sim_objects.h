// The simulated object namespace: the drive letters, logon-session drives and redirector devices
// a test needs. Tests that use it call Reset in their SetUp.
#pragma once

#include <string>

#include "platform/kernel/device_map.h"
#include "platform/kernel/status.h"
#include "platform/kernel/token.h"

namespace sim {

class Objects {
  public:
    static void Reset();

    // A named object that is not a link, such as "\Device\HarddiskVolume2" or "\Device\Mup".
    static void AddDevice(const std::u16string& name);
    static void AddLink(const std::u16string& name, const std::u16string& target);
    static void Remove(const std::u16string& name);

    // A global drive: "\GLOBAL??\X:" -> target.
    static void AddDrive(char16_t letter, const std::u16string& target,
                         kernel::DriveType type = kernel::DRIVE_FIXED);
    // A drive of one logon session only: "\Sessions\0\DosDevices\HHHHHHHH-LLLLLLLL\X:" -> target.
    static void AddLogonDrive(const kernel::Luid& logonId, char16_t letter,
                              const std::u16string& target,
                              kernel::DriveType type = kernel::DRIVE_REMOTE);

    // A network redirector reached through the multiple UNC provider: the device "\Device\Mup"
    // and the link "\Device\<component>" -> "\Device\Mup\;<component>".
    static void AddRedirector(const std::u16string& component);

    static void FailDeviceMapQueries(kernel::NTSTATUS status);
};

}  // namespace sim
