#include "remoting/clipboard_text.h"

#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"
#include "types/identified_item.h"

namespace nimbrel {

std::string ClipboardTextOf(const TRemotable& Item) {
    TBytesStream stream;
    TXMLWriter writer(stream);
    writer.SetReadable(true);
    Item.SaveToXML(writer);
    writer.SaveToStream();
    return std::string(stream.Bytes());
}

bool IsClipboardDocument(std::string_view Text) {
    return Text.starts_with("<root>");
}

void PasteItemFromClipboardText(TNamedItem& Target, std::string_view Text) {
    TBytesStream stream(Text);
    TXMLReader reader(stream);
    reader.LoadFromStream();
    Target.LoadFromXML(reader);
    Target.SetID(0);
    Target.SetName("Copy of " + Target.Name());
}

}  // namespace nimbrel
