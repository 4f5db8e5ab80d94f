// The simulated filter manager as a whole: resetting it between tests, the leak report, and the
// switches tests use to make its routines fail.
#include "fltmgr_core.h"
#include "sim_fltmgr.h"

namespace sim {

using namespace flt::core;

void FilterManager::Reset() {
    StopWorker();
    ProcessNotifications::Reset();
    CallerMemory::Reset();
    std::lock_guard lock(S().lock);
    auto keep = [](auto& from, auto& to) {
        for (auto& p : from) {
            to.push_back(std::move(p));
        }
        from.clear();
    };
    keep(S().filters, S().oldFilters);
    keep(S().volumes, S().oldVolumes);
    keep(S().instances, S().oldInstances);
    keep(S().streams, S().oldStreams);
    keep(S().fileObjects, S().oldFileObjects);
    keep(S().handles, S().oldHandles);
    S().liveContexts.clear();
    S().posted.clear();
    S().lockedMdls.clear();
    S().nextVolumeIdentity = 0x100;
    S().nextFileObjectIdentity = 0x1000;
    S().completionMode = SafeCompletion::Automatic;
    S().failRegister = 0;
    S().failStart = 0;
    S().failNames = 0;
    S().failDestinationNames = 0;
    S().failStreamContexts = 0;
    S().failMdlMapping = false;
    S().failOpen.clear();
    S().missingRoutines.clear();
    S().nameQueryOptions.clear();
}

std::string FilterManager::DescribeLeaks() {
    std::string text = ProcessNotifications::DescribeLeaks();
    std::lock_guard lock(S().lock);
    for (auto& f : S().filters) {
        if (f->registered) {
            text += "filter still registered\n";
        }
        if (f->postedCompletions != 0) {
            text += std::to_string(f->postedCompletions) + " posted completions not run\n";
        }
    }
    for (auto& v : S().volumes) {
        if (v->references != 0) {
            text += "volume " + std::to_string(v->identity) + ": " +
                    std::to_string(v->references.load()) + " references\n";
        }
    }
    for (auto& i : S().instances) {
        if (i->references != 0) {
            text += "instance of volume " + std::to_string(i->volume->identity) + ": " +
                    std::to_string(i->references.load()) + " references\n";
        }
    }
    for (auto& f : S().fileObjects) {
        const std::int64_t extra = f->references - (f->testReference ? 1 : 0) - f->handles;
        if (extra != 0) {
            text += "file object " + std::to_string(f->identity) + ": " + std::to_string(extra) +
                    " references\n";
        }
    }
    for (auto& h : S().handles) {
        if (h->open) {
            text += h->kind == kernel::Handle::Kind::File ? "file handle still open\n"
                                                          : "process handle still open\n";
        }
    }
    if (!S().liveContexts.empty()) {
        text += std::to_string(S().liveContexts.size()) + " contexts still alive\n";
    }
    return text;
}

void FilterManager::FailRegisterFilter(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failRegister = status;
}

void FilterManager::FailStartFiltering(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failStart = status;
}

void FilterManager::FailNameQueries(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failNames = status;
}

void FilterManager::FailNameQuery(flt::FileObject* fileObject, kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    fileObject->nameFailure = status;
}

void FilterManager::FailDestinationNameQueries(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failDestinationNames = status;
}

void FilterManager::FailStreamContexts(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failStreamContexts = status;
}

void FilterManager::FailMdlMapping(bool fail) {
    std::lock_guard lock(S().lock);
    S().failMdlMapping = fail;
}

}  // namespace sim
