// Blocks of file-system controls: compression, sparse files, object identifiers, volume extend
// and shrink, reparse points.
#include <cinttypes>
#include <cstring>

#include "name_tables.h"
#include "output.h"
#include "printer_blocks.h"

namespace vesk::console {

namespace {

constexpr std::uint32_t kForeignReparse = 4;

// The registry form of a GUID: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, fields little-endian.
std::string GuidText(const std::uint8_t bytes[16]) {
    VeskGuid g;
    std::memcpy(&g, bytes, sizeof g);
    return Format("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
}

}  // namespace

std::string CompressBlock(const RecordText& record) {
    return CommonLines("  Compress:\r\n", record) +
           Format("    New state: %s\r\n", CompressionStateName(record.data.Compression.State)) +
           "\r\n";
}

std::string SparseBlock(const RecordText& record) {
    return CommonLines("  Sparse:\r\n", record) + "\r\n";
}

std::string ObjectIdBlock(const RecordText& record) {
    return CommonLines("  Object ID:\r\n", record) +
           Format("    Type: %s\r\n", ObjectIdActionName(record.data.ObjectId.Kind)) + "\r\n";
}

std::string ExtendBlock(const RecordText& record) {
    return CommonLines("  Extend:\r\n", record) +
           Format("    New volume size: %" PRIu64 " sectors\r\n",
                  static_cast<std::uint64_t>(record.data.Value.Value)) +
           "\r\n";
}

std::string ShrinkBlock(const RecordText& record) {
    const VeskShrinkData& s = record.data.Shrink;
    return CommonLines("  Shrink:\r\n", record) +
           Format("    New volume size: %" PRIu64 " sectors\r\n",
                  static_cast<std::uint64_t>(s.NewSectorCount)) +
           Format("    Requested action: %s\r\n", ShrinkPhaseName(s.Phase)) + "\r\n";
}

std::string ReparseBlock(const RecordText& record) {
    const VeskReparseData& r = record.data.Reparse;
    std::string text = CommonLines("  Reparse:\r\n", record);
    text += Format("    Type: %s\r\n", ReparseKindName(r.Kind));
    text += Format("    Action: %s\r\n", ReparseActionName(r.Action));
    text += Format("    Flags: %s\r\n", ReparseFlagsName(r.Flags));
    if (r.Kind == kForeignReparse) {
        text += Format("    GUID: %s\r\n", GuidText(r.Guid).c_str());
    } else if (r.Kind == 1 || r.Kind == 2) {
        text += Format("    Target: %s\r\n", record.target.c_str());
    }
    return text + "\r\n";
}

}  // namespace vesk::console
