// One node of the monitored file tree, and lists of them.
#pragma once

#include <cstdint>

#include "tree/oper_kind.h"
#include "types/identified_item.h"
#include "types/remotable_list.h"

namespace nimbrel {

// ID identifies the node for listing its children and its events. Name is one path component in
// tree listings and the full path (components separated by backslashes) in search results.
class TFileTreeItem : public TNamedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    bool Children() const { return FChildren; }
    void SetChildren(bool Value) { FChildren = Value; }
    // The kind of the last operation recorded on the node.
    TOperKind LastKind() const { return FLastKind; }
    void SetLastKind(TOperKind Value) { FLastKind = Value; }
    // Windows file attribute flags (0x10 marks a directory).
    std::uint32_t Attributes() const { return FAttributes; }
    void SetAttributes(std::uint32_t Value) { FAttributes = Value; }

  private:
    bool FChildren = false;
    TOperKind FLastKind = okNone;
    std::uint32_t FAttributes = 0;
};

class TFileTreeList : public TRemotableList<TFileTreeItem> {
  public:
    using TRemotableList::TRemotableList;
};

}  // namespace nimbrel
