// The filter sent with event queries. Every field at its default means "any".
#pragma once

#include <cstdint>

#include "remoting/remotable.h"
#include "rtl/date_time.h"
#include "tree/oper_kind.h"

namespace nimbrel {

class TFilterItem : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    // okNone: any kind.
    TOperKind Kind() const { return FKind; }
    void SetKind(TOperKind Value) { FKind = Value; }
    // 0: any user; 0: any process.
    std::uint64_t UserID() const { return FUserID; }
    void SetUserID(std::uint64_t Value) { FUserID = Value; }
    std::uint64_t ProcID() const { return FProcID; }
    void SetProcID(std::uint64_t Value) { FProcID = Value; }
    // 0: no time limit; otherwise only operations on or after this date.
    TDate PastDate() const { return FPastDate; }
    void SetPastDate(TDate Value) { FPastDate = Value; }

  private:
    TOperKind FKind = okNone;
    std::uint64_t FUserID = 0;
    std::uint64_t FProcID = 0;
    TDate FPastDate = 0;
};

}  // namespace nimbrel
