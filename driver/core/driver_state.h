// Driver-wide state: one instance from load to unload. Components that later stages plug in (the
// rule table, name resolution, file services) are reached through their command interfaces and
// are absent (nullptr) until the driver has them.
#pragma once

#include "control/client_connection.h"
#include "control/command_handlers.h"
#include "queue/event_queue.h"
#include "stats/statistics.h"

namespace vesk::driver {

struct DriverState {
    EventQueue queue;
    Statistics statistics;
    ClientConnection connection{queue};
    RuleCommands* rules = nullptr;
    NameCommands* names = nullptr;
    FileCommands* files = nullptr;
};

}  // namespace vesk::driver
