// The loader's end of the control channel: find the host, start it when none runs, ask it.
//
// The host program is found in this order:
//   1. $VESK_HOST, when set and not empty;
//   2. "<directory of the library or program holding this code>/../bin/vesk-host", when it exists
//      (an installed tree: lib/libvesklib.so next to bin/vesk-host; also the build tree);
//   3. "/usr/libexec/vesk/vesk-host".
// It is started as "<program> serve" in a session of its own, detached from the caller, with its
// standard input from /dev/null and its output appended to "<run directory>/host.log", and the
// caller's environment (VESK_ROOT included).
//
// Every function returns a Win32 code: 0, or
//   2    the host program does not exist
//   193  it could not be executed (exec failed: not a program, no permission)
//   1067 it ended before it answered (see host.log)
//   1053 it did not answer in time (the start time-out: 10 s, or $VESK_HOST_START_TIMEOUT_MS)
//   1062 no host runs (SendToHost)
//   5    the caller may not use the host's socket
#pragma once

#include <cstdint>
#include <string>

#include "host_control_protocol.h"

namespace host_control {

std::string HostProgram();

// Sends one request to the running host and waits for its reply up to timeoutMs. 1062 when no
// host runs; 1067 when it closed the connection without a reply; 1053 when it did not reply in
// time.
std::uint32_t SendToHost(const Request& request, Reply* reply, int timeoutMs);

// Starts the host program and waits until a host answers on the socket.
std::uint32_t StartHost();

// Waits until a host that holds the lock (one starting) answers, or ends. 0 when one answers.
std::uint32_t WaitForHostAnswer(int timeoutMs);

// Waits until no host holds the lock (the host ending after an unload). False on time-out.
bool WaitForHostEnd(int timeoutMs);

// The start time-out in milliseconds.
int HostStartTimeoutMs();

}  // namespace host_control
