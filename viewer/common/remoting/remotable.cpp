#include "remoting/remotable.h"

#include "rtl/base64.h"
#include "rtl/exceptions.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"

namespace nimbrel {
namespace {

bool TakesPart(const TPropInfo& Info, const TXMLBaseIO& IO, bool Writing) {
    switch (VolatileMode) {
        case 0:
            return Writing || !Info.Volatile;
        case 1:
            return !Info.Volatile || !IO.IsBasedOnVolatileStream();
        default:
            return false;
    }
}

std::string BytesText(const TBytes& Bytes) {
    return Base64Encode(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
}

void WriteValue(TXMLWriter& Writer, const TPropInfo& Info, const TPropValue& Value) {
    const std::string& name = Info.ElementName;
    switch (Info.Kind) {
        case TPropKind::Boolean:
            return Writer.WriteBool(name, std::get<bool>(Value));
        case TPropKind::Cardinal:
            return Writer.WriteUInt(name, std::get<std::uint32_t>(Value));
        case TPropKind::Ordinal:
            return Writer.WriteInteger(name, std::get<std::int32_t>(Value));
        case TPropKind::Int64:
            return Writer.WriteInt64(name, std::get<std::int64_t>(Value));
        case TPropKind::UInt64:
            return Writer.WriteUInt64(name, std::get<std::uint64_t>(Value));
        case TPropKind::DateTime:
            return Writer.WriteDateTime(name, std::get<double>(Value));
        case TPropKind::Date:
            return Writer.WriteDate(name, std::get<double>(Value));
        case TPropKind::Float:
            return Writer.WriteFloat(name, std::get<double>(Value));
        case TPropKind::String:
            return Writer.WriteString(name, std::get<std::string>(Value));
        case TPropKind::Bytes:
            return Writer.WriteString(name, BytesText(std::get<TBytes>(Value)));
        case TPropKind::Strings:
            // Lines ended by CR LF, as UTF-8, in Base64.
            return Writer.WriteString(name,
                                      Base64Encode(StringsToText(std::get<TStringList>(Value))));
        case TPropKind::Object:
        case TPropKind::Container:
            break;
    }
    NIMBREL_ASSERT(!"a value property");
}

TPropValue ReadValue(const TXMLReader& Reader, const TPropInfo& Info) {
    const std::string& name = Info.ElementName;
    switch (Info.Kind) {
        case TPropKind::Boolean:
            return Reader.ReadBool(name);
        case TPropKind::Cardinal:
            return Reader.ReadUInt(name);
        case TPropKind::Ordinal:
            return Reader.ReadInteger(name);
        case TPropKind::Int64:
            return Reader.ReadInt64(name);
        case TPropKind::UInt64:
            return Reader.ReadUInt64(name);
        case TPropKind::DateTime:
            return Reader.ReadDateTime(name);
        case TPropKind::Date:
            return Reader.ReadDate(name);
        case TPropKind::Float:
            return Reader.ReadFloat(name);
        case TPropKind::String:
            return Reader.ReadString(name);
        case TPropKind::Bytes: {
            const std::string bytes = Base64Decode(Reader.ReadString(name));
            return TBytes(bytes.begin(), bytes.end());
        }
        case TPropKind::Strings:
            return TextToStrings(Base64Decode(Reader.ReadString(name)));
        case TPropKind::Object:
        case TPropKind::Container:
            break;
    }
    NIMBREL_ASSERT(!"a value property");
    return {};
}

}  // namespace

const TPropTable& TRemotable::ClassProperties() {
    static const TPropTable table("TRemotable", nullptr, {});
    return table;
}

void TRemotable::SaveToXML(TXMLWriter& Writer) const {
    const auto& properties = Properties().Properties();
    if (properties.empty()) {
        return;
    }
    TSavePoint point(Writer);
    for (const TPropInfo& info : properties) {
        if (!TakesPart(info, Writer, true)) {
            continue;
        }
        if (info.Kind == TPropKind::Container) {
            info.Container(*this)->SaveToXML(Writer, info.ElementName);
        } else if (info.Kind == TPropKind::Object) {
            TSavePoint inner(Writer);
            Writer.AddNode(info.ElementName);
            info.Object(*this)->SaveToXML(Writer);
        } else {
            WriteValue(Writer, info, info.Get(*this));
        }
    }
}

void TRemotable::LoadFromXML(TXMLReader& Reader) {
    const auto& properties = Properties().Properties();
    if (properties.empty()) {
        return;
    }
    TSavePoint point(Reader);
    for (const TPropInfo& info : properties) {
        if (!TakesPart(info, Reader, false)) {
            continue;
        }
        if (info.Kind == TPropKind::Container) {
            info.Container(*this)->LoadFromXML(Reader, info.ElementName);
        } else if (info.Kind == TPropKind::Object) {
            TSavePoint inner(Reader);
            Reader.SelectNode(info.ElementName);
            info.Object(*this)->LoadFromXML(Reader);
        } else {
            info.Set(*this, ReadValue(Reader, info));
        }
    }
}

void TRemotable::AssignTo(TRemotable& Dest) const {
    const TPropTable& table = Properties();
    if (!Dest.Properties().InheritsFrom(table)) {
        throw EConvertError("Cannot assign a " + table.ClassName() + " to a " +
                            Dest.Properties().ClassName());
    }
    for (const TPropInfo& info : table.Properties()) {
        switch (info.Kind) {
            case TPropKind::Object:
                info.Object(Dest)->Assign(*info.Object(*this));
                break;
            case TPropKind::Container:
                break;
            default:
                info.Set(Dest, info.Get(*this));
                break;
        }
    }
}

}  // namespace nimbrel
