// Objects that cross the viewer's wire: written to and read from the XML documents property by
// property, following the class's property table, without streaming code of their own.
#pragma once

#include <cstdint>

#include "remoting/property_table.h"

namespace nimbrel {

class TXMLReader;
class TXMLWriter;

// Which properties take part in streaming. Set to 1 once at program start and never changed:
//   0: writing every property; reading every property except volatile ones;
//   1: every property in both directions, except volatile ones when the document is based on a
//      byte-array stream (clipboard transfers);
//   any other value: no property at all.
inline std::uint8_t VolatileMode = 0;

class TRemotable {
  public:
    TRemotable() = default;
    virtual ~TRemotable() = default;

    // The table of this object's class.
    virtual const TPropTable& Properties() const { return ClassProperties(); }
    static const TPropTable& ClassProperties();

    // Writes the properties as children of the writer's cursor element; the caller creates the
    // object's own element (AddNode) first. The cursor is back where it was afterwards.
    void SaveToXML(TXMLWriter& Writer) const;

    // Reads the properties from children of the reader's cursor element. A missing value element
    // leaves the reader's default (0, false, empty); a missing element of a sub-object raises
    // EStreamError, and the values read so far stay.
    void LoadFromXML(TXMLReader& Reader);

    // Copies the property values of Source, whose class must be this object's class or one of its
    // bases (EConvertError otherwise). Remotable sub-objects are copied into this object's own
    // sub-objects; string lists are copied; containers are not.
    void Assign(const TRemotable& Source) { Source.AssignTo(*this); }

  protected:
    TRemotable(const TRemotable&) = default;
    TRemotable& operator=(const TRemotable&) = default;

    virtual void AssignTo(TRemotable& Dest) const;
};

}  // namespace nimbrel
