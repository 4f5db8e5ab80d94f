#include "types/identified_item.h"

namespace nimbrel {

const TPropTable& TIdentifiedItem::ClassProperties() {
    static const TPropTable table("TIdentifiedItem", &TRemotable::ClassProperties(),
                                  {Field<&TIdentifiedItem::FID>("ID")});
    return table;
}

const TPropTable& TNamedItem::ClassProperties() {
    static const TPropTable table("TNamedItem", &TIdentifiedItem::ClassProperties(),
                                  {Field<&TNamedItem::FName>("Name")});
    return table;
}

}  // namespace nimbrel
