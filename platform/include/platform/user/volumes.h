// Drive-letter (DOS) names of volumes, for a client turning kernel-form names into the form its
// user knows.
//
// A Linux volume's DOS name is its directory itself. Other volumes have the DOS name the host
// publishes for them in "<run directory>/dos-devices": one volume per line, its device name, a
// tab, then its DOS name (for example "X:"), which may be empty for a volume without a drive
// letter. Device names compare without regard to case. The file is read at each call, so a host
// may rewrite it (atomically, by rename) at any time.
#pragma once

#include <string>

#include "platform/error_table.h"

namespace user {

// 0 with the DOS name (possibly empty) in *dosName; error 2 for a volume nobody published;
// error 123 for an empty name.
platform::HRESULT GetDosName(const std::u16string& volumeName, std::u16string* dosName);

}  // namespace user
