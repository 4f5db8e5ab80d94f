// Set-information requests: each class's record, renames and links with their destination names
// and the stream's name after them, and requests whose buffers are too short.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "capture_test_support.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;

// A rename or link request buffer.
std::vector<std::uint8_t> RenameBuffer(bool replace, const std::u16string& name) {
    std::vector<std::uint8_t> buffer(offsetof(flt::RenameInformation, fileName) + name.size() * 2);
    auto* info = reinterpret_cast<flt::RenameInformation*>(buffer.data());
    info->replaceIfExists = replace ? 1 : 0;
    info->rootDirectory = nullptr;
    info->fileNameLength = static_cast<std::uint32_t>(name.size() * 2);
    std::memcpy(buffer.data() + offsetof(flt::RenameInformation, fileName), name.data(),
                name.size() * 2);
    return buffer;
}

std::vector<std::uint8_t> LinkPayload(bool replace, const std::u16string& target,
                                      std::uint16_t prefix) {
    return Concat({Bytes(wire::LinkPayloadHeader{
                       replace ? 1u : 0u, static_cast<std::uint16_t>(target.size() * 2), prefix}),
                   TextBytes(target, true)});
}

class SetInformationCaptureTest : public CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        file_ = Open(u"\\dir\\old.txt");
        Created(file_);
    }

    void Set(std::uint32_t informationClass, std::vector<std::uint8_t>& buffer,
             NTSTATUS status = STATUS_SUCCESS, std::function<void(flt::CallbackData&)> fs = {}) {
        Operation op(flt::MajorFunction::SetInformation, file_);
        op.iopb.parameters.setInformation = {static_cast<std::uint32_t>(buffer.size()),
                                             informationClass, buffer.data()};
        op.finalStatus = status;
        op.fileSystem = std::move(fs);
        FilterManager::Run(op);
    }

    ExpectedRecord Record(std::uint32_t operation, NTSTATUS status,
                          std::vector<std::uint8_t> payload,
                          const std::u16string& path = u"\\dir\\old.txt") {
        ExpectedRecord expected;
        expected.operation = operation;
        expected.status = status;
        expected.name = std::u16string(kVolume) + path;
        expected.prefix = kVolumeChars;
        expected.volumeId = VolumeId();
        expected.fileObjectId = flt::FileObjectIdentity(file_);
        expected.payload = std::move(payload);
        return expected;
    }

    // The name the next record of the open file carries.
    std::u16string NameOfNextRecord() {
        Operation flush(flt::MajorFunction::FlushBuffers, file_);
        FilterManager::Run(flush);
        auto record = Receive();
        return record ? record->name : u"(none)";
    }

    flt::FileObject* file_ = nullptr;
};

