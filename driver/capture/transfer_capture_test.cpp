// Reads, writes, the MDL pairs and flushes: payloads, data capture through each kind of buffer,
// transfers split at 64 MiB, counting once per operation.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <numeric>

#include "capture_test_support.h"
#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;
using sim::Outcome;

// How the transferred bytes reach the driver.
enum class Buffer { System, User, Mdl };

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), seed);
    return bytes;
}

wire::TransferPayload Transfer(std::int64_t offset, std::uint32_t requested, std::uint32_t key,
                               std::uint32_t length, std::uint32_t kind, std::uint32_t flags) {
    return wire::TransferPayload{offset, requested, key, length, kind, flags};
}

class TransferCaptureTest : public CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        file_ = Open(u"\\data.bin");
        Created(file_);
    }

    ExpectedRecord Record(std::uint32_t operation, NTSTATUS status,
                          std::vector<std::uint8_t> payload) {
        ExpectedRecord expected;
        expected.operation = operation;
        expected.status = status;
        expected.name = std::u16string(kVolume) + u"\\data.bin";
        expected.prefix = kVolumeChars;
        expected.volumeId = VolumeId();
        expected.fileObjectId = flt::FileObjectIdentity(file_);
        expected.payload = std::move(payload);
        return expected;
    }

    // A read or write of the buffer through the given path.
    void Prepare(Operation& op, Buffer kind, std::vector<std::uint8_t>& bytes, flt::Mdl* mdl) {
        auto& transfer = op.iopb.parameters.transfer;
        transfer.length = static_cast<std::uint32_t>(bytes.size());
        transfer.buffer = bytes.data();
        if (kind == Buffer::System) {
            op.data.flags |= flt::kFlagSystemBuffer;
        } else if (kind == Buffer::Mdl) {
            *mdl = flt::Mdl{nullptr, bytes.data(), static_cast<std::uint32_t>(bytes.size())};
            transfer.mdlAddress = mdl;
        }
    }

    flt::FileObject* file_ = nullptr;
};

