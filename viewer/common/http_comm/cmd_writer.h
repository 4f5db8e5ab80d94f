// The writer of a command document: the command's parameters as children of "root", then
// "command" and "status" (holding "value" and "message"), appended when the document is saved.
#pragma once

#include <string>

#include "http_comm/xml_command.h"
#include "streaming/xml_writer.h"

namespace nimbrel {

class TCMDWriter : public TXMLWriter {
  public:
    using TXMLWriter::TXMLWriter;

    TXMLCommand Command() const { return FCommand; }
    void SetCommand(TXMLCommand Value) { FCommand = Value; }
    // Requests carry status 0 and an empty message; replies 1 for success, or 0 and the reason.
    bool Status() const { return FStatus; }
    void SetStatus(bool Value) { FStatus = Value; }
    const std::string& StatusMessage() const { return FStatusMessage; }
    void SetStatusMessage(std::string Value) { FStatusMessage = std::move(Value); }

    // Appends "command" and "status" to "root", then saves the document. The cursor ends on
    // "root".
    void SaveToStream() override;

  private:
    TXMLCommand FCommand = XmlInvalidCommand;
    bool FStatus = false;
    std::string FStatusMessage;
};

}  // namespace nimbrel
