// Metadata records: security, extended attributes, quota, label and volume object id, and the
// file-system control requests, each from exact request bytes to exact payload bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "capture_test_support.h"
#include "platform/kernel/security_descriptor.h"
#include "platform/kernel/sid.h"

namespace vesk::testing {
namespace {

using namespace kernel;
using sim::FilterManager;
using sim::Operation;

// Little-endian request bytes, written field by field at their offsets.
class RequestBytes {
  public:
    explicit RequestBytes(std::size_t size) : bytes_(size, 0) {}
    template <typename T>
    RequestBytes& At(std::size_t offset, T value) {
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
        return *this;
    }
    RequestBytes& Text(std::size_t offset, const std::u16string& text) {
        std::memcpy(bytes_.data() + offset, text.data(), text.size() * 2);
        return *this;
    }
    std::vector<std::uint8_t> Build() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> Sequence(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

// A symbolic link's (path buffer at 20, flags at 16) or mount point's (path buffer at 16) request.
std::vector<std::uint8_t> Reparse(std::uint32_t tag, const std::u16string& substitute,
                                  std::uint32_t flags, bool symlink) {
    const std::size_t path = symlink ? 20 : 16;
    RequestBytes r(path + substitute.size() * 2);
    r.At<std::uint32_t>(0, tag)
        .At<std::uint16_t>(8, 0)
        .At<std::uint16_t>(10, static_cast<std::uint16_t>(substitute.size() * 2))
        .Text(path, substitute);
    if (symlink) {
        r.At<std::uint32_t>(16, flags);
    }
    return r.Build();
}

std::vector<std::uint8_t> ReparsePayload(std::uint32_t tag, const std::vector<std::uint8_t>& guid,
                                         std::uint32_t kind, std::uint32_t flags,
                                         std::uint32_t action, std::uint16_t prefix,
                                         const std::u16string& target) {
    wire::ReparsePayloadHeader header{};
    header.Tag = tag;
    if (!guid.empty()) {
        std::memcpy(header.Guid, guid.data(), std::min<std::size_t>(guid.size(), 16));
    }
    header.ReparseKind = kind;
    header.ReparseFlags = flags;
    header.Action = action;
    header.TargetVolumePrefixLength = prefix;
    return Concat({Bytes(header), TextBytes(target, true)});
}

std::vector<std::uint8_t> ObjectId(std::uint32_t kind, std::vector<std::uint8_t> block) {
    block.resize(48, 0);
    return Concat({Bytes(kind), block});
}

class MetadataCaptureTest : public CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        file_ = Open(u"\\meta.txt");
        Created(file_);
    }

    ExpectedRecord FileRecord(std::uint32_t operation, std::vector<std::uint8_t> payload,
                              NTSTATUS status = STATUS_SUCCESS) {
        ExpectedRecord expected;
        expected.operation = operation;
        expected.status = status;
        expected.name = std::u16string(kVolume) + u"\\meta.txt";
        expected.prefix = kVolumeChars;
        expected.volumeId = VolumeId();
        expected.fileObjectId = flt::FileObjectIdentity(file_);
        expected.payload = std::move(payload);
        return expected;
    }

    ExpectedRecord VolumeRecord(std::uint32_t operation, std::vector<std::uint8_t> payload) {
        ExpectedRecord expected;
        expected.operation = operation;
        expected.name = kVolume;
        expected.volumeId = VolumeId();
        expected.payload = std::move(payload);
        return expected;
    }

