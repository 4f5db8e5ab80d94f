// Containers that stream themselves under an element name of the caller's choosing.
#pragma once

#include <string_view>

namespace nimbrel {

class TXMLReader;
class TXMLWriter;

// Not reference counted: the owner frees the object.
class IXMLSaveLoad {
  public:
    virtual void SaveToXML(TXMLWriter& Writer, std::string_view Name) const = 0;
    virtual void LoadFromXML(TXMLReader& Reader, std::string_view Name) = 0;

  protected:
    ~IXMLSaveLoad() = default;
};

}  // namespace nimbrel
