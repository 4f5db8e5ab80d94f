#include "http_comm/cmd_writer.h"

namespace nimbrel {

void TCMDWriter::SaveToStream() {
    SelectRoot();
    WriteString("command", XMLCommandName(FCommand));
    AddNode("status");
    WriteBool("value", FStatus);
    WriteString("message", FStatusMessage);
    SelectRoot();
    TXMLWriter::SaveToStream();
}

}  // namespace nimbrel
