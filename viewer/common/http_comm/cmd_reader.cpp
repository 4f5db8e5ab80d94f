#include "http_comm/cmd_reader.h"

namespace nimbrel {

void TCMDReader::LoadFromStream() {
    FCommand = XmlInvalidCommand;
    FStatus = false;
    FStatusMessage.clear();
    TXMLReader::LoadFromStream();
    SelectRoot();
    FCommand = XMLCommandFromName(ReadString("command"));
    SelectNode("status");
    FStatus = ReadBool("value");
    FStatusMessage = ReadString("message");
    SelectRoot();
}

}  // namespace nimbrel
