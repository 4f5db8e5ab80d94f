// A driver image: the shared object the host loads for a service and the entry it calls.
//
// The image's platform symbols (the kernel and filter-manager routines) resolve against the host
// executable, which exports them; the image itself exports one C entry, "DriverEntry", taking the
// driver object and the service's registry path, as the platform's loader calls every driver.
#pragma once

#include <string>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk_host {

using DriverEntryRoutine = kernel::NTSTATUS (*)(flt::DriverObject* driverObject,
                                                const kernel::UnicodeString* registryPath);

class DriverImage {
  public:
    DriverImage() = default;
    DriverImage(const DriverImage&) = delete;
    DriverImage& operator=(const DriverImage&) = delete;
    ~DriverImage() { Close(); }

    // Maps the image and finds its entry. STATUS_OBJECT_NAME_NOT_FOUND when the file does not
    // exist, STATUS_INVALID_IMAGE_FORMAT when it is not a loadable image of this platform (the
    // loader's reason is in *detail), STATUS_ENTRYPOINT_NOT_FOUND without "DriverEntry".
    kernel::NTSTATUS Open(const std::string& path, std::string* detail);
    DriverEntryRoutine Entry() const { return entry_; }
    bool IsOpen() const { return handle_ != nullptr; }
    // Unmaps the image. Only after the driver's unload (or a failed entry): nothing of it may run.
    void Close();

  private:
    void* handle_ = nullptr;
    DriverEntryRoutine entry_ = nullptr;
};

}  // namespace vesk_host
