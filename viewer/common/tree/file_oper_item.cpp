#include "tree/file_oper_item.h"

#include "rtl/number_text.h"

namespace nimbrel {
namespace {

std::uint64_t UnsignedOrZero(std::string_view Text) {
    std::uint64_t value = 0;
    return TryStrToUInt64(Text, value) ? value : 0;
}

}  // namespace

const TPropTable& TFileOperItem::ClassProperties() {
    static const TPropTable table(
        "TFileOperItem", &TIdentifiedItem::ClassProperties(),
        {Field<&TFileOperItem::FKind>("Kind"), Field<&TFileOperItem::FUserID>("UserID"),
         Field<&TFileOperItem::FProcID>("ProcID"),
         Accessor<&TFileOperItem::OperData, &TFileOperItem::SetOperData>("OperData"),
         Field<&TFileOperItem::FTimeStamp>("TimeStamp", TPropKind::DateTime)});
    return table;
}

std::string TFileOperItem::OperData() const {
    struct {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(std::uint32_t Value) const { return std::to_string(Value); }
        std::string operator()(std::uint64_t Value) const { return std::to_string(Value); }
        std::string operator()(const std::string& Value) const { return Value; }
    } text;
    return std::visit(text, FOperInfo);
}

void TFileOperItem::SetOperData(const std::string& Text) {
    switch (FKind) {
        case okCreate:
        case okAttributes:
            FOperInfo = static_cast<std::uint32_t>(UnsignedOrZero(Text));
            break;
        case okRead:
        case okWrite:
            FOperInfo = UnsignedOrZero(Text);
            break;
        case okMove:
        case okLink:
            FOperInfo = Text;
            break;
        case okNone:
        case okDelete:
        case okSecurity:
            FOperInfo = std::monostate();
            break;
        default:
            // A kind of a newer server: keep its data unchanged.
            FOperInfo = Text;
            break;
    }
}

std::string_view CreateOutcomeName(std::uint32_t Code) {
    static constexpr std::string_view kNames[] = {"Created", "Rewritten", "Superseded"};
    const std::uint32_t outcome = Code & 0x7F;
    return outcome < 3 ? kNames[outcome] : std::string_view();
}

}  // namespace nimbrel
