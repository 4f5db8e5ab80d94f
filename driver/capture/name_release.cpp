#include "name_release.h"

#include "capture_environment.h"
#include "platform/kernel/irql.h"
#include "queue/event_queue.h"

namespace vesk::driver {

using namespace kernel;

void ReleaseName(EventQueue& queue, FileNameInformation* name) {
    if (name == nullptr) {
        return;
    }
    if (CurrentIrql() < DISPATCH_LEVEL) {
        ReleaseFileNameInformation(name);
        return;
    }
    // On failure the reference stays unreleased (see the header).
    (void)queue.EnqueueNameRelease(name);
}

void ReleaseName(FileNameInformation* name) {
    ReleaseName(Environment().driver->queue, name);
}

}  // namespace vesk::driver
