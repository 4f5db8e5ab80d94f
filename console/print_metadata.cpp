// Blocks of security, extended-attribute and quota changes.
#include "name_tables.h"
#include "output.h"
#include "printer_blocks.h"

namespace vesk::console {

std::string SecurityBlock(const RecordText& record) {
    const VeskSecurityData& s = record.data.Security;
    std::string text = CommonLines("  Security:\r\n", record);
    text += Format("    Flags: %s = %08X\r\n", ProtectionFlagsName(s.ProtectionFlags),
                   s.ProtectionFlags);
    text += Format("    Types: %s = %08X\r\n", SecurityInformationName(s.InformationTypes),
                   s.InformationTypes);
    text += Format("    SD size: %u bytes\r\n", s.DescriptorLength);
    return text + "\r\n";
}

std::string EaBlock(const RecordText& record) {
    return CommonLines("  EA:\r\n", record) +
           Format("    Size: %u bytes\r\n", record.data.Sized.Length) + "\r\n";
}

std::string QuotaBlock(const RecordText& record) {
    return CommonLines("  Quota:\r\n", record) +
           Format("    Size: %u bytes\r\n", record.data.Sized.Length) + "\r\n";
}

}  // namespace vesk::console
