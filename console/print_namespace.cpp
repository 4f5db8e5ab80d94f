// Blocks of the operations that change where a file is named: delete, link and move.
#include "output.h"
#include "printer_blocks.h"

namespace vesk::console {

std::string DeleteBlock(const RecordText& record) {
    return CommonLines("  Delete:\r\n", record) + "\r\n";
}

std::string LinkBlock(const RecordText& record) {
    return CommonLines("  Link:\r\n", record) +
           Format("    Link name: %s\r\n", record.target.c_str()) + "\r\n";
}

std::string MoveBlock(const RecordText& record) {
    return CommonLines("  Move:\r\n", record) +
           Format("    New file name: %s\r\n", record.target.c_str()) + "\r\n";
}

}  // namespace vesk::console
