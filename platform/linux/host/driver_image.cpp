#include "driver_image.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace vesk_host {

kernel::NTSTATUS DriverImage::Open(const std::string& path, std::string* detail) {
    Close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *detail = path + ": no such image file";
        return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    }
    // RTLD_LOCAL: two images never see each other's symbols; RTLD_NOW: an image whose platform
    // routines the host lacks fails here, not in the middle of a file operation.
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        *detail = why != nullptr ? why : path;
        return kernel::STATUS_INVALID_IMAGE_FORMAT;
    }
    entry_ = reinterpret_cast<DriverEntryRoutine>(::dlsym(handle_, "DriverEntry"));
    if (entry_ == nullptr) {
        *detail = path + ": the image has no DriverEntry";
        Close();
        return kernel::STATUS_ENTRYPOINT_NOT_FOUND;
    }
    return kernel::STATUS_SUCCESS;
}

void DriverImage::Close() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
    }
    handle_ = nullptr;
    entry_ = nullptr;
}

}  // namespace vesk_host