TEST_F(SetInformationCaptureTest, EachClassArrivesAsItsExactRecord) {
    const flt::BasicInformation times{1000, 2000, -1, 0, 0x21};
    const flt::BasicInformation timesOnly{0, 0, 3000, 4000, 0};
    const std::int64_t size = 0x123456789;
    struct Case {
        const char* what;
        std::uint32_t informationClass;
        std::vector<std::uint8_t> buffer;
        NTSTATUS status;
        std::uint32_t operation;  // 0: nothing
        std::vector<std::uint8_t> payload;
    };
    const Case cases[] = {
        {"times and attributes", flt::FileBasicInformation, Bytes(times), STATUS_SUCCESS,
         wire::VeskOpBasic, Bytes(wire::BasicPayload{1000, 2000, -1, 0, 0x24})},
        {"times without attributes", flt::FileBasicInformation, Bytes(timesOnly), STATUS_SUCCESS,
         wire::VeskOpBasic, Bytes(wire::BasicPayload{0, 0, 3000, 4000, 0})},
        {"delete on close",
         flt::FileDispositionInformation,
         {1},
         STATUS_SUCCESS,
         wire::VeskOpDelete,
         {}},
        {"delete flag cleared", flt::FileDispositionInformation, {0}, STATUS_SUCCESS, 0, {}},
        {"position", flt::FilePositionInformation, Bytes(size), STATUS_SUCCESS,
         wire::VeskOpPosition, Bytes(size)},
        {"allocation", flt::FileAllocationInformation, Bytes(size), STATUS_SUCCESS,
         wire::VeskOpAllocation, Bytes(size)},
        {"failed end of file", flt::FileEndOfFileInformation, Bytes(size),
         static_cast<NTSTATUS>(0xC000007F), wire::VeskOpSize, Bytes(size)},
        {"valid data length", flt::FileValidDataLengthInformation, Bytes(size), STATUS_SUCCESS,
         wire::VeskOpValidLength, Bytes(size)},
        {"a class nobody reports", 5, Bytes(size), STATUS_SUCCESS, 0, {}},
        {"end of file with a short buffer",
         flt::FileEndOfFileInformation,
         {1, 2, 3, 4},
         STATUS_SUCCESS,
         0,
         {}},
        {"times with a short buffer",
         flt::FileBasicInformation,
         std::vector<std::uint8_t>(35),
         STATUS_SUCCESS,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> buffer = c.buffer;
        Set(c.informationClass, buffer, c.status);
        if (c.operation == 0) {
            EXPECT_TRUE(NothingMoreQueued());
        } else {
            EXPECT_TRUE(Matches(Receive(), Record(c.operation, c.status, c.payload)));
        }
    }
}

TEST_F(SetInformationCaptureTest, RenameReportsOldAndNewNameAndLaterRecordsUseTheNewOne) {
    std::vector<std::uint8_t> buffer = RenameBuffer(true, u"new.txt");
    Set(flt::FileRenameInformation, buffer);
    const std::u16string target = std::u16string(kVolume) + u"\\dir\\new.txt";
    EXPECT_TRUE(Matches(Receive(), Record(wire::VeskOpRename, STATUS_SUCCESS,
                                          LinkPayload(true, target, kVolumeChars))));
    EXPECT_EQ(NameOfNextRecord(), target);
    Operation write(flt::MajorFunction::Write, file_);
    FilterManager::Run(write);
    EXPECT_TRUE(Matches(Receive(),
                        Record(wire::VeskOpWrite, STATUS_SUCCESS,
                               Bytes(wire::TransferPayload{0, 0, 0, 0, 1, 0}), u"\\dir\\new.txt")));
}

TEST_F(SetInformationCaptureTest, LinkGivesTheOpenFileTheLinksName) {
    const std::u16string target = std::u16string(kVolume) + u"\\other\\link.txt";
    std::vector<std::uint8_t> buffer = RenameBuffer(false, target);
    Set(flt::FileLinkInformation, buffer);
    EXPECT_TRUE(Matches(Receive(), Record(wire::VeskOpLink, STATUS_SUCCESS,
                                          LinkPayload(false, target, kVolumeChars))));
    EXPECT_EQ(NameOfNextRecord(), target);
}

TEST_F(SetInformationCaptureTest, FailedRenameIsReportedAndChangesNoName) {
    std::vector<std::uint8_t> buffer = RenameBuffer(false, u"taken.txt");
    Set(flt::FileRenameInformation, buffer, static_cast<NTSTATUS>(0xC0000035));
    const std::u16string target = std::u16string(kVolume) + u"\\dir\\taken.txt";
    EXPECT_TRUE(Matches(Receive(), Record(wire::VeskOpRename, static_cast<NTSTATUS>(0xC0000035),
                                          LinkPayload(false, target, kVolumeChars))));
    EXPECT_EQ(NameOfNextRecord(), std::u16string(kVolume) + u"\\dir\\old.txt");
}

TEST_F(SetInformationCaptureTest, DestinationFromBeforeTheOperationStandsInAndWithoutBothNothing) {
    std::vector<std::uint8_t> buffer = RenameBuffer(false, u"moved.txt");
    // The platform names the destination before the rename only.
    Set(flt::FileRenameInformation, buffer, STATUS_SUCCESS, [](flt::CallbackData&) {
        FilterManager::FailDestinationNameQueries(STATUS_OBJECT_NAME_NOT_FOUND);
    });
    const std::u16string target = std::u16string(kVolume) + u"\\dir\\moved.txt";
    EXPECT_TRUE(Matches(Receive(), Record(wire::VeskOpRename, STATUS_SUCCESS,
                                          LinkPayload(false, target, kVolumeChars))));
    // Neither before nor after: no record, and the stream keeps the name it had.
    std::vector<std::uint8_t> again = RenameBuffer(false, u"lost.txt");
    Set(flt::FileRenameInformation, again);
    EXPECT_TRUE(NothingMoreQueued());
    FilterManager::FailDestinationNameQueries(0);
    EXPECT_EQ(NameOfNextRecord(), target);
}

TEST_F(SetInformationCaptureTest, RenameWhoseNameRunsPastItsBufferIsIgnored) {
    std::vector<std::uint8_t> buffer = RenameBuffer(false, u"x.txt");
    reinterpret_cast<flt::RenameInformation*>(buffer.data())->fileNameLength = 0x1000;
    Set(flt::FileRenameInformation, buffer);
    std::vector<std::uint8_t> stub(4);
    Set(flt::FileLinkInformation, stub);
    EXPECT_TRUE(NothingMoreQueued());
}

}  // namespace
}  // namespace vesk::testing
