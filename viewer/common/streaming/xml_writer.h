// Builds one XML document value by value and saves it to the stream.
#pragma once

#include <cstdint>
#include <string_view>

#include "rtl/date_time.h"
#include "streaming/xml_base_io.h"

namespace nimbrel {

class TXMLWriter : public TXMLBaseIO {
  public:
    using TXMLBaseIO::TXMLBaseIO;

    // Truncates the stream to length 0 and starts a new document.
    void Clear();

    // Appends an empty child element to the cursor element and moves the cursor onto it.
    void AddNode(std::string_view NodeName);

    // Each appends a child element holding the value's text to the cursor element; the cursor
    // stays. Writing a name twice gives two elements.
    void WriteString(std::string_view NodeName, std::string_view Value);
    void WriteInteger(std::string_view NodeName, std::int32_t Value);
    void WriteUInt(std::string_view NodeName, std::uint32_t Value);
    void WriteInt64(std::string_view NodeName, std::int64_t Value);
    void WriteUInt64(std::string_view NodeName, std::uint64_t Value);
    void WriteFloat(std::string_view NodeName, double Value);
    void WriteDate(std::string_view NodeName, TDate Value);          // yyyy-mm-dd
    void WriteDateTime(std::string_view NodeName, TDateTime Value);  // yyyy-mm-ddThh:nn:ss
    void WriteBool(std::string_view NodeName, bool Value);           // 0 or 1

    // Serialises the whole document at the stream's position: UTF-8, no declaration, no
    // byte-order mark.
    virtual void SaveToStream();

    // Off: the document on one line without white space between tags. On: one element per line,
    // indented by one TAB per level, lines ended by CR LF.
    bool Readable() const { return FReadable; }
    void SetReadable(bool Value) { FReadable = Value; }

  private:
    bool FReadable = false;
};

}  // namespace nimbrel
