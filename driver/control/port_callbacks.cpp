#include "port_callbacks.h"

#include "command_dispatcher.h"

namespace vesk::driver {

using namespace kernel;

namespace {

NTSTATUS OnConnect(void* cookie, ClientPort* clientPort, const void* context,
                   std::uint32_t contextLength) {
    return static_cast<DriverState*>(cookie)->connection.Connect(clientPort, context, contextLength);
}

void OnDisconnect(void* cookie, ClientPort*) {
    static_cast<DriverState*>(cookie)->connection.Disconnect();
}

NTSTATUS OnMessage(void* cookie, const void* input, std::uint32_t inputLength, void* output,
                   std::uint32_t outputLength, std::uint32_t* replyLength) {
    return DispatchControlMessage(*static_cast<DriverState*>(cookie), input, inputLength, output,
                                  outputLength, replyLength);
}

}  // namespace

PortCallbacks DriverPortCallbacks() { return PortCallbacks{&OnConnect, &OnDisconnect, &OnMessage}; }

}  // namespace vesk::driver
