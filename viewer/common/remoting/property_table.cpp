#include "remoting/property_table.h"

#include "rtl/ascii_text.h"

namespace nimbrel {

TPropTable::TPropTable(std::string_view ClassName, const TPropTable* Parent,
                       std::vector<TPropInfo> Own)
    : FClassName(ClassName), FParent(Parent) {
    if (Parent != nullptr) {
        FProperties = Parent->Properties();
    }
    for (auto& info : Own) {
        FProperties.push_back(std::move(info));
    }
}

bool TPropTable::InheritsFrom(const TPropTable& Other) const {
    for (const TPropTable* table = this; table != nullptr; table = table->FParent) {
        if (table == &Other) {
            return true;
        }
    }
    return false;
}

namespace property_detail {

TPropInfo MakeInfo(std::string_view Name, TPropKind Kind) {
    return TPropInfo{std::string(Name), AsciiLowerCase(Name), Kind, false};
}

}  // namespace property_detail

TPropInfo AsVolatile(TPropInfo Info) {
    Info.Volatile = true;
    return Info;
}

}  // namespace nimbrel
