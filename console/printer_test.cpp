// The printers fed with records that crossed the socket from the simulated driver, the way the
// engine hands them to the monitor; every block is compared byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "message/notification_builder.h"
#include "output.h"
#include "printer.h"
#include "sim_world.h"
#include "testing/engine_fixture.h"
#include "wire/port_wire.h"

namespace vesk::console {
namespace {

using testing::Wide;
using namespace vesk::wire;

template <typename T>
void Append(std::vector<std::uint8_t>* bytes, const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    bytes->insert(bytes->end(), p, p + sizeof value);
}

template <typename T>
std::vector<std::uint8_t> Bytes(const T& value) {
    std::vector<std::uint8_t> bytes;
    Append(&bytes, value);
    return bytes;
}

// A header followed by a text and its 16-bit zero.
template <typename T>
std::vector<std::uint8_t> WithText(const T& head, const std::string& ascii) {
    std::vector<std::uint8_t> bytes = Bytes(head);
    for (char c : ascii) {
        Append(&bytes, static_cast<char16_t>(c));
    }
    Append(&bytes, char16_t{0});
    return bytes;
}

struct Record {
    Record(std::uint32_t category, std::uint32_t operation, std::string name,
           std::uint16_t prefix = 0, std::uint32_t status = 0,
           std::vector<std::uint8_t> payload = {})
        : category(category),
          operation(operation),
          name(std::move(name)),
          prefix(prefix),
          status(status),
          payload(std::move(payload)) {}

    std::uint32_t category;
    std::uint32_t operation;
    std::string name;
    std::uint16_t prefix;
    std::uint32_t status;
    std::vector<std::uint8_t> payload;
    std::uint32_t volumeId = 0x00A1B2C3;
    std::uint32_t fileObjectId = 0x0000F00D;
};

class Printers : public testing::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::ofstream(root_ + "/run/dos-devices") << "\\Device\\HarddiskVolume1\tC:\n"
                                                  << "\\Device\\HarddiskVolume2\t\n";
        const char* tz = std::getenv("TZ");
        savedTz_ = tz != nullptr ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        VeskUninitialize();
        printer_.reset();
        savedTz_ ? setenv("TZ", savedTz_->c_str(), 1) : unsetenv("TZ");
        tzset();
        EngineTest::TearDown();
    }

    void Start(const std::string& filter = "", const std::u16string& pattern = u"") {
        printer_ = std::make_unique<Printer>(out_, filter, pattern);
        ASSERT_TRUE(VeskInitialize(0, nullptr, &File, &Process, this)) << VeskGetErrorCode();
    }

    // Builds the record as capture does, from the given thread (the test's own by default).
    void Send(const Record& r, kernel::Thread* thread = nullptr) {
        const std::u16string text = Wide(r.name);
        kernel::UnicodeString counted{static_cast<std::uint16_t>(text.size() * 2),
                                      static_cast<std::uint16_t>(text.size() * 2),
                                      const_cast<char16_t*>(text.data())};
        driver::MessageParameters p;
        p.actingThread = thread != nullptr ? thread : testThread_;
        p.volumeId = r.volumeId;
        p.fileObjectId = r.fileObjectId;
        p.name = r.name.empty() ? nullptr : &counted;
        p.volumePrefixLength = r.prefix;
        p.category = r.category;
        p.operation = r.operation;
        p.status = r.status;
        p.payloadLength = static_cast<std::uint32_t>(r.payload.size());
        driver::BuiltMessage built;
        ASSERT_EQ(driver::BuildMessage(p, &built), kernel::STATUS_SUCCESS);
        if (!r.payload.empty()) {
            std::memcpy(built.payload, r.payload.data(), r.payload.size());
        }
        ASSERT_EQ(driver_->queue.EnqueueMessage(built.message, built.totalLength),
                  kernel::STATUS_SUCCESS);
        ++sent_;
    }

    // What the printers wrote for the records sent so far (and forgets it).
    std::string Printed() {
        EXPECT_TRUE(Eventually([&] { return delivered_.load() == sent_; }));
        const std::string text = out_.Text();
        out_.Clear();
        return text;
    }
    std::string PrintedFor(const Record& r) {
        Send(r);
        return Printed();
    }

