// The server answered a command with a failure; the message is the server's own reason.
#pragma once

#include <stdexcept>

namespace nimbrel {

class ESoftException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace nimbrel
