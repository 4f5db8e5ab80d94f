// The simulated registry: a test opens a database file (in a directory of its own) and the
// kernel's registry routines use it until it is closed. Closing and opening the same file again
// is how a test restarts the machine.
#pragma once

#include <string>

namespace sim {

class Registry {
  public:
    // Replaces any open database. readOnly: writes fail as on a read-only disk.
    static bool Open(const std::string& path, bool readOnly = false);
    static void Close();
};

}  // namespace sim