    static void File(void* argument, const VeskNotification* n, const VeskOperationData* d) {
        auto* self = static_cast<Printers*>(argument);
        self->printer_->PrintFileOperation(*n, *d);
        ++self->delivered_;
    }
    static void Process(void* argument, const VeskNotification* n, const VeskOperationData* d) {
        auto* self = static_cast<Printers*>(argument);
        self->printer_->PrintProcess(*n, *d);
        ++self->delivered_;
    }

    StringOutput out_;
    std::unique_ptr<Printer> printer_;
    std::atomic<int> delivered_{0};
    int sent_ = 0;
    std::optional<std::string> savedTz_;
};

// The file object line and the common lines of a block.
std::string Head(const char* title, const std::string& name, const char* status = "00000000") {
    return std::string("  File object: 0000F00D\r\n") + title + "    00A1B2C3\r\n    Status: " +
           status + "\r\n    " + name + "\r\n";
}

constexpr const char* kDrive = "\\Device\\HarddiskVolume1\\dir\\f.txt";  // C:\dir\f.txt
constexpr std::uint16_t kDrivePrefix = 23;

TEST_F(Printers, CreateWithAccountShareAndNames) {
    Start();
    const CreatePayload c{1, 0x60, 3, 0, 0x20, 7, 0x120089, 2};
    Record r{VeskCategoryFileSystem, VeskOpCreate, kDrive, kDrivePrefix, 0, Bytes(c)};
    // The test thread's account (S-1-5-21-1000-2000-3000-1001) is unknown on this machine.
    EXPECT_EQ(PrintedFor(r), Head("  Create:\r\n", "C:\\dir\\f.txt") +
                                 "    Account = (Unknown), SID size = 28\r\n"
                                 "    Type = Normal, result = Opened\r\n"
                                 "    Share access = 7, desired access = 120089\r\n"
                                 "    Disposition = Open, options = 60, attributes = 20\r\n"
                                 "\r\n");

    // A network name that only the driver resolves, opened by the system account; values
    // without a name print "Unknown".
    names_.Answer(u"Z:\\share\\f", u"\\\\server\\share\\f", 1);
    kernel::Thread* system = sim::World::CreateThread(sim::World::SystemProcess());
    const CreatePayload odd{2, 0, 9, 0, 0, 0, 0, 77};
    Send({VeskCategoryFileSystem, VeskOpCreate, "\\Device\\Mup\\server\\share\\f", 11, 0xC0000034,
          Bytes(odd)},
         system);
    EXPECT_EQ(Printed(), Head("  Create:\r\n", "Z:\\share\\f", "C0000034") +
                             "    Share: \\\\server\\share\\f\r\n"
                             "    Account = SYSTEM, SID size = 12\r\n"
                             "    Type = Fast I/O, result = Unknown\r\n"
                             "    Share access = 0, desired access = 0\r\n"
                             "    Disposition = Unknown, options = 0, attributes = 0\r\n"
                             "\r\n");
}

