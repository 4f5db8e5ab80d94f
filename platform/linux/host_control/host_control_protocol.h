// The host control protocol: what a loader and the host say on "<run directory>/host.sock".
//
// One request per connection, one reply, then the host closes the connection. Every frame is a
// 32-bit little-endian length (of what follows it, at most kMaxFrame bytes), then a 32-bit word
// (the command in a request, an NTSTATUS in a reply), then the body. A text in a body is a 16-bit
// byte length followed by that many bytes of UTF-16LE, without a terminator. docs/host-control.md
// describes the commands.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace host_control {

constexpr std::uint32_t kMaxFrame = 64 * 1024;

enum class Command : std::uint32_t {
    Load = 1,    // body: service name, image path, registry path
    Unload = 2,  // body: empty
    Query = 3,   // body: empty; reply body: host pid (u32), loaded (u32, 0 or 1), service name
};

struct Request {
    Command command = Command::Query;
    std::u16string serviceName;
    std::u16string imagePath;
    std::u16string registryPath;
};

struct HostStatus {
    std::uint32_t pid = 0;
    bool loaded = false;
    std::u16string serviceName;  // of the loaded service
};

struct Reply {
    std::int32_t status = 0;
    std::vector<std::uint8_t> body;
};

// Frames carry their length word: these give the whole frame as it goes on the socket.
std::vector<std::uint8_t> EncodeRequest(const Request& request);
std::vector<std::uint8_t> EncodeReply(std::int32_t status, std::span<const std::uint8_t> body);
std::vector<std::uint8_t> EncodeStatusBody(const HostStatus& status);

// Decoders take the frame without its length word. False for anything malformed: an unknown
// command, a text that runs past the end, a body with bytes left over, an odd text length.
bool DecodeRequest(std::span<const std::uint8_t> frame, Request* request);
bool DecodeReply(std::span<const std::uint8_t> frame, Reply* reply);
bool DecodeStatusBody(std::span<const std::uint8_t> body, HostStatus* status);

// Reads one frame (without its length word) within timeoutMs (negative: no limit). 0, or ETIMEDOUT,
// ECONNRESET when the peer went away, EPROTO for a length out of bounds, or another errno.
int ReadFrame(int fd, std::vector<std::uint8_t>* frame, int timeoutMs);
// 0 or the errno of the failed write.
int WriteFrame(int fd, const std::vector<std::uint8_t>& frame);

}  // namespace host_control
