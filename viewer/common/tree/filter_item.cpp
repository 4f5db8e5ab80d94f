#include "tree/filter_item.h"

namespace nimbrel {

const TPropTable& TFilterItem::ClassProperties() {
    static const TPropTable table(
        "TFilterItem", &TRemotable::ClassProperties(),
        {Field<&TFilterItem::FKind>("Kind"), Field<&TFilterItem::FUserID>("UserID"),
         Field<&TFilterItem::FProcID>("ProcID"),
         Field<&TFilterItem::FPastDate>("PastDate", TPropKind::Date)});
    return table;
}

}  // namespace nimbrel
