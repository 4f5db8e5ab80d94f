// Giving back file-name references from wherever capture code runs. The platform allows the
// release only below DISPATCH_LEVEL; above it the reference is handed to the delivery thread,
// which releases it at passive level. When even that entry cannot be had, the reference stays
// unreleased: a name record kept alive is the lesser harm than a release at the wrong level.
#pragma once

#include "platform/kernel/file_name_information.h"

namespace vesk::driver {

class EventQueue;

void ReleaseName(EventQueue& queue, kernel::FileNameInformation* name);

// The same with the loaded driver's queue.
void ReleaseName(kernel::FileNameInformation* name);

}  // namespace vesk::driver
