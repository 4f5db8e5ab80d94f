// The user-mode face of the communication port: what a client process uses to reach a filter.
//
// Results are HRESULTs as the system names them: 0 on success, otherwise the Win32 facility's
// failure value whose low 16 bits are the error code (2 no such port, 5 access denied or the
// filter refused the connection, 6 the port is closed or gone, 122 buffer too small, 258 time-out,
// and the filter's own statuses through the platform's error table).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/error_table.h"

namespace user {

using platform::HRESULT;

class CommunicationPort;
// A connection. Copies of the handle may be used from several threads at once; the connection
// ends at ClosePort (or when the last copy goes).
using PortHandle = std::shared_ptr<CommunicationPort>;

constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// Connects to the port named like "\TallowmereVeskPort" (its socket in the run directory),
// handing the filter the connection context (nullptr with size 0: none).
HRESULT ConnectCommunicationPort(const char16_t* portName, const void* context,
                                 std::uint16_t contextSize, PortHandle* port);

// A control message answered by the filter in the sender's thread; many threads may send at once,
// each getting its own reply. *bytesReturned (may be nullptr) is the reply length.
HRESULT SendMessage(const PortHandle& port, const void* input, std::uint32_t inputSize,
                    void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned);

// The next notification: a 16-byte message header, then the filter's message; *received is the
// whole size. When it does not fit, error 122 with *received = the size needed, and the
// notification stays queued for the next call. Error 258 when none came within timeoutMs
// (kInfinite: wait for ever); error 6 when the port was closed or the filter ended the connection.
HRESULT GetMessage(const PortHandle& port, void* buffer, std::uint32_t size,
                   std::uint32_t* received, std::uint32_t timeoutMs);

// Ends the connection. Calls in progress on other threads return error 6.
void ClosePort(const PortHandle& port);

}  // namespace user
