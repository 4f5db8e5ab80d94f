#include "tree/chronological_item.h"

namespace nimbrel {

const TPropTable& TChronologicalItem::ClassProperties() {
    static const TPropTable table("TChronologicalItem", &TFileOperItem::ClassProperties(),
                                  {Field<&TChronologicalItem::FFileName>("FileName"),
                                   Field<&TChronologicalItem::FAttributes>("Attributes")});
    return table;
}

}  // namespace nimbrel
