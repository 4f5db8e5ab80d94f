// The viewer's client of the monitoring service: every command is one HTTP POST of a command
// document to the root path, answered by one command document.
//
// One persistent HTTP/1.1 connection is kept between commands. Basic credentials (user "admin")
// go with the first request of a connection. Bodies are gzip for every host but "localhost".
#pragma once

#include <curl/curl.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http_comm/cmd_reader.h"
#include "http_comm/cmd_writer.h"
#include "http_comm/command_params.h"
#include "rtl/memory_stream.h"

namespace nimbrel {

inline constexpr int kServicePort = 8702;

// "http://<host>:<port>" (the root path); an IPv6 address is put in brackets.
std::string ServiceUrl(std::string_view HostName, int Port);

// "localhost" in any case: the one host that gets uncompressed bodies.
bool IsLocalHost(std::string_view HostName);

class TGUIHttpClient {
  public:
    TGUIHttpClient();
    // Never raises: the reader's and writer's save points are always balanced here.
    ~TGUIHttpClient() noexcept;

    TGUIHttpClient(const TGUIHttpClient&) = delete;
    TGUIHttpClient& operator=(const TGUIHttpClient&) = delete;

    const std::string& HostName() const { return FHostName; }
    void SetHostName(std::string Value) { FHostName = std::move(Value); }
    const std::string& Password() const { return FPassword; }
    void SetPassword(std::string Value) { FPassword = std::move(Value); }
    // 8702 unless changed (tests run their service on a free port).
    int Port() const { return FPort; }
    void SetPort(int Value) { FPort = Value; }

    // Whether the connection to the service is open; a connection the service has closed is
    // closed here too and counts as not connected. The connection opens with the first command.
    bool Connected();
    void Disconnect();

    // The reply of the last command; its cursor is on "root".
    TCMDReader& Reader() { return FReader; }

    // Sends the command with its parameters and loads the reply into Reader. Raises
    // ESocketError when the service cannot be reached, EHTTPProtocolError for an HTTP error
    // status (the connection is closed first), ECompressionError for a corrupt gzip reply, the
    // errors of TCMDReader::LoadFromStream for a reply that is no command document, and
    // ESoftException with the service's message when the reply's status is 0. The client stays
    // usable after any of them.
    void SendCommand(TXMLCommand Command, std::span<const TCommandParam> Params);
    void SendCommand(TXMLCommand Command, std::initializer_list<TCommandParam> Params = {}) {
        SendCommand(Command, std::span<const TCommandParam>(Params.begin(), Params.size()));
    }

    // Called with true before and false after every exchange with a host other than
    // "localhost", also when it fails: the windows show a busy cursor meanwhile.
    void SetBusyHandler(std::function<void(bool Busy)> Handler) {
        FBusyHandler = std::move(Handler);
    }

    // Empties the response stream and clears the request document.
    void ClearForNewRequest();

  private:
    struct TCurlCleanup {
        void operator()(CURL* Handle) const { curl_easy_cleanup(Handle); }
    };

    void OpenHandle();
    void PostRequest();
    static std::size_t ReceiveBody(char* Data, std::size_t Size, std::size_t Count, void* Self);
    static std::size_t ReceiveHeader(char* Data, std::size_t Size, std::size_t Count, void* Self);
    static curl_socket_t OpenSocket(void* Self, curlsocktype Purpose, curl_sockaddr* Address);
    static int CloseSocket(void* Self, curl_socket_t Socket);

    // Owns the connection: closing the handle closes it.
    std::unique_ptr<CURL, TCurlCleanup> FHttpClient;
    TMemoryStream FRequest;
    TMemoryStream FResponse;
    TCMDReader FReader;
    TCMDWriter FWriter;
    std::string FHostName;
    std::string FPassword;
    int FPort = kServicePort;
    std::function<void(bool)> FBusyHandler;

    // State of the exchange in progress and of the connection, kept by the callbacks.
    std::string FBody;
    std::string FStatusLine;
    std::string FContentEncoding;
    std::vector<curl_socket_t> FSockets;  // sockets libcurl holds open
    char FErrorBuffer[CURL_ERROR_SIZE] = {};
};

}  // namespace nimbrel
