// Where the communication port's socket lives.
//
// The run directory is /run/vesk, or $VESK_ROOT/run when VESK_ROOT is set and not empty, so tests
// and demonstrations never touch the machine's real one. A port named "\TallowmereVeskPort" is
// served on the socket "<run directory>/TallowmereVeskPort.sock": the port name without its
// leading backslashes, any other backslash becoming '-'. Both ends derive the path the same way,
// so a client needs only the port's name.
#pragma once

#include <string>
#include <string_view>

namespace port_socket {

std::string RunDirectory();

// The state directory, which holds the registry database "registry.db": /var/lib/vesk, or
// $VESK_ROOT/state when VESK_ROOT is set and not empty.
std::string StateDirectory();

// Empty when the name is empty or the path would not fit a Unix socket address (107 bytes).
std::string SocketPathForPort(std::string_view portName);

// Creates the run directory (and its parents) when missing; false with errno set on failure.
bool EnsureRunDirectory(const std::string& directory);

}  // namespace port_socket