TEST_F(Printers, ReadsWritesFlushesAndCloses) {
    Start();
    std::vector<std::uint8_t> payload = Bytes(TransferPayload{
        0x100000000LL, 40, 0xBEEF, 40, VeskTransferRequest, VeskTransferHasData});
    for (int i = 0; i < 40; ++i) {
        payload.push_back(static_cast<std::uint8_t>(0xE0 + i));
    }
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpRead, kDrive, kDrivePrefix, 0, payload}),
              Head("  Read:\r\n", "C:\\dir\\f.txt") +
                  "    Type = Normal, flags = 8\r\n"
                  "    Offset = 4294967296, size = 40, key = 0000BEEF\r\n"
                  "    Data = E0 E1 E2 E3 E4 E5 E6 E7 E8 E9 EA EB EC ED EE EF ...\r\n"
                  "\r\n");

    std::vector<std::uint8_t> exact =
        Bytes(TransferPayload{0, 16, 0, 16, VeskTransferMdlCompleted, VeskTransferHasData | 2});
    exact.insert(exact.end(), 16, 0xAB);
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpWrite, kDrive, kDrivePrefix, 0, exact}),
              Head("  Write:\r\n", "C:\\dir\\f.txt") +
                  "    Type = Fast I/O completed, flags = A\r\n"
                  "    Offset = 0, size = 16, key = 00000000\r\n"
                  "    Data = AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB \r\n"
                  "\r\n");

    // Without data bytes (the flag clear, or a count of 0) there is no data line.
    const auto noData = Bytes(TransferPayload{7, 4096, 0, 4096, VeskTransferMdlStarted, 0});
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpWrite, kDrive, kDrivePrefix, 0, noData}),
              Head("  Write:\r\n", "C:\\dir\\f.txt") +
                  "    Type = Fast I/O started, flags = 0\r\n"
                  "    Offset = 7, size = 4096, key = 00000000\r\n"
                  "\r\n");
    const auto empty = Bytes(TransferPayload{0, 10, 0, 0, 9, VeskTransferHasData});
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpRead, kDrive, kDrivePrefix, 0, empty}),
              Head("  Read:\r\n", "C:\\dir\\f.txt") +
                  "    Type = Unknown, flags = 8\r\n"
                  "    Offset = 0, size = 0, key = 00000000\r\n"
                  "\r\n");

    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpFlush, kDrive, kDrivePrefix}),
              Head("  Flush:\r\n", "C:\\dir\\f.txt") + "\r\n");
    for (const auto& [kind, word] : {std::pair{1u, "Handles closed"}, {2u, "Object destroyed"},
                                     {3u, "Unknown"}}) {
        EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpClose, kDrive, kDrivePrefix, 0,
                              Bytes(ClosePayload{kind})}),
                  Head("  Close:\r\n", "C:\\dir\\f.txt") + "    Type: " + word + "\r\n\r\n");
    }
}

TEST_F(Printers, VolumeRecords) {
    Start();
    const auto volume = Bytes(VolumePayload{0x2B, 1, 3});
    // A Linux volume's drive-letter form is its directory.
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpMount, "/srv/data", 0, 0, volume}),
              "  File object: 0000F00D\r\n"
              "  Volume mount:\r\n    00A1B2C3\r\n    Status: 00000000\r\n"
              "    /srv/data mounted to /srv/data\r\n"
              "    Volume flags: 0x2B\r\n    Device type: Disk\r\n    File system type: NTFS\r\n"
              "\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpAttach, "\\Device\\HarddiskVolume1", 0, 0,
                          Bytes(VolumePayload{0, 4, 26})}),
              "  File object: 0000F00D\r\n"
              "  Volume attach:\r\n    00A1B2C3\r\n    Status: 00000000\r\n"
              "    \\Device\\HarddiskVolume1 attached to C:\r\n"
              "    Volume flags: 0x0\r\n    Device type: Network\r\n"
              "    File system type: VMware\r\n"
              "\r\n");
    // A volume without a drive letter prints its kernel name alone.
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpAttach, "\\Device\\HarddiskVolume2", 0, 0,
                          Bytes(VolumePayload{0, 6, 27})}),
              "  File object: 0000F00D\r\n"
              "  Volume attach:\r\n    00A1B2C3\r\n    Status: 00000000\r\n"
              "    \\Device\\HarddiskVolume2\r\n"
              "    Volume flags: 0x0\r\n    Device type: Unknown\r\n"
              "    File system type: Unknown\r\n"
              "\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpUnmount, "\\Device\\HarddiskVolume1"}),
              "  File object: 0000F00D\r\n"
              "  Volume unmount:\r\n    00A1B2C3\r\n    Status: 00000000\r\n"
              "    \\Device\\HarddiskVolume1\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpDetach, "/srv/data"}),
              "  File object: 0000F00D\r\n"
              "  Volume detach:\r\n    00A1B2C3\r\n    Status: 00000000\r\n"
              "    /srv/data\r\n\r\n");
    const LabelPayloadHeader label{10};
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpLabel, "\\Device\\HarddiskVolume1", 0, 0,
                          WithText(label, "DATA1")}),
              Head("  Label:\r\n", "C:") + "    New label: DATA1\r\n\r\n");
}

