#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "record_check.h"
#include "records.h"
#include "wire/port_wire.h"

namespace {

using namespace vesk::wire;
using vesk::engine::FillClientRecords;
using vesk::engine::ReceivedRecordLength;
using vesk::engine::RecordIsSound;

template <typename T>
void Append(std::vector<std::uint8_t>* bytes, const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    bytes->insert(bytes->end(), p, p + sizeof value);
}

void AppendText(std::vector<std::uint8_t>* bytes, const std::u16string& text) {
    for (char16_t c : text) {
        Append(bytes, c);
    }
    Append(bytes, char16_t{0});
}

// A record as the driver lays it out: header, name and terminator, a one-sub-authority SID
// (12 bytes, so the payload starts at an odd multiple of 2), payload.
std::vector<std::uint8_t> Record(std::uint32_t category, std::uint32_t operation,
                                 const std::u16string& name,
                                 const std::vector<std::uint8_t>& payload) {
    NotificationHeader h{};
    h.Category = category;
    h.Operation = operation;
    h.Status = 0xC0000034;
    h.ThreadId = 11;
    h.ProcessId = 22;
    h.SessionId = 3;
    h.AuthenticationIdLow = 0x3E7;
    h.AuthenticationIdHigh = 1;
    h.VolumeId = 0x1000;
    h.FileObjectId = 0x2000;
    h.VolumePrefixLength = 5;
    h.NameLength = static_cast<std::uint16_t>(name.size() * 2);
    h.PayloadLength = static_cast<std::uint32_t>(payload.size());
    h.TotalLength = kNotificationFixedLength + h.NameLength + 12 + h.PayloadLength;
    std::vector<std::uint8_t> bytes;
    Append(&bytes, h);
    AppendText(&bytes, name);
    const std::uint8_t sid[12] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    bytes.insert(bytes.end(), sid, sid + 12);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

template <typename T>
std::vector<std::uint8_t> Bytes(const T& value) {
    std::vector<std::uint8_t> bytes;
    Append(&bytes, value);
    return bytes;
}

std::vector<std::uint8_t> WithText(std::vector<std::uint8_t> head, const std::u16string& text) {
    AppendText(&head, text);
    return head;
}

std::u16string TextOf(const VeskChar* text) {
    return text != nullptr ? std::u16string(text) : u"<null>";
}

struct Filled {
    std::vector<std::uint8_t> record;
    VeskNotification n{};
    ::VeskOperationData d{};
};

Filled Fill(std::vector<std::uint8_t> record) {
    Filled f;
    f.record = std::move(record);
    EXPECT_TRUE(RecordIsSound(f.record));
    std::memset(&f.d, 0xAB, sizeof f.d);  // what an earlier record left there
    FillClientRecords(f.record, &f.n, &f.d);
    return f;
}

TEST(ClientRecords, HeaderFieldsAndPointersIntoTheRecord) {
    Filled f = Fill(Record(::VeskCategoryFileSystem, ::VeskOpFlush, u"\\Device\\V1\\f", {}));
    EXPECT_EQ(+f.n.Category, 2u);
    EXPECT_EQ(+f.n.Operation, ::VeskOpFlush);
    EXPECT_EQ(+f.n.Status, 0xC0000034u);
    EXPECT_EQ(+f.n.ThreadId, 11u);
    EXPECT_EQ(+f.n.ProcessId, 22u);
    EXPECT_EQ(+f.n.SessionId, 3u);
    EXPECT_EQ(+f.n.AuthenticationId.LowPart, 0x3E7u);
    EXPECT_EQ(+f.n.AuthenticationId.HighPart, 1);
    EXPECT_EQ(+f.n.VolumeId, 0x1000u);
    EXPECT_EQ(+f.n.FileObjectId, 0x2000u);
    EXPECT_EQ(+f.n.VolumePrefixLength, 5);
    EXPECT_EQ(TextOf(f.n.Name), u"\\Device\\V1\\f");
    EXPECT_EQ(static_cast<const std::uint8_t*>(f.n.Sid), f.record.data() + 0x42 + 24);
    // A class without payload leaves no stale pointer in the union.
    const ::VeskOperationData zero{};
    EXPECT_EQ(std::memcmp(&f.d, &zero, sizeof zero), 0);
}

TEST(ClientRecords, EveryClassFillsItsLayout) {
    {
        const CreatePayload c{1, 0x42, 3, -5, 0x21, 7, 0x120089, 2};
        const Filled f = Fill(Record(2, ::VeskOpCreate, u"n", Bytes(c)));
        const VeskCreateData& o = f.d.Create;
        EXPECT_EQ(+o.Kind, 1u);
        EXPECT_EQ(+o.DesiredAccess, 0x120089u);
        EXPECT_EQ(+o.Attributes, 0x21u);
        EXPECT_EQ(+o.Disposition, 3u);
        EXPECT_EQ(+o.ShareAccess, 7u);
        EXPECT_EQ(+o.CreateOptions, 0x42u);
        EXPECT_EQ(+o.AllocationSize, -5);
        EXPECT_EQ(+o.Result, 2u);
    }
    {
        const Filled f = Fill(Record(2, ::VeskOpClose, u"n", Bytes(ClosePayload{2})));
        EXPECT_EQ(+f.d.Close.Kind, 2u);
    }
    for (std::uint32_t op : {::VeskOpRead, ::VeskOpWrite}) {
        std::vector<std::uint8_t> payload = Bytes(TransferPayload{4096, 100, 9, 3, 1, 0xA});
        payload.insert(payload.end(), {'a', 'b', 'c'});
        const Filled f = Fill(Record(2, op, u"n", payload));
        const VeskTransferData& t = f.d.Transfer;
        EXPECT_EQ(+t.Key, 9u);
        EXPECT_EQ(+t.RequestedLength, 100u);
        EXPECT_EQ(+t.Offset, 4096);
        EXPECT_EQ(+t.Kind, 1u);
        EXPECT_EQ(+t.Flags, 0xAu);
        EXPECT_EQ(+t.Length, 3u);
        ASSERT_NE(+t.Data, nullptr);
        EXPECT_EQ(std::memcmp(t.Data, "abc", 3), 0);
    }
    {
        const Filled f =
            Fill(Record(2, ::VeskOpRead, u"n", Bytes(TransferPayload{0, 1, 0, 77, 1, 0})));
        EXPECT_EQ(+f.d.Transfer.Data, nullptr) << "no data bytes follow";
    }
    for (std::uint32_t op : {::VeskOpMount, ::VeskOpAttach}) {
        const Filled f = Fill(Record(2, op, u"n", Bytes(VolumePayload{0x21, 1, 3})));
        EXPECT_EQ(+f.d.Volume.FileSystemType, 3u);
        EXPECT_EQ(+f.d.Volume.DeviceType, 1u);
        EXPECT_EQ(+f.d.Volume.VolumeFlags, 0x21u);
    }
    {
        const Filled f =
            Fill(Record(2, ::VeskOpLabel, u"n", WithText(Bytes(std::uint16_t{8}), u"DATA")));
        EXPECT_EQ(TextOf(f.d.Label.Label), u"DATA");
    }
    for (std::uint32_t op : {::VeskOpLink, ::VeskOpRename}) {
        const Filled f =
            Fill(Record(2, op, u"n", WithText(Bytes(LinkPayloadHeader{1, 8, 2}), u"\\V\\t")));
        EXPECT_EQ(+f.d.Link.ReplaceIfExists, 1u);
        EXPECT_EQ(TextOf(f.d.Link.Target), u"\\V\\t");
        EXPECT_EQ(+f.d.Link.TargetVolumePrefixLength, 2);
    }
    for (std::uint32_t op : {::VeskOpAllocation, ::VeskOpSize, ::VeskOpPosition,
                             ::VeskOpValidLength, ::VeskOpExtend}) {
        const Filled f = Fill(Record(2, op, u"n", Bytes(Int64Payload{123456789012})));
        EXPECT_EQ(+f.d.Value.Value, 123456789012);
    }
    {
        const Filled f =
            Fill(Record(2, ::VeskOpBasic, u"n", Bytes(BasicPayload{1, 2, 3, -1, 0x20})));
        EXPECT_EQ(+f.d.Basic.CreationTime, 1);
        EXPECT_EQ(+f.d.Basic.LastAccessTime, 2);
        EXPECT_EQ(+f.d.Basic.LastWriteTime, 3);
        EXPECT_EQ(+f.d.Basic.ChangeTime, -1);
        EXPECT_EQ(+f.d.Basic.Attributes, 0x20u);
    }
    {
        std::vector<std::uint8_t> payload = Bytes(SecurityPayloadHeader{1, 5, 2});
        payload.insert(payload.end(), {0x01, 0x00});
        const Filled f = Fill(Record(2, ::VeskOpSecurity, u"n", payload));
        EXPECT_EQ(+f.d.Security.ProtectionFlags, 1u);
        EXPECT_EQ(+f.d.Security.InformationTypes, 5u);
        EXPECT_EQ(+f.d.Security.DescriptorLength, 2u);
        EXPECT_EQ(+f.d.Security.Descriptor, f.record.data() + f.record.size() - 2);
    }
    for (std::uint32_t op : {::VeskOpEa, ::VeskOpQuota}) {
        std::vector<std::uint8_t> payload = Bytes(DataPayloadHeader{3});
        payload.insert(payload.end(), {7, 8, 9});
        const Filled f = Fill(Record(2, op, u"n", payload));
        EXPECT_EQ(+f.d.Sized.Length, 3u);
        EXPECT_EQ(+f.d.Sized.Data, f.record.data() + f.record.size() - 3);
    }
    {
        const Filled f = Fill(Record(2, ::VeskOpCompress, u"n", Bytes(CompressPayload{2})));
        EXPECT_EQ(+f.d.Compression.State, 2u);
    }
    {
        ObjectIdPayload o{2, {}};
        for (int i = 0; i < 48; ++i) {
            o.Block[i] = static_cast<std::uint8_t>(i + 1);
        }
        const Filled f = Fill(Record(2, ::VeskOpObjectId, u"n", Bytes(o)));
        EXPECT_EQ(+f.d.ObjectId.Kind, 2u);
        EXPECT_EQ(std::memcmp(f.d.ObjectId.ObjectId, o.Block, 48), 0);
    }
    {
        const Filled f = Fill(Record(2, ::VeskOpShrink, u"n", Bytes(ShrinkPayload{1, 4096})));
        EXPECT_EQ(+f.d.Shrink.NewSectorCount, 4096);
        EXPECT_EQ(+f.d.Shrink.Phase, 1u);
    }
    {
        ReparsePayloadHeader r{0xA000000C, {}, 1, 1, 1, 3};
        const Filled f = Fill(Record(2, ::VeskOpReparse, u"n", WithText(Bytes(r), u"..\\x")));
        EXPECT_EQ(+f.d.Reparse.Tag, 0xA000000Cu);
        EXPECT_EQ(+f.d.Reparse.Kind, 1u);
        EXPECT_EQ(+f.d.Reparse.Flags, 1u);
        EXPECT_EQ(+f.d.Reparse.Action, 1u);
        EXPECT_EQ(TextOf(f.d.Reparse.Target), u"..\\x");
        EXPECT_EQ(+f.d.Reparse.TargetVolumePrefixLength, 3);
    }
    {
        ReparsePayloadHeader r{0x12345678, {9, 9}, 4, 0, 1, 0};
        const Filled f = Fill(Record(2, ::VeskOpReparse, u"n", WithText(Bytes(r), u"")));
        EXPECT_EQ(+f.d.Reparse.Target, nullptr) << "a foreign tag has no target";
        EXPECT_EQ(+f.d.Reparse.Guid[0], 9);
    }
    for (std::uint32_t op : {0u, 1u}) {
        const Filled f = Fill(Record(1, op, u"/usr/bin/x", Bytes(ProcessPayload{500, 1})));
        EXPECT_EQ(+f.d.Process.ProcessId, 500u);
        EXPECT_EQ(+f.d.Process.ParentProcessId, 1u);
    }
}

TEST(RecordCheck, RecordWithoutNameOrPayload) {
    const auto record = Record(2, ::VeskOpDelete, u"", {});
    EXPECT_EQ(record.size(), 0x42u + 12);
    EXPECT_TRUE(RecordIsSound(record));
}

// A record the library would point into must not make it read past its end.
TEST(RecordCheck, DamagedRecordsAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> record;
    };
    std::vector<Case> cases;
    auto base = [] { return Record(2, ::VeskOpFlush, u"abc", {}); };
    {
        auto r = base();
        r[0x40 + 6] = 'x';  // name terminator missing
        cases.push_back({"name without terminator", r});
    }
    {
        auto r = base();
        r[0x3A] = 200;  // NameLength beyond the record
        cases.push_back({"name longer than the record", r});
    }
    {
        auto r = base();
        r[0x42 + 6] = 1;       // SID revision byte
        r[0x42 + 6 + 1] = 16;  // 16 sub-authorities: more than a SID has
        cases.push_back({"SID with too many sub-authorities", r});
    }
    {
        auto r = base();
        r[0x3C] = 4;  // PayloadLength that TotalLength does not count
        cases.push_back({"payload beyond the record", r});
    }
    {
        auto r = Record(2, ::VeskOpCreate, u"n", std::vector<std::uint8_t>(20));
        cases.push_back({"create payload shorter than its layout", r});
    }
    {
        std::vector<std::uint8_t> payload =
            Bytes(TransferPayload{0, 8, 0, 1000, 1, VeskTransferHasData});
        cases.push_back(
            {"read claiming more data than it carries", Record(2, ::VeskOpRead, u"n", payload)});
    }
    {
        auto payload = Bytes(LinkPayloadHeader{0, 40, 0});
        payload.insert(payload.end(), {'a', 0, 0, 0});
        cases.push_back(
            {"rename target longer than the payload", Record(2, ::VeskOpRename, u"n", payload)});
    }
    {
        std::vector<std::uint8_t> payload = Bytes(SecurityPayloadHeader{0, 1, 64});
        cases.push_back(
            {"descriptor beyond the payload", Record(2, ::VeskOpSecurity, u"n", payload)});
    }
    {
        auto payload = Bytes(ReparsePayloadHeader{1, {}, 1, 0, 1, 0});
        payload.insert(payload.end(), {'a', 0});
        cases.push_back(
            {"reparse target without terminator", Record(2, ::VeskOpReparse, u"n", payload)});
    }
    {
        auto payload = Bytes(std::uint16_t{4});
        payload.insert(payload.end(), {'a', 0, 'b', 0});
        cases.push_back({"label without terminator", Record(2, ::VeskOpLabel, u"n", payload)});
    }
    for (const Case& c : cases) {
        EXPECT_FALSE(RecordIsSound(c.record)) << c.what;
    }
}

TEST(RecordCheck, ReceivedLengthsAgainstThePortHeader) {
    std::uint32_t error = 0;
    std::vector<std::uint8_t> received(16);
    auto record = Record(2, ::VeskOpFlush, u"abc", {});
    received.insert(received.end(), record.begin(), record.end());
    EXPECT_EQ(ReceivedRecordLength(received, &error), record.size());
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(ReceivedRecordLength(std::span(received.data(), 79), &error), 0u);
    EXPECT_EQ(error, 232u);
    EXPECT_EQ(ReceivedRecordLength(std::span(received.data(), received.size() - 1), &error), 0u);
    EXPECT_EQ(error, 1359u);
}

}  // namespace
