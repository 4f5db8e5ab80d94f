#include "settings/filter.h"

namespace nimbrel {

std::string_view FilterTypeFormat(TFilterType Value) {
    static constexpr std::string_view kFormats[] = {"Include %s", "Exclude %s"};
    return Value >= 0 && Value < 2 ? kFormats[Value] : std::string_view();
}

const TPropTable& TFilter::ClassProperties() {
    static const TPropTable table(
        "TFilter", &TRemotable::ClassProperties(),
        {Field<&TFilter::FPathType>("PathType"), Field<&TFilter::FMaskType>("MaskType"),
         Field<&TFilter::FProcType>("ProcType"), Field<&TFilter::FPathNames>("PathNames"),
         Field<&TFilter::FMaskNames>("MaskNames"), Field<&TFilter::FProcNames>("ProcNames"),
         Field<&TFilter::FOperKinds>("OperKinds")});
    return table;
}

}  // namespace nimbrel
