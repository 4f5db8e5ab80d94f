#include "http_comm/command_params.h"

#include "remoting/remotable.h"
#include "rtl/exceptions.h"
#include "types/xml_save_load.h"

namespace nimbrel {

void BuildCommandRequest(TCMDWriter& Writer, TXMLCommand Command,
                         std::span<const TCommandParam> Params) {
    Writer.SetCommand(Command);
    Writer.SelectRoot();
    for (const TCommandParam& param : Params) {
        const std::string& name = param.Name();
        if (name.starts_with('@')) {
            NIMBREL_ASSERT(std::holds_alternative<double>(param.Value()));
            Writer.WriteDate(std::string_view(name).substr(1), std::get<double>(param.Value()));
            continue;
        }
        struct {
            TCMDWriter& Writer;
            const std::string& Name;
            void operator()(std::int32_t Value) const { Writer.WriteInteger(Name, Value); }
            void operator()(bool Value) const { Writer.WriteBool(Name, Value); }
            void operator()(double Value) const { Writer.WriteFloat(Name, Value); }
            void operator()(TCurrency Value) const {
                Writer.WriteFloat(Name, static_cast<double>(Value.Scaled) / 10000.0);
            }
            void operator()(const std::string& Value) const { Writer.WriteString(Name, Value); }
            void operator()(std::int64_t Value) const { Writer.WriteInt64(Name, Value); }
            void operator()(std::uint64_t Value) const { Writer.WriteUInt64(Name, Value); }
            void operator()(const TRemotable* Value) const {
                Writer.AddNode(Name);
                Value->SaveToXML(Writer);
            }
            void operator()(const IXMLSaveLoad* Value) const { Value->SaveToXML(Writer, Name); }
        } write{Writer, name};
        std::visit(write, param.Value());
    }
}

}  // namespace nimbrel