    flt::FileObject* file_ = nullptr;
};

TEST_F(MetadataCaptureTest, SecurityExtendedAttributesAndQuota) {
    // A self-relative descriptor with an owner.
    const std::vector<std::uint8_t> owner = SidFromString("S-1-5-32-544");
    std::vector<std::uint8_t> descriptor(kSelfRelativeHeaderLength + owner.size(), 0);
    descriptor[0] = kSecurityDescriptorRevision;
    const std::uint16_t control = kSeSelfRelative;
    std::memcpy(descriptor.data() + 2, &control, 2);
    const std::uint32_t ownerOffset = kSelfRelativeHeaderLength;
    std::memcpy(descriptor.data() + 4, &ownerOffset, 4);
    std::memcpy(descriptor.data() + ownerOffset, owner.data(), owner.size());
    std::vector<std::uint8_t> garbage = Sequence(10, 0x40);

    struct SecurityCase {
        const char* what;
        std::uint32_t information;
        std::vector<std::uint8_t>* descriptor;
        wire::SecurityPayloadHeader header;
    };
    const auto length = static_cast<std::uint32_t>(descriptor.size());
    const SecurityCase security[] = {
        {"owner and protected DACL", 0x80000005, &descriptor, {0x1, 0x5, length}},
        {"every protection bit", 0xF000000F, &descriptor, {0xF, 0xF, length}},
        {"a descriptor that does not measure", 0x00000001, &garbage, {0, 0x1, 0}},
    };
    for (const SecurityCase& c : security) {
        SCOPED_TRACE(c.what);
        Operation op(flt::MajorFunction::SetSecurity, file_);
        op.iopb.parameters.setSecurity = {c.information, c.descriptor->data(),
                                          static_cast<std::uint32_t>(c.descriptor->size())};
        FilterManager::Run(op);
        const std::vector<std::uint8_t> carried(c.descriptor->begin(),
                                                c.descriptor->begin() + c.header.DescriptorLength);
        EXPECT_TRUE(Matches(Receive(),
                            FileRecord(wire::VeskOpSecurity, Concat({Bytes(c.header), carried}))));
    }

    std::vector<std::uint8_t> entries = Sequence(20, 1);
    for (auto [major, operation] : {std::pair{flt::MajorFunction::SetEa, wire::VeskOpEa},
                                    std::pair{flt::MajorFunction::SetQuota, wire::VeskOpQuota}}) {
        Operation op(major, file_);
        op.iopb.parameters.buffer = {20, entries.data()};
        op.finalStatus = static_cast<NTSTATUS>(0xC0000022);
        FilterManager::Run(op);
        EXPECT_TRUE(Matches(Receive(), FileRecord(operation, Concat({Bytes(20u), entries}),
                                                  static_cast<NTSTATUS>(0xC0000022))));
    }
}

TEST_F(MetadataCaptureTest, VolumeLabelAndObjectId) {
    struct Case {
        const char* what;
        std::uint32_t informationClass;
        std::vector<std::uint8_t> buffer;
        std::uint32_t operation;  // 0: nothing
        std::vector<std::uint8_t> payload;
    };
    const std::u16string label = u"ARCHIVE";
    const Case cases[] = {
        {"label", flt::FileFsLabelInformation,
         RequestBytes(4 + 14).At<std::uint32_t>(0, 14).Text(4, label).Build(), wire::VeskOpLabel,
         Concat({Bytes(std::uint16_t{14}), TextBytes(label, true)})},
        {"empty label",
         flt::FileFsLabelInformation,
         RequestBytes(4).Build(),
         wire::VeskOpLabel,
         {0, 0, 0, 0}},
        {"label longer than its buffer",
         flt::FileFsLabelInformation,
         RequestBytes(8).At<std::uint32_t>(0, 14).Build(),
         0,
         {}},
        {"volume object id", flt::FileFsObjectIdInformation, Sequence(64, 0x10),
         wire::VeskOpObjectId, ObjectId(1, Sequence(16, 0x10))},
        {"another volume class", 1, Sequence(64, 0), 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> buffer = c.buffer;
        Operation op(flt::MajorFunction::SetVolumeInformation, volume_);
        op.iopb.parameters.setVolumeInformation = {static_cast<std::uint32_t>(buffer.size()),
                                                   c.informationClass, buffer.data()};
        FilterManager::Run(op);
        if (c.operation == 0) {
            EXPECT_TRUE(NothingMoreQueued());
        } else {
            EXPECT_TRUE(Matches(Receive(), VolumeRecord(c.operation, c.payload)));
        }
    }
}

TEST_F(MetadataCaptureTest, FileSystemControlRequests) {
    const std::u16string relative = u"..\\target.txt";
    const std::u16string absolute = u"\\??\\C:\\target";
    const std::u16string volumeGuid = u"\\??\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\";
    const std::vector<std::uint8_t> guid = Sequence(16, 0xE0);
    const std::vector<std::uint8_t> foreign =
        Concat({RequestBytes(8).At<std::uint32_t>(0, 0x00000017).Build(), guid});
    struct Case {
        const char* what;
        std::uint32_t code;
        std::uint8_t minor;
        std::vector<std::uint8_t> input;
        std::uint32_t operation;  // 0: nothing
        std::vector<std::uint8_t> payload;
    };
    const Case cases[] = {
        {"set object id", flt::FSCTL_SET_OBJECT_ID, 0, Sequence(64, 1), wire::VeskOpObjectId,
         ObjectId(1, Sequence(16, 1))},
        {"set object id extended", flt::FSCTL_SET_OBJECT_ID_EXTENDED, 4, Sequence(64, 1),
         wire::VeskOpObjectId, ObjectId(2, Sequence(48, 17))},
        {"set object id extended, short input", flt::FSCTL_SET_OBJECT_ID_EXTENDED, 0,
         Sequence(40, 1), wire::VeskOpObjectId, ObjectId(2, Sequence(24, 17))},
        {"delete object id",
         flt::FSCTL_DELETE_OBJECT_ID,
         0,
         {},
         wire::VeskOpObjectId,
         ObjectId(4, {})},
        {"relative symbolic link", flt::FSCTL_SET_REPARSE_POINT, 0,
         Reparse(flt::IO_REPARSE_TAG_SYMLINK, relative, 1, true), wire::VeskOpReparse,
         ReparsePayload(flt::IO_REPARSE_TAG_SYMLINK, {}, 1, 1, 1, 0, relative)},
        {"absolute symbolic link", flt::FSCTL_SET_REPARSE_POINT, 0,
         Reparse(flt::IO_REPARSE_TAG_SYMLINK, absolute, 0, true), wire::VeskOpReparse,
         ReparsePayload(flt::IO_REPARSE_TAG_SYMLINK, {}, 1, 0, 1, 6, absolute)},
        {"mount point on a volume GUID path", flt::FSCTL_SET_REPARSE_POINT, 0,
         Reparse(flt::IO_REPARSE_TAG_MOUNT_POINT, volumeGuid, 0, false), wire::VeskOpReparse,
         ReparsePayload(flt::IO_REPARSE_TAG_MOUNT_POINT, {}, 2, 0, 1, 49, volumeGuid)},
        {"mount point without a target", flt::FSCTL_SET_REPARSE_POINT, 0,
         Reparse(flt::IO_REPARSE_TAG_MOUNT_POINT, u"", 0, false), wire::VeskOpReparse,
         ReparsePayload(flt::IO_REPARSE_TAG_MOUNT_POINT, {}, 0, 0, 1, 0, u"")},
        {"link whose target lies beyond the input", flt::FSCTL_SET_REPARSE_POINT, 0,
         RequestBytes(24)
             .At<std::uint32_t>(0, flt::IO_REPARSE_TAG_SYMLINK)
             .At<std::uint16_t>(10, 200)
             .Build(),
         wire::VeskOpReparse, ReparsePayload(flt::IO_REPARSE_TAG_SYMLINK, {}, 0, 0, 1, 0, u"")},
        {"foreign tag", flt::FSCTL_SET_REPARSE_POINT, 0, foreign, wire::VeskOpReparse,
         ReparsePayload(0x17, guid, 4, 0, 1, 0, u"")},
        {"another tag of the platform's own", flt::FSCTL_SET_REPARSE_POINT, 0,
         RequestBytes(8).At<std::uint32_t>(0, 0x80000017).Build(), wire::VeskOpReparse,
         ReparsePayload(0x80000017, {}, 3, 0, 1, 0, u"")},
        {"delete a symbolic link", flt::FSCTL_DELETE_REPARSE_POINT, 0,
         RequestBytes(8).At<std::uint32_t>(0, flt::IO_REPARSE_TAG_SYMLINK).Build(),
         wire::VeskOpReparse, ReparsePayload(flt::IO_REPARSE_TAG_SYMLINK, {}, 1, 0, 2, 0, u"")},
        {"delete a foreign reparse point", flt::FSCTL_DELETE_REPARSE_POINT, 0, foreign,
         wire::VeskOpReparse, ReparsePayload(0x17, guid, 4, 0, 2, 0, u"")},
        {"sparse", flt::FSCTL_SET_SPARSE, 0, {}, wire::VeskOpSparse, {}},
        {"uncompressed", flt::FSCTL_SET_COMPRESSION, 0, {0, 0}, wire::VeskOpCompress, Bytes(1u)},
        {"default compression",
         flt::FSCTL_SET_COMPRESSION,
         0,
         {1, 0},
         wire::VeskOpCompress,
         Bytes(2u)},
        {"LZNT1", flt::FSCTL_SET_COMPRESSION, 0, {2, 0}, wire::VeskOpCompress, Bytes(2u)},
        {"another format", flt::FSCTL_SET_COMPRESSION, 0, {5, 0}, wire::VeskOpCompress, Bytes(0u)},
        {"an unknown control code", 0x00090000, 0, Sequence(16, 0), 0, {}},
        {"the mount minor function", flt::FSCTL_SET_SPARSE, 1, {}, 0, {}},
        {"foreign tag without its GUID",
         flt::FSCTL_SET_REPARSE_POINT,
         0,
         RequestBytes(12).At<std::uint32_t>(0, 0x17).Build(),
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> buffer = c.input;
        Operation op(flt::MajorFunction::FileSystemControl, file_);
        op.iopb.minorFunction = c.minor;
        op.iopb.parameters.fileSystemControl = {c.code, static_cast<std::uint32_t>(buffer.size()),
                                                0, buffer.empty() ? nullptr : buffer.data()};
        FilterManager::Run(op);
        if (c.operation == 0) {
            EXPECT_TRUE(NothingMoreQueued());
        } else {
            EXPECT_TRUE(Matches(Receive(), FileRecord(c.operation, c.payload)));
        }
    }
}

TEST_F(MetadataCaptureTest, CreateOrGetObjectIdReportsTheIdAsReturned) {
    std::vector<std::uint8_t> buffer(64, 0);
    Operation op(flt::MajorFunction::FileSystemControl, file_);
    op.iopb.parameters.fileSystemControl = {flt::FSCTL_CREATE_OR_GET_OBJECT_ID, 0, 64,
                                            buffer.data()};
    op.information = 64;
    op.fileSystem = [&buffer](flt::CallbackData&) {
        const auto id = Sequence(64, 0x70);
        std::memcpy(buffer.data(), id.data(), id.size());
    };
    FilterManager::Run(op);
    EXPECT_TRUE(
        Matches(Receive(), FileRecord(wire::VeskOpObjectId, ObjectId(1, Sequence(16, 0x70)))));
}

TEST_F(MetadataCaptureTest, VolumeExtendAndShrink) {
    struct Case {
        const char* what;
        std::uint32_t code;
        std::vector<std::uint8_t> input;
        std::uint32_t operation;
        std::vector<std::uint8_t> payload;
    };
    const Case cases[] = {
        {"extend", flt::FSCTL_EXTEND_VOLUME, Bytes(std::int64_t{0x200000}), wire::VeskOpExtend,
         Bytes(std::int64_t{0x200000})},
        {"shrink, prepare", flt::FSCTL_SHRINK_VOLUME,
         RequestBytes(24).At<std::uint32_t>(0, 1).At<std::int64_t>(16, 0x1000).Build(),
         wire::VeskOpShrink, Bytes(wire::ShrinkPayload{1, 0x1000})},
        {"shrink, unknown action", flt::FSCTL_SHRINK_VOLUME,
         RequestBytes(24).At<std::uint32_t>(0, 7).At<std::int64_t>(16, 5).Build(),
         wire::VeskOpShrink, Bytes(wire::ShrinkPayload{0, 5})},
        {"shrink with a short request", flt::FSCTL_SHRINK_VOLUME, RequestBytes(16).Build(), 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> buffer = c.input;
        Operation op(flt::MajorFunction::FileSystemControl, volume_);
        op.iopb.parameters.fileSystemControl = {c.code, static_cast<std::uint32_t>(buffer.size()),
                                                0, buffer.data()};
        FilterManager::Run(op);
        if (c.operation == 0) {
            EXPECT_TRUE(NothingMoreQueued());
        } else {
            EXPECT_TRUE(Matches(Receive(), VolumeRecord(c.operation, c.payload)));
        }
    }
}

}  // namespace
}  // namespace vesk::testing
