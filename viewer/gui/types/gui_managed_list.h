// Lists the windows manage (copy, paste, add, delete), with the clipboard test for pasting.
#pragma once

#include <string_view>

#include "remoting/clipboard_text.h"
#include "types/remotable_list.h"

namespace nimbrel {

template <class T>
class TGUIManagedList : public TRemotableList<T> {
  public:
    using TRemotableList<T>::TRemotableList;

    // True when the clipboard's text begins with "<root>".
    static bool CanPaste(std::string_view ClipboardText) {
        return IsClipboardDocument(ClipboardText);
    }
};

}  // namespace nimbrel