TEST_F(TransferCaptureTest, ReadsAndWritesArriveWithTheirData) {
    struct Case {
        const char* what;
        flt::MajorFunction major;
        Buffer buffer;
        std::uint8_t operationFlags;
        NTSTATUS status;
        std::uint64_t transferred;
        std::uint32_t expectedFlags;
        bool data;
    };
    const Case cases[] = {
        {"read into a kernel buffer", flt::MajorFunction::Read, Buffer::System, 0, 0, 100, 0x8,
         true},
        {"read into a user buffer, locked and mapped", flt::MajorFunction::Read, Buffer::User, 0, 0,
         100, 0x8, true},
        {"write from a memory descriptor", flt::MajorFunction::Write, Buffer::Mdl, 0, 0, 64, 0x8,
         true},
        {"key and verify override", flt::MajorFunction::Write, Buffer::System, 0x3, 0, 10, 0xB,
         true},
        {"failed write carries no data", flt::MajorFunction::Write, Buffer::User, 0,
         static_cast<NTSTATUS>(0xC000007F), 0, 0, false},
        {"read past the end of the file", flt::MajorFunction::Read, Buffer::User, 0,
         static_cast<NTSTATUS>(0xC0000011), 0, 0, false},
        {"zero bytes moved", flt::MajorFunction::Read, Buffer::System, 0, 0, 0, 0, false},
        {"completion claims more than the buffer holds", flt::MajorFunction::Read, Buffer::System,
         0, 0, 5000, 0x8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = Pattern(100, 7);
        flt::Mdl mdl{};
        Operation op(c.major, file_);
        Prepare(op, c.buffer, bytes, &mdl);
        op.iopb.operationFlags = c.operationFlags;
        op.iopb.parameters.transfer.byteOffset = 0x12345678;
        op.iopb.parameters.transfer.key = 9;
        op.finalStatus = c.status;
        op.information = c.transferred;
        FilterManager::Run(op);
        const std::uint32_t carried =
            c.data ? static_cast<std::uint32_t>(std::min<std::uint64_t>(c.transferred, 100)) : 0;
        const std::uint32_t length = c.data ? carried : static_cast<std::uint32_t>(c.transferred);
        std::vector<std::uint8_t> data(bytes.begin(), bytes.begin() + carried);
        const std::uint32_t operation =
            c.major == flt::MajorFunction::Read ? wire::VeskOpRead : wire::VeskOpWrite;
        EXPECT_TRUE(Matches(
            Receive(),
            Record(
                operation, c.status,
                Concat({Bytes(Transfer(0x12345678, 100, 9, length, 1, c.expectedFlags)), data}))));
    }
    EXPECT_TRUE(NothingMoreQueued());
    const wire::StatisticsReply s = Statistics();
    EXPECT_EQ(s.ReadsSucceeded, 4u);
    EXPECT_EQ(s.ReadsFailed, 1u);
    EXPECT_EQ(s.WritesSucceeded, 2u);
    EXPECT_EQ(s.WritesFailed, 1u);
    EXPECT_EQ(s.BytesRead, 100u + 100 + 0 + 5000) << "counted as the completion says";
    EXPECT_EQ(s.BytesWritten, 74u);
}

TEST_F(TransferCaptureTest, MdlPairsReportTheirStartAndTheirCompletion) {
    std::vector<std::uint8_t> cache = Pattern(8192, 1);
    flt::Mdl chain{nullptr, cache.data(), 8192};
    struct Case {
        flt::MajorFunction major;
        std::uint64_t transferred;
        wire::TransferPayload expected;
        bool data;
    };
    const Case cases[] = {
        {flt::MajorFunction::MdlRead, 8192, Transfer(4096, 8192, 7, 8192, 2, 0x8), true},
        {flt::MajorFunction::MdlReadComplete, 0, Transfer(0, 0, 0, 0, 3, 0), false},
        {flt::MajorFunction::PrepareMdlWrite, 8192, Transfer(4096, 8192, 7, 8192, 2, 0x8), true},
        {flt::MajorFunction::MdlWriteComplete, 0, Transfer(4096, 0, 0, 0, 3, 0), false},
    };
    for (const Case& c : cases) {
        Operation op(c.major, file_);
        op.iopb.parameters.mdlTransfer = {4096, 8192, 7, &chain};
        op.information = c.transferred;
        FilterManager::Run(op);
        const bool read = c.major == flt::MajorFunction::MdlRead ||
                          c.major == flt::MajorFunction::MdlReadComplete;
        EXPECT_TRUE(Matches(
            Receive(),
            Record(read ? wire::VeskOpRead : wire::VeskOpWrite, 0,
                   Concat({Bytes(c.expected), c.data ? cache : std::vector<std::uint8_t>{}}))));
    }
    const wire::StatisticsReply s = Statistics();
    EXPECT_EQ(s.ReadsSucceeded, 2u) << "both halves of the pair count";
    EXPECT_EQ(s.WritesSucceeded, 2u);
    EXPECT_EQ(s.BytesRead, 8192u);
}

TEST_F(TransferCaptureTest, DataThatCannotBeReachedIsNeitherReportedNorCounted) {
    std::vector<std::uint8_t> bytes = Pattern(100, 3);
    FilterManager::FailMdlMapping(true);
    Operation unmapped(flt::MajorFunction::Read, file_);
    Prepare(unmapped, Buffer::User, bytes, nullptr);
    unmapped.information = 100;
    FilterManager::Run(unmapped);
    FilterManager::FailMdlMapping(false);
    EXPECT_TRUE(NothingMoreQueued());
    EXPECT_EQ(Statistics().ReadsSucceeded, 0u);

    // A buffer that faults while it is copied: the record is dropped, the read was counted.
    sim::CallerMemory::MarkUnreadable(bytes.data(), bytes.size());
    Operation faulting(flt::MajorFunction::Read, file_);
    Prepare(faulting, Buffer::System, bytes, nullptr);
    faulting.information = 100;
    FilterManager::Run(faulting);
    EXPECT_TRUE(NothingMoreQueued());
    EXPECT_EQ(Statistics().ReadsSucceeded, 1u);
}

TEST_F(TransferCaptureTest, FlushCarriesNoPayload) {
    Operation flush(flt::MajorFunction::FlushBuffers, file_);
    flush.finalStatus = static_cast<NTSTATUS>(0xC0000185);
    FilterManager::Run(flush);
    EXPECT_TRUE(Matches(Receive(), Record(wire::VeskOpFlush, flush.finalStatus, {})));
}

class NoDataCaptureTest : public TransferCaptureTest {
  protected:
    void SetUp() override {
        options_ = wire::VeskConnectNoData;
        TransferCaptureTest::SetUp();
    }
};

TEST_F(NoDataCaptureTest, TheClientCanTurnDataOff) {
    std::vector<std::uint8_t> bytes = Pattern(100, 5);
    Operation read(flt::MajorFunction::Read, file_);
    Prepare(read, Buffer::User, bytes, nullptr);
    read.information = 100;
    FilterManager::Run(read);
    EXPECT_TRUE(
        Matches(Receive(), Record(wire::VeskOpRead, 0, Bytes(Transfer(0, 100, 0, 100, 1, 0)))));
    EXPECT_EQ(read.iopb.parameters.transfer.mdlAddress, nullptr) << "no buffer was even locked";
}

// Transfers beyond 64 MiB. The source is mapped memory that stays mostly untouched, so only the
// messages themselves take real memory.
class LargeTransferTest : public TransferCaptureTest {
  protected:
    struct Mapping {
        explicit Mapping(std::size_t n) : size(n) {
            void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            bytes = p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
        }
        ~Mapping() {
            if (bytes != nullptr) {
                munmap(bytes, size);
            }
        }
        std::size_t size;
        std::uint8_t* bytes;
    };

    void Check(flt::MajorFunction major, std::uint32_t total) {
        Mapping source(total);
        ASSERT_NE(source.bytes, nullptr);
        // Markers at the chunk borders.
        for (std::uint32_t at = 0; at < total; at += wire::kMaxDataPerMessage) {
            source.bytes[at] = 0xA1;
            source.bytes[std::min(at + wire::kMaxDataPerMessage, total) - 1] = 0xB2;
        }
        Operation op(major, file_);
        auto& transfer = op.iopb.parameters.transfer;
        transfer = {total, 0, 0x1000, nullptr, source.bytes};
        op.data.flags |= flt::kFlagSystemBuffer;
        op.information = total;
        FilterManager::Run(op);
        for (std::uint32_t done = 0; done < total; done += wire::kMaxDataPerMessage) {
            const std::uint32_t chunk = std::min(total - done, wire::kMaxDataPerMessage);
            auto record = Receive();
            ASSERT_TRUE(record);
            wire::TransferPayload payload;
            ASSERT_EQ(record->payload.size(), sizeof payload + chunk);
            std::memcpy(&payload, record->payload.data(), sizeof payload);
            EXPECT_EQ(payload.Offset, 0x1000 + static_cast<std::int64_t>(done));
            EXPECT_EQ(payload.RequestedLength, total);
            EXPECT_EQ(payload.Length, chunk);
            EXPECT_EQ(payload.Flags, 0xCu) << "data follows, and the request was above 64 MiB";
            EXPECT_EQ(record->payload[sizeof payload], 0xA1);
            EXPECT_EQ(record->payload.back(), 0xB2);
        }
        EXPECT_TRUE(NothingMoreQueued());
    }
};

TEST_F(LargeTransferTest, ReadOf0x6000000BytesArrivesInTwoMessages) {
    Check(flt::MajorFunction::Read, 0x6000000);
    const wire::StatisticsReply s = Statistics();
    EXPECT_EQ(s.ReadsSucceeded, 1u);
    EXPECT_EQ(s.BytesRead, 0x6000000u);
}

TEST_F(LargeTransferTest, WriteOf0x9000000BytesArrivesInThreeMessagesCountedOnce) {
    Check(flt::MajorFunction::Write, 0x9000000);
    const wire::StatisticsReply s = Statistics();
    EXPECT_EQ(s.WritesSucceeded, 1u);
    EXPECT_EQ(s.BytesWritten, 0x9000000u);
}

}  // namespace
}  // namespace vesk::testing
