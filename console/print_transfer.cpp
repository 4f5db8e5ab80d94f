// Blocks of reads, writes and flushes.
#include <algorithm>
#include <cinttypes>

#include "name_tables.h"
#include "output.h"
#include "printer_blocks.h"

namespace vesk::console {

namespace {

constexpr std::uint32_t kDataFollows = 0x8;
constexpr std::uint32_t kBytesShown = 16;

}  // namespace

std::string TransferBlock(const char* title, const RecordText& record) {
    const VeskTransferData& t = record.data.Transfer;
    std::string text = CommonLines(Format("  %s:\r\n", title).c_str(), record);
    text += Format("    Type = %s, flags = %X\r\n", TransferKindName(t.Kind), t.Flags);
    text += Format("    Offset = %" PRIu64 ", size = %u, key = %08X\r\n",
                   static_cast<std::uint64_t>(t.Offset), t.Length, t.Key);
    const std::uint32_t length = t.Length;  // a packed field: read by value, never by reference
    if (t.Data != nullptr && length != 0 && (t.Flags & kDataFollows) != 0) {
        text += "    Data = ";
        for (std::uint32_t i = 0; i < std::min(length, kBytesShown); ++i) {
            text += Format("%02X ", t.Data[i]);
        }
        if (length > kBytesShown) {
            text += "...";
        }
        text += "\r\n";
    }
    return text + "\r\n";
}

std::string FlushBlock(const RecordText& record) {
    return CommonLines("  Flush:\r\n", record) + "\r\n";
}

}  // namespace vesk::console
