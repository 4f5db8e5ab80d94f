// The driver image as the host will use it: a program that exports the Linux face loads vesk.sys,
// whose platform routines resolve against the program, calls its entry, and unloads the filter.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/linux/host_kernel.h"
#include "platform/kernel/unicode_string.h"

namespace {

using Entry = kernel::NTSTATUS (*)(flt::DriverObject*, const kernel::UnicodeString*);

TEST(DriverImage, LoadsAgainstTheHostAndRunsItsEntry) {
    char pattern[] = "/tmp/vesk-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    setenv("VESK_ROOT", pattern, 1);
    ASSERT_EQ(linux_host::StartKernel(), kernel::STATUS_SUCCESS);

    void* image = dlopen(VESK_DRIVER_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(image, nullptr) << dlerror();
    auto entry = reinterpret_cast<Entry>(dlsym(image, "DriverEntry"));
    ASSERT_NE(entry, nullptr);

    const std::u16string key =
        u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";
    const kernel::UnicodeString path{static_cast<std::uint16_t>(key.size() * 2),
                                     static_cast<std::uint16_t>(key.size() * 2),
                                     const_cast<char16_t*>(key.data())};
    EXPECT_EQ(entry(linux_host::DriverObject(), &path), kernel::STATUS_SUCCESS);
    flt::Filter* filter = linux_host::RegisteredFilter();
    ASSERT_NE(filter, nullptr) << "the image registered its filter with the host";
    EXPECT_EQ(linux_host::UnloadFilter(filter), kernel::STATUS_SUCCESS);
    EXPECT_EQ(linux_host::RegisteredFilter(), nullptr);
    linux_host::StopKernel();
    dlclose(image);
    std::filesystem::remove_all(pattern);
}

}  // namespace
