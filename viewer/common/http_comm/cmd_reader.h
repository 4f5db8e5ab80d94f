// The reader of a command document: loads it and takes the command and the status from it; the
// results stay under "root" for the caller.
#pragma once

#include <string>

#include "http_comm/xml_command.h"
#include "streaming/xml_reader.h"

namespace nimbrel {

class TCMDReader : public TXMLReader {
  public:
    using TXMLReader::TXMLReader;

    TXMLCommand Command() const { return FCommand; }
    bool Status() const { return FStatus; }
    const std::string& StatusMessage() const { return FStatusMessage; }

    // Besides the errors of TXMLReader::LoadFromStream, raises EStreamError
    // "Node \"status\" is not found" for a document without "status". An unknown command name
    // reads as XmlInvalidCommand. The cursor ends on "root".
    void LoadFromStream() override;

  private:
    TXMLCommand FCommand = XmlInvalidCommand;
    bool FStatus = false;
    std::string FStatusMessage;
};

}  // namespace nimbrel
