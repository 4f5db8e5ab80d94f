// Loads one XML document from the stream and looks typed values up under the cursor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/date_time.h"
#include "streaming/xml_base_io.h"

namespace nimbrel {

class TXMLReader : public TXMLBaseIO {
  public:
    using TXMLBaseIO::TXMLBaseIO;

    // Parses the whole stream; the cursor ends on "root". Raises EStreamError "XML stream is
    // empty" for a zero-length stream, EXmlParseError for text that is not well-formed XML, and
    // EStreamError "Invalid root node" when the document element is missing or not named "root".
    // After any of these the reader holds an empty "root" document and stays usable.
    virtual void LoadFromStream();

    // Moves the cursor to the first child element with exactly this name; EStreamError
    // "Node \"<name>\" is not found" when there is none.
    void SelectNode(std::string_view NodeName);

    // Moves the cursor to the child element at this zero-based position; EListError outside
    // 0 to ItemCount() - 1. Walking the children in order costs one step each.
    void SelectNode(int NodeIndex);

    // The number of child elements of the cursor element.
    int ItemCount() const;

    // Each looks up the first child element of that name and converts its text (all text inside
    // it); the cursor stays. A missing element gives the default (0, false, empty). The integer
    // readers raise EConvertError for text that is not a number of their kind; the others fall
    // back to the default.
    std::string ReadString(std::string_view NodeName) const;
    std::int32_t ReadInteger(std::string_view NodeName) const;
    std::uint32_t ReadUInt(std::string_view NodeName) const;  // signed 64-bit, low 32 bits kept
    std::int64_t ReadInt64(std::string_view NodeName) const;
    std::uint64_t ReadUInt64(std::string_view NodeName) const;
    double ReadFloat(std::string_view NodeName) const;
    TDate ReadDate(std::string_view NodeName) const;
    TDateTime ReadDateTime(std::string_view NodeName) const;
    bool ReadBool(std::string_view NodeName) const;  // "0", "1", "true", "false" (any case)

  private:
    pugi::xml_node FindChild(std::string_view NodeName) const;

    // The last child selected by index, so that walking a list costs one step per item.
    pugi::xml_node FIndexParent;
    pugi::xml_node FIndexNode;
    int FIndexPosition = 0;
};

}  // namespace nimbrel
