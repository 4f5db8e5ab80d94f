// The framing of the communication port over a stream socket: what the server end (next to the
// filter) and the client end (the user-mode face) exchange. docs/port-protocol.md describes it.
//
// Every frame is a 16-byte header and a body of header.bodyLength bytes. Both ends run on one
// machine, so fields are in its byte order (little-endian, asserted below) and packed. A reader
// checks every length against what it received and against the limits below before it uses it;
// a frame that breaks them ends the connection.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace port_socket {

static_assert(std::endian::native == std::endian::little, "the port's frames are little-endian");

constexpr std::uint32_t kProtocolVersion = 1;

enum FrameType : std::uint16_t {
    // client to server
    kFrameConnect = 1,  // the first frame: version, receive window, connection context
    kFrameSend = 2,     // a control message; requestId picks its reply
    kFrameCredit = 3,   // notifications the client consumed: the window opens again by that much
    // server to client
    kFrameConnectReply = 0x81,
    kFrameSendReply = 0x82,  // requestId of the send it answers
    kFrameNotify = 0x83,     // one or more notifications, in the filter's order
};

#pragma pack(push, 1)

struct FrameHeader {
    std::uint32_t bodyLength;
    std::uint16_t type;
    std::uint16_t reserved;
    std::uint64_t requestId;  // sends and their replies; 0 elsewhere
};

struct ConnectBody {  // then contextLength bytes of connection context
    std::uint32_t version;
    std::uint32_t windowMessages;  // notifications the server may send before credit comes back
    std::uint32_t windowBytes;     // notification bytes likewise (one notification may overshoot)
    std::uint16_t contextLength;
    std::uint16_t reserved;
};

struct ConnectReplyBody {
    std::int32_t status;  // NTSTATUS: the filter's answer, or the server's refusal
    std::uint32_t version;
};

// Then outputPrefixLength bytes: the start of the sender's output buffer, which a command may
// read as input (offered capacities, say); then the control message itself.
struct SendBody {
    std::uint32_t outputCapacity;
    std::uint32_t outputPrefixLength;
};

// Then outputLength bytes: the start of the output buffer after the filter answered, that is
// max(replyLength, outputPrefixLength) bytes, so what a failing command wrote there (needed
// lengths, say) comes back too.
struct SendReplyBody {
    std::int32_t status;  // NTSTATUS of the filter's message callback
    std::uint32_t replyLength;
    std::uint32_t outputLength;
};

struct CreditBody {
    std::uint32_t messages;
    std::uint32_t bytes;
};

// A notify frame's body is a sequence of entries: a 4-byte entry length, then that many bytes:
// the 16-byte port message header and the notification.

#pragma pack(pop)

static_assert(sizeof(FrameHeader) == 16);
static_assert(offsetof(FrameHeader, type) == 4);
static_assert(offsetof(FrameHeader, requestId) == 8);
static_assert(sizeof(ConnectBody) == 16);
static_assert(sizeof(ConnectReplyBody) == 8);
static_assert(sizeof(SendBody) == 8);
static_assert(sizeof(SendReplyBody) == 12);
static_assert(sizeof(CreditBody) == 8);

// The largest notification the filter sends is 64 MiB of data plus its header, name, SID and
// fixed payload; control messages and replies share the bound. Anything larger is refused before
// it is sent, and a frame announcing more ends the connection.
constexpr std::uint32_t kMaxMessageLength = 0x4000000 + 0x40000;
constexpr std::uint32_t kMaxFrameBody = kMaxMessageLength + 0x1000;

// The part of a sender's output buffer that travels to the filter and back with every send.
constexpr std::uint32_t kOutputPrefixLength = 64;

// The size of the 16-byte header the port puts in front of each notification.
constexpr std::uint32_t kMessageHeaderLength = 16;

}  // namespace port_socket
