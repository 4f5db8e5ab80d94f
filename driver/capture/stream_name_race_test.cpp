// The stream's name cache under concurrency: renames replacing the name, creates replacing the
// whole context and other operations taking their reference, all at once on one stream. Every
// reference taken must be a reference to a live record and every one must come back (run under
// the sanitizers, which catch the rest).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <thread>

#include "capture_test_support.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;

class StreamNameRaceTest : public CaptureTest {
  protected:
    void SetUp() override {
        categories_ = 0;  // the whole frame runs; nothing is queued
        CaptureTest::SetUp();
    }
};

TEST_F(StreamNameRaceTest, RenamesCreatesAndReadersOfOneStream) {
    flt::FileObject* renamer = Open(u"\\race.txt");
    flt::FileObject* reader = Open(u"\\race.txt");
    flt::FileObject* creator = Open(u"\\race.txt");
    Operation first(flt::MajorFunction::Create, renamer);
    first.information = 1;
    FilterManager::Run(first);
    ASSERT_TRUE(FilterManager::HasStreamContext(renamer));
    const std::int64_t names = LiveFileNameInformationRecords();
    constexpr int kRounds = 2000;

    auto renames = [&] {
        sim::World::SetCurrentThread(testThread_);
        for (int i = 0; i < kRounds; ++i) {
            const std::u16string name = (i % 2 == 0) ? u"a.txt" : u"b.txt";
            std::vector<std::uint8_t> buffer(offsetof(flt::RenameInformation, fileName) +
                                             name.size() * 2);
            auto* info = reinterpret_cast<flt::RenameInformation*>(buffer.data());
            info->fileNameLength = static_cast<std::uint32_t>(name.size() * 2);
            std::memcpy(buffer.data() + offsetof(flt::RenameInformation, fileName), name.data(),
                        name.size() * 2);
            Operation rename(flt::MajorFunction::SetInformation, renamer);
            rename.iopb.parameters.setInformation = {static_cast<std::uint32_t>(buffer.size()),
                                                     flt::FileRenameInformation, buffer.data()};
            FilterManager::Run(rename);
        }
    };
    auto reads = [&] {
        sim::World::SetCurrentThread(testThread_);
        for (int i = 0; i < kRounds; ++i) {
            Operation read(flt::MajorFunction::Read, reader);
            FilterManager::Run(read);
        }
    };
    auto creates = [&] {
        sim::World::SetCurrentThread(testThread_);
        for (int i = 0; i < kRounds; ++i) {
            Operation create(flt::MajorFunction::Create, creator);
            create.information = 1;
            FilterManager::Run(create);
        }
    };
    std::thread a(renames), b(reads), c(creates);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(LiveFileNameInformationRecords(), names)
        << "the stream holds one name; every other reference came back";
    // Nothing was queued (no category wanted), but every operation went through the frame.
    const wire::StatisticsReply statistics = Statistics();
    EXPECT_EQ(statistics.ReadsSucceeded, static_cast<std::uint64_t>(kRounds));
    EXPECT_EQ(statistics.CreatesSucceeded, static_cast<std::uint64_t>(kRounds) + 1);
}

}  // namespace
}  // namespace vesk::testing
