// One recorded file operation (an event), and lists of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "rtl/date_time.h"
#include "tree/oper_kind.h"
#include "types/identified_item.h"
#include "types/remotable_list.h"

namespace nimbrel {

// The kind-specific data of an operation, in its own type:
//   okCreate      outcome code (std::uint32_t; its low 7 bits index CreateOutcomeName)
//   okRead/Write  bytes read or written (std::uint64_t)
//   okMove/Link   the target's full name (std::string)
//   okAttributes  the new attribute flags (std::uint32_t)
//   okNone, okDelete, okSecurity: nothing (std::monostate)
// For a kind this viewer does not know, the text as the server sent it (std::string).
using TOperInfo = std::variant<std::monostate, std::uint32_t, std::uint64_t, std::string>;

class TFileOperItem : public TIdentifiedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    TOperKind Kind() const { return FKind; }
    void SetKind(TOperKind Value) { FKind = Value; }
    // Keys into the controller's user and process name tables.
    std::uint64_t UserID() const { return FUserID; }
    void SetUserID(std::uint64_t Value) { FUserID = Value; }
    std::uint64_t ProcID() const { return FProcID; }
    void SetProcID(std::uint64_t Value) { FProcID = Value; }
    // Local time of the operation.
    TDateTime TimeStamp() const { return FTimeStamp; }
    void SetTimeStamp(TDateTime Value) { FTimeStamp = Value; }

    const TOperInfo& OperInfo() const { return FOperInfo; }
    void SetOperInfo(TOperInfo Value) { FOperInfo = std::move(Value); }

    // The text form of OperInfo: numbers in decimal, names as they are, nothing as "".
    std::string OperData() const;
    // Interprets Text by the current Kind, which must therefore be set first (the property
    // order guarantees it when loading). Numbers that do not parse become 0; for okCreate and
    // okAttributes the low 32 bits are kept; kinds without data ignore the text.
    void SetOperData(const std::string& Text);

  private:
    TOperKind FKind = okNone;
    std::uint64_t FUserID = 0;
    std::uint64_t FProcID = 0;
    TOperInfo FOperInfo;
    TDateTime FTimeStamp = 0;
};

class TFileOperList : public TRemotableList<TFileOperItem> {
  public:
    using TRemotableList::TRemotableList;
};

// "Created", "Rewritten" or "Superseded" for outcome codes 0 to 2 after masking with 0x7F; the
// empty text for any other code.
std::string_view CreateOutcomeName(std::uint32_t Code);

}  // namespace nimbrel
