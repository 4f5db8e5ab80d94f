// What the capture tests share: a loaded, active driver with one local volume mounted before the
// client connected, and file objects opened on it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/fltmgr/callback_data.h"
#include "sim_fltmgr.h"
#include "startup/driver_entry.h"
#include "startup/loaded_driver_fixture.h"

namespace vesk::testing {

inline constexpr const char16_t* kVolume = u"\\Device\\HarddiskVolume2";
inline constexpr std::uint16_t kVolumeChars = 23;

class CaptureTest : public LoadedDriverTest {
  protected:
    void SetUp() override {
        LoadedDriverTest::SetUp();
        ASSERT_EQ(Load(), kernel::STATUS_SUCCESS);
        volume_ = MountVolume(kVolume);
        ConnectAndActivate(options_, categories_);
    }
    void TearDown() override {
        for (flt::FileObject* file : files_) {
            sim::FilterManager::CloseFileObject(file);
        }
        LoadedDriverTest::TearDown();
    }

    flt::FileObject* Open(const std::u16string& path) {
        flt::FileObject* file =
            sim::FilterManager::OpenFileObject(volume_, std::u16string(kVolume) + path);
        files_.push_back(file);
        return file;
    }

    // A successful create of the file, whose record the test takes (the stream gets its name).
    void Created(flt::FileObject* file) {
        sim::Operation create(flt::MajorFunction::Create, file);
        create.information = 1;
        ASSERT_EQ(sim::FilterManager::Run(create), sim::Outcome::Completed);
        auto record = Receive();
        ASSERT_TRUE(record);
        ASSERT_EQ(record->header.Operation, wire::VeskOpCreate);
    }

    std::uint32_t VolumeId() const { return flt::VolumeIdentity(volume_); }

    std::uint32_t options_ = 0;
    std::uint32_t categories_ = wire::VeskWantFileSystem | wire::VeskWantProcess;
    flt::Volume* volume_ = nullptr;
    std::vector<flt::FileObject*> files_;
};

}  // namespace vesk::testing
