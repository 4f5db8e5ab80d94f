// Scheduled reports as the report manager lists them.
#pragma once

#include "reports/report_item.h"
#include "types/gui_managed_list.h"

namespace nimbrel {

class TGUIReportItem : public TCommonReportItem {};

class TGUIReportList : public TGUIManagedList<TGUIReportItem> {
  public:
    using TGUIManagedList::TGUIManagedList;
};

}  // namespace nimbrel
