// The parameters of a command request and how they are written into the request document.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "http_comm/cmd_writer.h"
#include "http_comm/xml_command.h"

namespace nimbrel {

class IXMLSaveLoad;
class TRemotable;

// A fixed-point amount: the value times 10000.
struct TCurrency {
    std::int64_t Scaled = 0;
};

// One named parameter. The value's type chooses how it is written:
//   std::int32_t WriteInteger; bool WriteBool; double WriteFloat (WriteDate when the name begins
//   with "@", which is dropped from the element name); TCurrency WriteFloat of Scaled / 10000;
//   text WriteString; std::int64_t WriteInt64; std::uint64_t WriteUInt64;
//   a remotable object: an element of that name holding the object's properties. The cursor
//   stays inside that element, so later parameters of the same request are written inside it;
//   a container (IXMLSaveLoad): its own element of that name.
// Objects are referenced, not copied: they must live until the request is built.
class TCommandParam {
  public:
    using TValue = std::variant<std::int32_t, bool, double, TCurrency, std::string, std::int64_t,
                                std::uint64_t, const TRemotable*, const IXMLSaveLoad*>;

    TCommandParam(std::string_view Name, std::int32_t Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, bool Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, double Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, TCurrency Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, std::string_view Value)
        : FName(Name), FValue(std::string(Value)) {}
    TCommandParam(std::string_view Name, const char* Value)
        : FName(Name), FValue(std::string(Value)) {}
    TCommandParam(std::string_view Name, std::int64_t Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, std::uint64_t Value) : FName(Name), FValue(Value) {}
    TCommandParam(std::string_view Name, const TRemotable& Value) : FName(Name), FValue(&Value) {}
    TCommandParam(std::string_view Name, const IXMLSaveLoad& Value) : FName(Name), FValue(&Value) {}

    const std::string& Name() const { return FName; }
    const TValue& Value() const { return FValue; }

  private:
    std::string FName;
    TValue FValue;
};

// Writes Command and the parameters, in order, into the (cleared) writer's document; the
// writer's SaveToStream then appends "command" and "status". A name with "@" whose value is not
// a date (double) is a programming error.
void BuildCommandRequest(TCMDWriter& Writer, TXMLCommand Command,
                         std::span<const TCommandParam> Params);

}  // namespace nimbrel
