// What the monitoring service records: path, mask and process lists, each inclusive or
// exclusive, and the operation kinds.
#pragma once

#include <cstdint>
#include <string_view>

#include "remoting/remotable.h"
#include "rtl/string_list.h"
#include "tree/oper_kind.h"

namespace nimbrel {

enum TFilterType : std::int32_t { ftInclusive, ftExclusive };

// "Include %s" or "Exclude %s" (the settings dialog formats a noun into it); empty for an
// unknown ordinal.
std::string_view FilterTypeFormat(TFilterType Value);

class TFilter : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    TFilterType PathType() const { return FPathType; }
    void SetPathType(TFilterType Value) { FPathType = Value; }
    TFilterType MaskType() const { return FMaskType; }
    void SetMaskType(TFilterType Value) { FMaskType = Value; }
    TFilterType ProcType() const { return FProcType; }
    void SetProcType(TFilterType Value) { FProcType = Value; }
    // Folder paths, file name masks and process names; streamed as Base64 text.
    TStringList& PathNames() { return FPathNames; }
    const TStringList& PathNames() const { return FPathNames; }
    TStringList& MaskNames() { return FMaskNames; }
    const TStringList& MaskNames() const { return FMaskNames; }
    TStringList& ProcNames() { return FProcNames; }
    const TStringList& ProcNames() const { return FProcNames; }
    // The operation kinds that are recorded.
    TOperKinds OperKinds() const { return FOperKinds; }
    void SetOperKinds(TOperKinds Value) { FOperKinds = Value; }

  private:
    TFilterType FPathType = ftInclusive;
    TFilterType FMaskType = ftInclusive;
    TFilterType FProcType = ftInclusive;
    TStringList FPathNames;
    TStringList FMaskNames;
    TStringList FProcNames;
    TOperKinds FOperKinds;
};

}  // namespace nimbrel
