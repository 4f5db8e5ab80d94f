// One row of the chronological view of all operations, and lists of them.
#pragma once

#include <cstdint>
#include <string>

#include "tree/file_oper_item.h"

namespace nimbrel {

class TChronologicalItem : public TFileOperItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    // The full path of the file.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(std::string Value) { FFileName = std::move(Value); }
    std::uint32_t Attributes() const { return FAttributes; }
    void SetAttributes(std::uint32_t Value) { FAttributes = Value; }

  private:
    std::string FFileName;
    std::uint32_t FAttributes = 0;
};

class TChronologicalList : public TRemotableList<TChronologicalItem> {
  public:
    using TRemotableList::TRemotableList;
};

}  // namespace nimbrel
