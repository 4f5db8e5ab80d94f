#include "tree/file_tree_item.h"

namespace nimbrel {

const TPropTable& TFileTreeItem::ClassProperties() {
    static const TPropTable table(
        "TFileTreeItem", &TNamedItem::ClassProperties(),
        {Field<&TFileTreeItem::FChildren>("Children"), Field<&TFileTreeItem::FLastKind>("LastKind"),
         Field<&TFileTreeItem::FAttributes>("Attributes")});
    return table;
}

}  // namespace nimbrel
