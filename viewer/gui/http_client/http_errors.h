// Errors of the HTTP layer under the command client.
#pragma once

#include <stdexcept>
#include <string>

namespace nimbrel {

// The server answered with an HTTP status outside 2xx (for example a wrong password). The
// message is the response's status line, such as "HTTP/1.1 401 Unauthorized".
class EHTTPProtocolError : public std::runtime_error {
  public:
    EHTTPProtocolError(long ErrorCode, const std::string& Message)
        : std::runtime_error(Message), FErrorCode(ErrorCode) {}
    long ErrorCode() const { return FErrorCode; }

  private:
    long FErrorCode;
};

// The server could not be reached, refused the connection or dropped it.
class ESocketError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace nimbrel
