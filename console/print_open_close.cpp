// Blocks of creates (opens) and closes.
#include <cstdint>

#include "name_tables.h"
#include "output.h"
#include "printer_blocks.h"
#include "text_conversion.h"

namespace vesk::console {

namespace {

// A binary SID: revision, sub-authority count, 6-byte authority, 4 bytes per sub-authority.
std::uint32_t SidLength(const void* sid) {
    if (sid == nullptr) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    return 8u + 4u * bytes[1];
}

}  // namespace

std::string CreateBlock(const RecordText& record) {
    const VeskNotification& n = record.notification;
    const VeskCreateData& c = record.data.Create;
    VeskChar* account = nullptr;
    const std::string accountText =
        VeskGetAccountName(n.Sid, &account, nullptr) ? ToUtf8(account) : "(Unknown)";
    VeskFreeString(&account);

    std::string text = CommonLines("  Create:\r\n", record);
    if (record.uncResolved) {
        text += Format("    Share: %s\r\n", record.uncName.c_str());
    }
    text += Format("    Account = %s, SID size = %u\r\n", accountText.c_str(), SidLength(n.Sid));
    text += Format("    Type = %s, result = %s\r\n", CreateKindName(c.Kind),
                   CreateResultName(c.Result));
    text += Format("    Share access = %X, desired access = %X\r\n", c.ShareAccess,
                   c.DesiredAccess);
    text += Format("    Disposition = %s, options = %X, attributes = %X\r\n",
                   DispositionName(c.Disposition), c.CreateOptions, c.Attributes);
    return text + "\r\n";
}

std::string CloseBlock(const RecordText& record) {
    return CommonLines("  Close:\r\n", record) +
           Format("    Type: %s\r\n", CloseKindName(record.data.Close.Kind)) + "\r\n";
}

}  // namespace vesk::console
