// "vesk-host volumes [add DIR | remove DIR]": the command line of the host's volume
// configuration. argv[0] is "volumes".
//
// Exit codes: 0 done (or listed); 1 refused (the message says why); 2 usage; 3 the registry
// could not be read or written; 4 not root.
#pragma once

#include <ostream>

namespace host_config {

int RunVolumesCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace host_config