TEST_F(Printers, DeleteLinkAndMoveWithTheirTargets) {
    Start();
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpDelete, kDrive, kDrivePrefix}),
              Head("  Delete:\r\n", "C:\\dir\\f.txt") + "\r\n");
    const std::string target = "\\Device\\HarddiskVolume1\\dir\\g.txt";
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpLink, kDrive, kDrivePrefix, 0,
                          WithText(LinkPayloadHeader{0, 66, 23}, target)}),
              Head("  Link:\r\n", "C:\\dir\\f.txt") + "    Link name: C:\\dir\\g.txt\r\n\r\n");
    // A target on a volume without a drive letter prints in the kernel's form.
    const std::string other = "\\Device\\HarddiskVolume2\\h";
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpRename, kDrive, kDrivePrefix, 0,
                          WithText(LinkPayloadHeader{1, 50, 23}, other)}),
              Head("  Move:\r\n", "C:\\dir\\f.txt") +
                  "    New file name: \\Device\\HarddiskVolume2\\h\r\n\r\n");
}

TEST_F(Printers, SetInformationRecords) {
    Start();
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpAllocation, kDrive, kDrivePrefix, 0,
                          Bytes(Int64Payload{1 << 20})}),
              Head("  Allocation:\r\n", "C:\\dir\\f.txt") +
                  "    Allocation size: 1048576 bytes\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpSize, kDrive, kDrivePrefix, 0,
                          Bytes(Int64Payload{12345678901LL})}),
              Head("  Size:\r\n", "C:\\dir\\f.txt") + "    New file size: 12345678901 bytes\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpPosition, kDrive, kDrivePrefix, 0,
                          Bytes(Int64Payload{0})}),
              Head("  Position:\r\n", "C:\\dir\\f.txt") + "    New file position: 0 bytes\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpValidLength, kDrive, kDrivePrefix, 0,
                          Bytes(Int64Payload{512})}),
              Head("  Valid length:\r\n", "C:\\dir\\f.txt") +
                  "    Valid data length: 512 bytes\r\n\r\n");

    // 2026-12-11 00:46:39 UTC; 0 and all-ones mean "not set" and print nothing.
    const std::int64_t time = (1'796'949'999LL + 11'644'473'600LL) * 10'000'000LL;
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpBasic, kDrive, kDrivePrefix, 0,
                          Bytes(BasicPayload{time, 0, -1, time + 36'610'000'000LL, 0x20})}),
              Head("  Basic:\r\n", "C:\\dir\\f.txt") +
                  "    File attributes: 32\r\n"
                  "    Creation time: 00:46:39 11.12.2026\r\n"
                  "    Change time: 01:47:40 11.12.2026\r\n"
                  "\r\n");
}

TEST_F(Printers, SecurityExtendedAttributesAndQuota) {
    Start();
    std::vector<std::uint8_t> security = Bytes(SecurityPayloadHeader{1, 4, 20});
    security.insert(security.end(), 20, 0);
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpSecurity, kDrive, kDrivePrefix, 0,
                          security}),
              Head("  Security:\r\n", "C:\\dir\\f.txt") +
                  "    Flags: DACL protected = 00000001\r\n"
                  "    Types: DACL = 00000004\r\n"
                  "    SD size: 20 bytes\r\n\r\n");
    std::vector<std::uint8_t> combined = Bytes(SecurityPayloadHeader{0, 3, 0});
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpSecurity, kDrive, kDrivePrefix, 0,
                          combined}),
              Head("  Security:\r\n", "C:\\dir\\f.txt") +
                  "    Flags: None = 00000000\r\n"
                  "    Types: Multiple = 00000003\r\n"
                  "    SD size: 0 bytes\r\n\r\n");
    std::vector<std::uint8_t> ea = Bytes(DataPayloadHeader{5});
    ea.insert(ea.end(), 5, 1);
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpEa, kDrive, kDrivePrefix, 0, ea}),
              Head("  EA:\r\n", "C:\\dir\\f.txt") + "    Size: 5 bytes\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpQuota, kDrive, kDrivePrefix, 0, ea}),
              Head("  Quota:\r\n", "C:\\dir\\f.txt") + "    Size: 5 bytes\r\n\r\n");
}

