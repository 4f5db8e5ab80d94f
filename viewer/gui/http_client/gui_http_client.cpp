#include "http_client/gui_http_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "http_client/http_errors.h"
#include "http_comm/gzip.h"
#include "rtl/ascii_text.h"
#include "types/soft_exception.h"

namespace nimbrel {
namespace {

std::string_view Trimmed(std::string_view Text) {
    const auto first = Text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return Text.substr(first, Text.find_last_not_of(" \t\r\n") - first + 1);
}

// A socket whose peer has closed it (or that failed) is of no use for the next request.
bool IsAlive(curl_socket_t Socket) {
    pollfd poll_fd{Socket, POLLIN, 0};
    if (poll(&poll_fd, 1, 0) < 0) {
        return false;
    }
    if ((poll_fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return false;
    }
    if ((poll_fd.revents & POLLIN) != 0) {
        char byte;
        const ssize_t peeked = recv(Socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
    return true;
}

struct TSListFree {
    void operator()(curl_slist* List) const { curl_slist_free_all(List); }
};

// Signals busy for the exchange with a remote host, and idle again on every path.
class TBusyScope {
  public:
    TBusyScope(const std::function<void(bool)>& Handler, bool Remote)
        : FHandler(Remote && Handler ? &Handler : nullptr) {
        if (FHandler != nullptr) {
            (*FHandler)(true);
        }
    }
    ~TBusyScope() {
        if (FHandler != nullptr) {
            (*FHandler)(false);
        }
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

  private:
    const std::function<void(bool)>* FHandler;
};

}  // namespace

std::string ServiceUrl(std::string_view HostName, int Port) {
    const bool ipv6 = HostName.find(':') != std::string_view::npos && !HostName.starts_with('[');
    std::string url = "http://";
    url += ipv6 ? "[" + std::string(HostName) + "]" : std::string(HostName);
    return url + ":" + std::to_string(Port);
}

bool IsLocalHost(std::string_view HostName) {
    return SameText(HostName, "localhost");
}

TGUIHttpClient::TGUIHttpClient() : FReader(FResponse), FWriter(FRequest) {}

TGUIHttpClient::~TGUIHttpClient() noexcept {
    // Close the connection while the socket list that the close callback updates still exists.
    FHttpClient.reset();
}

void TGUIHttpClient::OpenHandle() {
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    FHttpClient.reset(curl_easy_init());
    if (!FHttpClient) {
        throw ESocketError("The HTTP client cannot start");
    }
    CURL* http = FHttpClient.get();
    curl_easy_setopt(http, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(http, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(http, CURLOPT_PROXY, "");  // straight to the service, whatever the environment
    curl_easy_setopt(http, CURLOPT_POST, 1L);
    // Basic only: the credentials go with the first request, without waiting for a challenge.
    curl_easy_setopt(http, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(http, CURLOPT_USERNAME, "admin");
    curl_easy_setopt(http, CURLOPT_WRITEFUNCTION, &TGUIHttpClient::ReceiveBody);
    curl_easy_setopt(http, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(http, CURLOPT_HEADERFUNCTION, &TGUIHttpClient::ReceiveHeader);
    curl_easy_setopt(http, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(http, CURLOPT_OPENSOCKETFUNCTION, &TGUIHttpClient::OpenSocket);
    curl_easy_setopt(http, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(http, CURLOPT_CLOSESOCKETFUNCTION, &TGUIHttpClient::CloseSocket);
    curl_easy_setopt(http, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(http, CURLOPT_ERRORBUFFER, FErrorBuffer);
}

bool TGUIHttpClient::Connected() {
    if (std::any_of(FSockets.begin(), FSockets.end(), IsAlive)) {
        return true;
    }
    if (!FSockets.empty()) {
        Disconnect();
    }
    return false;
}

void TGUIHttpClient::Disconnect() {
    // Closing the handle closes its connections; the next command opens a new handle.
    FHttpClient.reset();
}

void TGUIHttpClient::ClearForNewRequest() {
    FResponse.Clear();
    FWriter.Clear();
}

void TGUIHttpClient::SendCommand(TXMLCommand Command, std::span<const TCommandParam> Params) {
    ClearForNewRequest();
    BuildCommandRequest(FWriter, Command, Params);
    FWriter.SaveToStream();
    {
        const TBusyScope busy(FBusyHandler, !IsLocalHost(FHostName));
        PostRequest();
        FReader.LoadFromStream();
    }
    if (!FReader.Status()) {
        throw ESoftException(FReader.StatusMessage());
    }
}

void TGUIHttpClient::PostRequest() {
    if (!FHttpClient) {
        OpenHandle();
    }
    CURL* http = FHttpClient.get();
    const bool local = IsLocalHost(FHostName);

    std::string compressed;
    std::string_view body = FRequest.Bytes();
    std::unique_ptr<curl_slist, TSListFree> headers;
    const auto addHeader = [&headers](const char* Header) {
        curl_slist* list = curl_slist_append(headers.get(), Header);
        if (list == nullptr) {
            throw std::bad_alloc();
        }
        headers.release();
        headers.reset(list);
    };
    addHeader("Expect:");  // no 100-continue round trip before the body
    addHeader("Content-Type: text/xml; charset=utf-8");
    if (!local) {
        compressed = GzipCompress(body);
        body = compressed;
        addHeader("Content-Encoding: gzip");
        addHeader("Accept-Encoding: gzip");
    }
    const std::string url = ServiceUrl(FHostName, FPort);
    curl_easy_setopt(http, CURLOPT_URL, url.c_str());
    curl_easy_setopt(http, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(http, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(http, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(http, CURLOPT_PASSWORD, FPassword.c_str());

    FBody.clear();
    FStatusLine.clear();
    FContentEncoding.clear();
    FErrorBuffer[0] = '\0';
    const CURLcode result = curl_easy_perform(http);
    // The header list and the body die with this call; the handle must not point at them.
    curl_easy_setopt(http, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(http, CURLOPT_POSTFIELDS, nullptr);
    if (result != CURLE_OK) {
        throw ESocketError(FErrorBuffer[0] != '\0' ? FErrorBuffer : curl_easy_strerror(result));
    }
    long status = 0;
    curl_easy_getinfo(http, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        const std::string message =
            FStatusLine.empty() ? "HTTP error " + std::to_string(status) : FStatusLine;
        Disconnect();
        throw EHTTPProtocolError(status, message);
    }
    if (local) {
        FResponse.Write(FBody);
    } else if (SameText(Trimmed(FContentEncoding), "gzip")) {
        FResponse.Write(GzipDecompress(FBody));
    }
    // Any other reply to a gzip request leaves the response empty.
}

std::size_t TGUIHttpClient::ReceiveBody(char* Data, std::size_t Size, std::size_t Count,
                                        void* Self) {
    try {
        static_cast<TGUIHttpClient*>(Self)->FBody.append(Data, Size * Count);
        return Size * Count;
    } catch (...) {
        return 0;  // libcurl ends the transfer with a write error
    }
}

std::size_t TGUIHttpClient::ReceiveHeader(char* Data, std::size_t Size, std::size_t Count,
                                          void* Self) {
    auto* client = static_cast<TGUIHttpClient*>(Self);
    const std::string_view line(Data, Size * Count);
    try {
        if (line.starts_with("HTTP/")) {
            // A new response begins (after an interim one): forget the previous headers.
            client->FStatusLine = Trimmed(line);
            client->FContentEncoding.clear();
        } else if (const auto colon = line.find(':');
                   colon != std::string_view::npos &&
                   SameText(Trimmed(line.substr(0, colon)), "Content-Encoding")) {
            client->FContentEncoding = Trimmed(line.substr(colon + 1));
        }
    } catch (...) {
        return 0;
    }
    return Size * Count;
}

curl_socket_t TGUIHttpClient::OpenSocket(void* Self, curlsocktype, curl_sockaddr* Address) {
    const curl_socket_t socket_fd =
        ::socket(Address->family, Address->socktype | SOCK_CLOEXEC, Address->protocol);
    if (socket_fd == CURL_SOCKET_BAD) {
        return CURL_SOCKET_BAD;
    }
    try {
        static_cast<TGUIHttpClient*>(Self)->FSockets.push_back(socket_fd);
    } catch (...) {
        ::close(socket_fd);
        return CURL_SOCKET_BAD;
    }
    return socket_fd;
}

int TGUIHttpClient::CloseSocket(void* Self, curl_socket_t Socket) {
    auto& sockets = static_cast<TGUIHttpClient*>(Self)->FSockets;
    sockets.erase(std::remove(sockets.begin(), sockets.end(), Socket), sockets.end());
    return ::close(Socket);
}

}  // namespace nimbrel
