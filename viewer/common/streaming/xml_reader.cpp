#include "streaming/xml_reader.h"

#include <array>
#include <string>

#include "rtl/ascii_text.h"
#include "rtl/exceptions.h"
#include "rtl/number_text.h"
#include "streaming/stream_error.h"

namespace nimbrel {
namespace {

// All text inside the element, in document order. The parser keeps text that comes first in an
// element as the element's value (no node of its own: a third of the memory of a typical reply);
// any further text is in text nodes below. The parser keeps no other nodes with values (no
// comments, processing instructions or declarations). Iterative, so deep nesting cannot exhaust the
// stack.
std::string ElementText(pugi::xml_node Element) {
    std::string text = Element.value();
    pugi::xml_node node = Element.first_child();
    while (node) {
        text += node.value();  // text nodes, and elements' own leading text
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (!node.next_sibling()) {
            node = node.parent();
            if (node == Element) {
                return text;
            }
        }
        node = node.next_sibling();
    }
    return text;
}

pugi::xml_node NextElement(pugi::xml_node Node) {
    while (Node && Node.type() != pugi::node_element) {
        Node = Node.next_sibling();
    }
    return Node;
}

// Characters (not bytes) at fixed positions of a date text: the pieces are counted in
// characters, and a separator may be any character, also one of several bytes.
class TCharPositions {
  public:
    explicit TCharPositions(std::string_view Text) : FText(Text) {
        for (std::size_t i = 0; i < Text.size() && FCount < FStarts.size(); ++i) {
            if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) {
                FStarts[FCount++] = i;
            }
        }
    }

    // The decimal number made of the characters From to From + Count - 1 (zero-based), or -1
    // when any of them is not an ASCII digit.
    int Number(std::size_t From, std::size_t Count) const {
        if (From + Count > FCount) {
            return -1;
        }
        int value = 0;
        for (std::size_t i = From; i < From + Count; ++i) {
            const std::size_t end = i + 1 < FCount ? FStarts[i + 1] : FText.size();
            const char c = FText[FStarts[i]];
            if (end - FStarts[i] != 1 || c < '0' || c > '9') {
                return -1;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    }

  private:
    std::string_view FText;
    std::array<std::size_t, 20> FStarts{};
    std::size_t FCount = 0;
};

// Characters 1-4 are the year, 6-7 the month, 9-10 the day (counting from 1); the characters
// between them are not examined.
bool ReadDateParts(const TCharPositions& Chars, TDateTimeParts& Parts) {
    Parts.Year = Chars.Number(0, 4);
    Parts.Month = Chars.Number(5, 2);
    Parts.Day = Chars.Number(8, 2);
    return Parts.Year >= 0 && Parts.Month >= 0 && Parts.Day >= 0;
}

}  // namespace

void TXMLReader::LoadFromStream() {
    Reset();
    FIndexParent = pugi::xml_node();
    FStream.Seek(0);
    if (FStream.Size() == 0) {
        throw EStreamError("XML stream is empty");
    }
    const std::string_view bytes = FStream.Bytes();
    const pugi::xml_parse_result result =
        FXMLDoc.load_buffer(bytes.data(), bytes.size(),
                            pugi::parse_default | pugi::parse_embed_pcdata, pugi::encoding_auto);
    if (!result && result.status != pugi::status_no_document_element) {
        Reset();
        throw EXmlParseError(std::string(result.description()) + " at offset " +
                             std::to_string(result.offset));
    }
    const pugi::xml_node element = FXMLDoc.document_element();
    if (!element || std::string_view(element.name()) != "root") {
        Reset();
        throw EStreamError("Invalid root node");
    }
    FRootNode = element;
    FCurrNode = element;
}

pugi::xml_node TXMLReader::FindChild(std::string_view NodeName) const {
    for (pugi::xml_node node = FCurrNode.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element && NodeName == node.name()) {
            return node;
        }
    }
    return {};
}

void TXMLReader::SelectNode(std::string_view NodeName) {
    const pugi::xml_node node = FindChild(NodeName);
    if (!node) {
        throw EStreamError("Node \"" + std::string(NodeName) + "\" is not found");
    }
    FCurrNode = node;
}

void TXMLReader::SelectNode(int NodeIndex) {
    if (NodeIndex >= 0) {
        pugi::xml_node node;
        int position = 0;
        if (FIndexParent == FCurrNode && FIndexNode && NodeIndex >= FIndexPosition) {
            node = FIndexNode;
            position = FIndexPosition;
        } else {
            node = NextElement(FCurrNode.first_child());
        }
        for (; node && position < NodeIndex; ++position) {
            node = NextElement(node.next_sibling());
        }
        if (node) {
            FIndexParent = FCurrNode;
            FIndexNode = node;
            FIndexPosition = NodeIndex;
            FCurrNode = node;
            return;
        }
    }
    throw EListError("List index out of bounds (" + std::to_string(NodeIndex) + ")");
}

int TXMLReader::ItemCount() const {
    int count = 0;
    for (pugi::xml_node node = NextElement(FCurrNode.first_child()); node;
         node = NextElement(node.next_sibling())) {
        ++count;
    }
    return count;
}

std::string TXMLReader::ReadString(std::string_view NodeName) const {
    return ElementText(FindChild(NodeName));
}

std::int32_t TXMLReader::ReadInteger(std::string_view NodeName) const {
    const pugi::xml_node node = FindChild(NodeName);
    return node ? StrToInt(ElementText(node)) : 0;
}

std::uint32_t TXMLReader::ReadUInt(std::string_view NodeName) const {
    const pugi::xml_node node = FindChild(NodeName);
    return node ? static_cast<std::uint32_t>(StrToInt64(ElementText(node))) : 0;
}

std::int64_t TXMLReader::ReadInt64(std::string_view NodeName) const {
    const pugi::xml_node node = FindChild(NodeName);
    return node ? StrToInt64(ElementText(node)) : 0;
}

std::uint64_t TXMLReader::ReadUInt64(std::string_view NodeName) const {
    const pugi::xml_node node = FindChild(NodeName);
    return node ? StrToUInt64(ElementText(node)) : 0;
}

double TXMLReader::ReadFloat(std::string_view NodeName) const {
    double value = 0;
    return TryStrToFloat(ReadString(NodeName), value) ? value : 0;
}

TDate TXMLReader::ReadDate(std::string_view NodeName) const {
    const std::string text = ReadString(NodeName);
    TDateTimeParts parts;
    TDate value = 0;
    if (!ReadDateParts(TCharPositions(text), parts) ||
        !TryEncodeDate(parts.Year, parts.Month, parts.Day, value)) {
        return 0;
    }
    return value;
}

TDateTime TXMLReader::ReadDateTime(std::string_view NodeName) const {
    // As a date, plus characters 12-13 the hour, 15-16 the minutes and 18-19 the seconds, so any
    // separators (also a locale's time separator other than ":") are accepted.
    const std::string text = ReadString(NodeName);
    const TCharPositions chars(text);
    TDateTimeParts parts;
    TDateTime value = 0;
    if (!ReadDateParts(chars, parts)) {
        return 0;
    }
    parts.Hour = chars.Number(11, 2);
    parts.Minute = chars.Number(14, 2);
    parts.Second = chars.Number(17, 2);
    return TryEncodeDateTime(parts, value) ? value : 0;
}

bool TXMLReader::ReadBool(std::string_view NodeName) const {
    const std::string text = ReadString(NodeName);
    return text.size() == 1 ? text == "1" : SameText(text, "true");
}

}  // namespace nimbrel