TEST_F(Printers, FileSystemControls) {
    Start();
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpCompress, kDrive, kDrivePrefix, 0,
                          Bytes(CompressPayload{2})}),
              Head("  Compress:\r\n", "C:\\dir\\f.txt") +
                  "    New state: Compressed (LZNT1)\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpSparse, kDrive, kDrivePrefix}),
              Head("  Sparse:\r\n", "C:\\dir\\f.txt") + "\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpObjectId, kDrive, kDrivePrefix, 0,
                          Bytes(ObjectIdPayload{4, {}})}),
              Head("  Object ID:\r\n", "C:\\dir\\f.txt") + "    Type: Delete object ID\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpExtend, "\\Device\\HarddiskVolume1", 0, 0,
                          Bytes(Int64Payload{2000000})}),
              Head("  Extend:\r\n", "C:") + "    New volume size: 2000000 sectors\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpShrink, "\\Device\\HarddiskVolume1", 0, 0,
                          Bytes(ShrinkPayload{2, 1000})}),
              Head("  Shrink:\r\n", "C:") +
                  "    New volume size: 1000 sectors\r\n    Requested action: Commit\r\n\r\n");

    const std::string target = "\\Device\\HarddiskVolume1\\t";
    ReparsePayloadHeader link{0xA000000C, {}, 1, 0, 1, 23};
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpReparse, kDrive, kDrivePrefix, 0,
                          WithText(link, target)}),
              Head("  Reparse:\r\n", "C:\\dir\\f.txt") +
                  "    Type: Symbolic link\r\n    Action: Create\r\n    Flags: None\r\n"
                  "    Target: C:\\t\r\n\r\n");
    // A relative target is not resolved: it prints as the record carries it.
    ReparsePayloadHeader relative{0xA000000C, {}, 1, 1, 1, 0};
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpReparse, kDrive, kDrivePrefix, 0,
                          WithText(relative, "..\\x")}),
              Head("  Reparse:\r\n", "C:\\dir\\f.txt") +
                  "    Type: Symbolic link\r\n    Action: Create\r\n    Flags: Relative\r\n"
                  "    Target: ..\\x\r\n\r\n");
    ReparsePayloadHeader foreign{0x80000021, {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 1,
                                              2, 3, 4, 5, 6, 7, 8},
                                 4, 0, 2, 0};
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpReparse, kDrive, kDrivePrefix, 0,
                          WithText(foreign, "")}),
              Head("  Reparse:\r\n", "C:\\dir\\f.txt") +
                  "    Type: 3rd-party\r\n    Action: Delete\r\n    Flags: None\r\n"
                  "    GUID: {12345678-9ABC-DEF0-0102-030405060708}\r\n\r\n");
    ReparsePayloadHeader own{0x90001000, {}, 3, 7, 3, 0};
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, VeskOpReparse, kDrive, kDrivePrefix, 0,
                          WithText(own, "")}),
              Head("  Reparse:\r\n", "C:\\dir\\f.txt") +
                  "    Type: Unrecognized\r\n    Action: Unknown\r\n    Flags: Unknown\r\n\r\n");
}

TEST_F(Printers, AClassThePrinterDoesNotKnowPrintsItsFileObjectOnly) {
    Start();
    EXPECT_EQ(PrintedFor({VeskCategoryFileSystem, 0x8000000, kDrive, kDrivePrefix}),
              "  File object: 0000F00D\r\n");
}

TEST_F(Printers, ProcessRecords) {
    Start();
    EXPECT_EQ(PrintedFor({VeskCategoryProcess, VeskOpProcessCreate, "/usr/bin/cat", 0, 0,
                          Bytes(ProcessPayload{0x1234, 1})}),
              "  Process:\r\n    Action: create\r\n    Status: 00000000\r\n"
              "    Process ID: 0x1234 (4660)\r\n    Parent process ID: 0x1 (1)\r\n"
              "    Image path: /usr/bin/cat\r\n\r\n");
    // Without a name there is no image path; a class other than create and exit prints nothing.
    EXPECT_EQ(PrintedFor({VeskCategoryProcess, VeskOpProcessExit, "", 0, 0x103,
                          Bytes(ProcessPayload{10, 0})}),
              "  Process:\r\n    Action: terminate\r\n    Status: 00000103\r\n"
              "    Process ID: 0xA (10)\r\n    Parent process ID: 0x0 (0)\r\n\r\n");
    EXPECT_EQ(PrintedFor({VeskCategoryProcess, 2, "/usr/bin/cat", 0, 0,
                          Bytes(ProcessPayload{10, 0})}),
              "");
}

