// Errors of the viewer's XML documents.
#pragma once

#include <stdexcept>

namespace nimbrel {

// A document that is not what the viewer's XML format requires: empty input, a document
// element other than "root", a missing element, an unbalanced save-point stack.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Input that is not well-formed XML. The message is the XML parser's description and the byte
// offset where parsing stopped.
class EXmlParseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace nimbrel
