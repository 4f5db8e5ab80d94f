// Remotable objects as clipboard text: readable XML whose document element is "root" and whose
// children are the object's properties. The clipboard itself belongs to the windows.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

class TNamedItem;
class TRemotable;

// The readable document of Item; volatile properties are left out (a byte-array stream).
std::string ClipboardTextOf(const TRemotable& Item);

// True when Text begins with the six characters "<root>" (case-sensitive; no leading white
// space, no XML declaration).
bool IsClipboardDocument(std::string_view Text);

// Loads Target from clipboard text, then sets its ID to 0 and puts "Copy of " before its name.
// Text that is not a "root" document raises the errors of TXMLReader.LoadFromStream.
void PasteItemFromClipboardText(TNamedItem& Target, std::string_view Text);

}  // namespace nimbrel
