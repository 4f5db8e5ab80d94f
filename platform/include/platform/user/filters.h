// Loading and unloading a filter: the user-mode face of the platform's filter manager.
//
// On Linux the filter manager is the host daemon vesk-host (see host_control_client.h for how it
// is found and started): loading a filter starts a host when none runs, and asks it to load the
// service's image and call its driver entry with the service's registry path; unloading asks it
// to unload, after which it ends. Only root may load or unload.
//
// Results are HRESULTs: 0, the driver entry's status through the platform's error table, or the
// Win32 failure value (0x8007xxxx) of:
//   5    not root, or the host's socket refused the caller
//   123  an empty filter name
//   1060 no such service
//   1072 the service is marked for deletion (load)
//   1056 already running (load, the host already runs it: 0x80070420)
//   1062 not active (unload, no host runs: 0x80070426)
//   and the host start failures of host_control_client.h (2, 193, 1053, 1067).
// A host that died (its pidfile nobody holds, its socket nobody serves) counts as not running:
// its socket and pidfile are removed, and an unload also lazily unmounts the FUSE mounts it left
// at the configured volume directories and removes a service marked for deletion.
#pragma once

#include "platform/error_table.h"

namespace user {

platform::HRESULT FilterLoad(const char16_t* filterName);
platform::HRESULT FilterUnload(const char16_t* filterName);

}  // namespace user
