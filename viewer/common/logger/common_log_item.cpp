#include "logger/common_log_item.h"

namespace nimbrel {

const TPropTable& TCommonLogItem::ClassProperties() {
    static const TPropTable table(
        "TCommonLogItem", &TIdentifiedItem::ClassProperties(),
        {Field<&TCommonLogItem::FMsg>("Msg"),
         Field<&TCommonLogItem::FTimeStamp>("TimeStamp", TPropKind::DateTime),
         Field<&TCommonLogItem::FSeverity>("Severity")});
    return table;
}

}  // namespace nimbrel
