// Blocks of set-information operations: allocation, basic information, size, position and valid
// data length.
#include <cinttypes>
#include <optional>

#include "local_time.h"
#include "output.h"
#include "printer_blocks.h"

namespace vesk::console {

namespace {

std::string ValueBlock(const char* title, const char* line, const RecordText& record) {
    return CommonLines(title, record) +
           Format(line, static_cast<std::uint64_t>(record.data.Value.Value)) + "\r\n";
}

// 0 and all-ones mean "leave this time alone"; a time that has no local calendar form is left out
// too rather than printed wrong.
void AppendTime(const char* label, std::int64_t time, std::string* text) {
    if (time == 0 || time == -1) {
        return;
    }
    const std::optional<std::string> local = FormatLocalTime(static_cast<std::uint64_t>(time));
    if (local) {
        *text += Format("    %s: %s\r\n", label, local->c_str());
    }
}

}  // namespace

std::string AllocationBlock(const RecordText& record) {
    return ValueBlock("  Allocation:\r\n", "    Allocation size: %" PRIu64 " bytes\r\n", record);
}

std::string BasicBlock(const RecordText& record) {
    const VeskBasicData& b = record.data.Basic;
    std::string text = CommonLines("  Basic:\r\n", record);
    text += Format("    File attributes: %u\r\n", b.Attributes);
    AppendTime("Creation time", b.CreationTime, &text);
    AppendTime("Last access time", b.LastAccessTime, &text);
    AppendTime("Last modified time", b.LastWriteTime, &text);
    AppendTime("Change time", b.ChangeTime, &text);
    return text + "\r\n";
}

std::string SizeBlock(const RecordText& record) {
    return ValueBlock("  Size:\r\n", "    New file size: %" PRIu64 " bytes\r\n", record);
}

std::string PositionBlock(const RecordText& record) {
    return ValueBlock("  Position:\r\n", "    New file position: %" PRIu64 " bytes\r\n", record);
}

std::string ValidLengthBlock(const RecordText& record) {
    return ValueBlock("  Valid length:\r\n", "    Valid data length: %" PRIu64 " bytes\r\n",
                      record);
}

}  // namespace vesk::console