TEST_F(Printers, TheClassFilterSelects) {
    Start("c");
    Send({VeskCategoryFileSystem, VeskOpClose, kDrive, kDrivePrefix, 0, Bytes(ClosePayload{2})});
    Send({VeskCategoryFileSystem, VeskOpRead, kDrive, kDrivePrefix, 0,
          Bytes(TransferPayload{0, 1, 0, 0, 1, 0})});
    Send({VeskCategoryProcess, VeskOpProcessCreate, "/usr/bin/cat", 0, 0,
          Bytes(ProcessPayload{1, 1})});
    Send({VeskCategoryFileSystem, 0x8000000, kDrive, kDrivePrefix});
    EXPECT_EQ(Printed(), Head("  Close:\r\n", "C:\\dir\\f.txt") + "    Type: Object destroyed\r\n\r\n");
}

TEST_F(Printers, ReadsAndProcessesWithRp) {
    Start("rp");
    Send({VeskCategoryFileSystem, VeskOpWrite, kDrive, kDrivePrefix, 0,
          Bytes(TransferPayload{0, 1, 0, 0, 1, 0})});
    Send({VeskCategoryFileSystem, VeskOpRead, kDrive, kDrivePrefix, 0,
          Bytes(TransferPayload{0, 1, 0, 0, 1, 0})});
    Send({VeskCategoryProcess, VeskOpProcessExit, "", 0, 0, Bytes(ProcessPayload{5, 1})});
    EXPECT_EQ(Printed(), Head("  Read:\r\n", "C:\\dir\\f.txt") +
                             "    Type = Normal, flags = 0\r\n"
                             "    Offset = 0, size = 0, key = 00000000\r\n\r\n"
                             "  Process:\r\n    Action: terminate\r\n    Status: 00000000\r\n"
                             "    Process ID: 0x5 (5)\r\n    Parent process ID: 0x1 (1)\r\n\r\n");
}

// The pattern is matched against the drive-letter form when the name has one, else against the
// kernel's form.
TEST_F(Printers, ThePatternMatchesTheNameAsPrinted) {
    Start("*", u"C:\\*.txt;\\Device\\HarddiskVolume2\\*");
    Send({VeskCategoryFileSystem, VeskOpDelete, kDrive, kDrivePrefix});
    Send({VeskCategoryFileSystem, VeskOpDelete, "\\Device\\HarddiskVolume1\\dir\\f.doc",
          kDrivePrefix});
    Send({VeskCategoryFileSystem, VeskOpDelete, "\\Device\\HarddiskVolume2\\x", kDrivePrefix});
    Send({VeskCategoryFileSystem, VeskOpDelete, "/srv/data/a.txt", 9});
    // A process record without a name is not held to the pattern.
    Send({VeskCategoryProcess, VeskOpProcessExit, "", 0, 0, Bytes(ProcessPayload{5, 1})});
    Send({VeskCategoryProcess, VeskOpProcessExit, "/usr/bin/cat", 0, 0,
          Bytes(ProcessPayload{6, 1})});
    EXPECT_EQ(Printed(), Head("  Delete:\r\n", "C:\\dir\\f.txt") + "\r\n" +
                             Head("  Delete:\r\n", "\\Device\\HarddiskVolume2\\x") + "\r\n" +
                             "  Process:\r\n    Action: terminate\r\n    Status: 00000000\r\n"
                             "    Process ID: 0x5 (5)\r\n    Parent process ID: 0x1 (1)\r\n\r\n");
}

TEST_F(Printers, PatternStarMatchesEverything) {
    Start("", u"*");
    Send({VeskCategoryFileSystem, VeskOpDelete, "\\Device\\HarddiskVolume2\\noext", kDrivePrefix});
    EXPECT_EQ(Printed(), Head("  Delete:\r\n", "\\Device\\HarddiskVolume2\\noext") + "\r\n");
}

}  // namespace
}  // namespace vesk::console
