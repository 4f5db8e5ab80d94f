#include "tree/oper_kind.h"

namespace nimbrel {

std::string_view OperKindName(TOperKind Kind) {
    static constexpr std::string_view kNames[kOperKindCount] = {
        "Any", "Create", "Read", "Write", "Delete", "Move", "Link", "Security", "Attributes"};
    return Kind >= 0 && Kind < kOperKindCount ? kNames[Kind] : std::string_view();
}

}  // namespace nimbrel
