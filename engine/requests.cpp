#include "requests.h"

#include <cstdlib>
#include <cstring>

#include "instance.h"
#include "last_error.h"

namespace vesk::engine {

bool SendRequest(std::uint32_t command, const void* payload, std::uint32_t payloadLength,
                 void* reply, std::uint32_t replyCapacity, std::uint32_t* replyLength) {
    if (payload == nullptr) {
        payloadLength = 0;
    }
    if (payloadLength > 0xFFFFFFFFu - sizeof command) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    user::PortHandle port = LibraryPort();
    bool temporary = false;
    if (!port) {
        const platform::HRESULT result =
            user::ConnectCommunicationPort(kPortName, nullptr, 0, &port);
        if (result != 0) {
            SetLastError(ErrorFromResult(result));
            return false;
        }
        temporary = true;
    }
    std::uint8_t* message = reinterpret_cast<std::uint8_t*>(&command);
    std::uint8_t* block = nullptr;
    std::uint32_t error = 0;
    if (payloadLength != 0) {
        block = static_cast<std::uint8_t*>(std::malloc(payloadLength + sizeof command));
        if (block == nullptr) {
            error = kErrorNotEnoughMemory;
        } else {
            std::memcpy(block, &command, sizeof command);
            std::memcpy(block + sizeof command, payload, payloadLength);
            message = block;
        }
    }
    if (error == 0) {
        std::uint32_t returned = 0;
        const platform::HRESULT result =
            user::SendMessage(port, message, payloadLength + sizeof command, reply,
                              reply != nullptr ? replyCapacity : 0, &returned);
        if (result != 0) {
            error = ErrorFromResult(result);
        } else if (replyLength != nullptr) {
            *replyLength = returned;
        }
    }
    std::free(block);
    if (temporary) {
        user::ClosePort(port);
    }
    SetLastError(error);
    return error == 0;
}

}  // namespace vesk::engine
