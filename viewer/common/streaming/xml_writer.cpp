#include "streaming/xml_writer.h"

#include <string>

#include "rtl/exceptions.h"
#include "rtl/number_text.h"

namespace nimbrel {
namespace {

bool IsXmlWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Writes the serialised document into the stream. The parser of any reader turns CR and CR LF
// inside text into LF, so a CR of a value is written as a character reference to survive. The
// serialiser itself ends lines with LF only (and only in the readable form); those become CR LF.
class TStreamXmlWriter : public pugi::xml_writer {
  public:
    TStreamXmlWriter(TMemoryStream& Stream, bool LinesWithCR)
        : FStream(Stream), FLinesWithCR(LinesWithCR) {}

    void write(const void* data, std::size_t size) override {
        std::string_view chunk(static_cast<const char*>(data), size);
        while (!chunk.empty()) {
            const std::size_t special = chunk.find_first_of(FLinesWithCR ? "\r\n" : "\r");
            FStream.Write(chunk.substr(0, special));
            if (special == std::string_view::npos) {
                break;
            }
            FStream.Write(chunk[special] == '\r' ? std::string_view("&#13;") : "\r\n");
            chunk.remove_prefix(special + 1);
        }
    }

  private:
    TMemoryStream& FStream;
    bool FLinesWithCR;
};

std::string TwoDigits(int Value) {
    return {static_cast<char>('0' + Value / 10 % 10), static_cast<char>('0' + Value % 10)};
}

TDateTimeParts DecodeForText(TDateTime Value) {
    TDateTimeParts parts;
    if (!TryDecodeDateTime(Value, parts)) {
        throw EConvertError("Invalid date value " + FloatToStr(Value));
    }
    return parts;
}

std::string DateText(const TDateTimeParts& Parts) {
    return TwoDigits(Parts.Year / 100) + TwoDigits(Parts.Year % 100) + '-' +
           TwoDigits(Parts.Month) + '-' + TwoDigits(Parts.Day);
}

}  // namespace

void TXMLWriter::Clear() {
    FStream.Clear();
    Reset();
}

void TXMLWriter::AddNode(std::string_view NodeName) {
    FCurrNode = FCurrNode.append_child(std::string(NodeName).c_str());
}

void TXMLWriter::WriteString(std::string_view NodeName, std::string_view Value) {
    pugi::xml_node node = FCurrNode.append_child(std::string(NodeName).c_str());
    // Text of white space only is stored as empty text, as any reader gives it back anyway.
    for (const char c : Value) {
        if (!IsXmlWhiteSpace(c)) {
            node.text().set(Value.data(), Value.size());
            break;
        }
    }
}

void TXMLWriter::WriteInteger(std::string_view NodeName, std::int32_t Value) {
    WriteString(NodeName, std::to_string(Value));
}

void TXMLWriter::WriteUInt(std::string_view NodeName, std::uint32_t Value) {
    WriteString(NodeName, std::to_string(Value));
}

void TXMLWriter::WriteInt64(std::string_view NodeName, std::int64_t Value) {
    WriteString(NodeName, std::to_string(Value));
}

void TXMLWriter::WriteUInt64(std::string_view NodeName, std::uint64_t Value) {
    WriteString(NodeName, std::to_string(Value));
}

void TXMLWriter::WriteFloat(std::string_view NodeName, double Value) {
    WriteString(NodeName, FloatToStr(Value));
}

void TXMLWriter::WriteDate(std::string_view NodeName, TDate Value) {
    WriteString(NodeName, DateText(DecodeForText(Value)));
}

void TXMLWriter::WriteDateTime(std::string_view NodeName, TDateTime Value) {
    // Fractions of a second are dropped, not rounded. The time separator is always ":", so the
    // text does not depend on the user's locale (readers skip the separators anyway).
    const TDateTimeParts parts = DecodeForText(Value);
    WriteString(NodeName, DateText(parts) + 'T' + TwoDigits(parts.Hour) + ':' +
                              TwoDigits(parts.Minute) + ':' + TwoDigits(parts.Second));
}

void TXMLWriter::WriteBool(std::string_view NodeName, bool Value) {
    WriteString(NodeName, Value ? "1" : "0");
}

void TXMLWriter::SaveToStream() {
    TStreamXmlWriter writer(FStream, FReadable);
    const unsigned flags =
        pugi::format_no_declaration | (FReadable ? pugi::format_indent : pugi::format_raw);
    FXMLDoc.save(writer, "\t", flags, pugi::encoding_utf8);
}

}  // namespace nimbrel
