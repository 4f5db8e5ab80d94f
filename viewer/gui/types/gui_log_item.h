// Log entries as the log view lists them.
#pragma once

#include "logger/common_log_item.h"
#include "types/remotable_list.h"

namespace nimbrel {

class TGUILogItem : public TCommonLogItem {};

class TGUILogList : public TRemotableList<TGUILogItem> {
  public:
    using TRemotableList::TRemotableList;
};

}  // namespace nimbrel
