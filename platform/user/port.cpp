#include "platform/user/port.h"

#include "port_socket_client.h"
#include "run_directory.h"
#include "text.h"

namespace user {

class CommunicationPort {
  public:
    std::unique_ptr<port_socket::PortSocketClient> client;
};

namespace {

HRESULT FromStatus(kernel::NTSTATUS status) {
    // STATUS_TIMEOUT is a success value to the kernel, a failure to a receiver that waited.
    if (status == kernel::STATUS_TIMEOUT) {
        return platform::HResultFromWin32(258);
    }
    return kernel::NtSuccess(status) ? 0 : platform::HResultFromNtStatus(status);
}

constexpr HRESULT kInvalidHandle = platform::HResultFromWin32(6);
constexpr HRESULT kInvalidParameter = platform::HResultFromWin32(87);

}  // namespace

HRESULT ConnectCommunicationPort(const char16_t* portName, const void* context,
                                 std::uint16_t contextSize, PortHandle* port) {
    if (portName == nullptr || port == nullptr || (context == nullptr && contextSize != 0)) {
        return kInvalidParameter;
    }
    const std::string path = port_socket::SocketPathForPort(Utf16ToUtf8(portName));
    if (path.empty()) {
        return platform::HResultFromWin32(123);  // ERROR_INVALID_NAME
    }
    auto made = std::make_shared<CommunicationPort>();
    const kernel::NTSTATUS status = port_socket::PortSocketClient::Connect(
        path, context, contextSize, port_socket::ReceiveWindow{}, &made->client);
    if (!kernel::NtSuccess(status)) {
        return FromStatus(status);
    }
    *port = std::move(made);
    return 0;
}

HRESULT SendMessage(const PortHandle& port, const void* input, std::uint32_t inputSize,
                    void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    if (!port) {
        return kInvalidHandle;
    }
    if ((input == nullptr && inputSize != 0) || (output == nullptr && outputSize != 0)) {
        return kInvalidParameter;
    }
    return FromStatus(
        port->client->SendMessage(input, inputSize, output, outputSize, bytesReturned));
}

HRESULT GetMessage(const PortHandle& port, void* buffer, std::uint32_t size,
                   std::uint32_t* received, std::uint32_t timeoutMs) {
    std::uint32_t ignored = 0;
    if (received == nullptr) {
        received = &ignored;
    }
    *received = 0;
    if (!port) {
        return kInvalidHandle;
    }
    if (buffer == nullptr && size != 0) {
        return kInvalidParameter;
    }
    const int timeout = timeoutMs == kInfinite   ? -1
                        : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF
                                                 : static_cast<int>(timeoutMs);
    return FromStatus(port->client->GetMessage(buffer, size, received, timeout));
}

void ClosePort(const PortHandle& port) {
    if (port) {
        port->client->Close();
    }
}

}  // namespace user
