// One entry of the monitoring server's own log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/date_time.h"
#include "types/identified_item.h"

namespace nimbrel {

enum TLogItemSeverity : std::int32_t { isError, isWarning, isInfo };

class TCommonLogItem : public TIdentifiedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    const std::string& Msg() const { return FMsg; }
    void SetMsg(std::string Value) { FMsg = std::move(Value); }
    TDateTime TimeStamp() const { return FTimeStamp; }
    void SetTimeStamp(TDateTime Value) { FTimeStamp = Value; }
    TLogItemSeverity Severity() const { return FSeverity; }
    void SetSeverity(TLogItemSeverity Value) { FSeverity = Value; }

  private:
    std::string FMsg;
    TDateTime FTimeStamp = 0;
    TLogItemSeverity FSeverity = isError;
};

}  // namespace nimbrel
