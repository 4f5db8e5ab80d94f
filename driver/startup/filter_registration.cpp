#include "filter_registration.h"

#include "capture/capture_callbacks.h"
#include "capture/capture_contexts.h"
#include "core/pool_tags.h"
#include "driver_entry.h"
#include "instance_callbacks.h"

namespace vesk::driver {

namespace {

using flt::MajorFunction;

constexpr flt::ContextRegistration kContexts[] = {
    {flt::ContextType::Stream, sizeof(VeskStreamContext), kernel::PoolType::NonPaged,
     kTagStreamContext, &ContextCleanup},
    {flt::ContextType::Volume, sizeof(VeskVolumeContext), kernel::PoolType::NonPaged,
     kTagVolumeContext, &ContextCleanup},
};

constexpr flt::OperationRegistration Watch(MajorFunction major) {
    return {major, 0, &VeskPreOperation, &VeskPostOperation};
}

constexpr flt::OperationRegistration kOperations[] = {
    Watch(MajorFunction::Create),
    Watch(MajorFunction::NetworkQueryOpen),
    Watch(MajorFunction::Close),
    Watch(MajorFunction::Cleanup),
    Watch(MajorFunction::Read),
    Watch(MajorFunction::MdlRead),
    Watch(MajorFunction::MdlReadComplete),
    Watch(MajorFunction::Write),
    Watch(MajorFunction::PrepareMdlWrite),
    Watch(MajorFunction::MdlWriteComplete),
    Watch(MajorFunction::VolumeMount),
    Watch(MajorFunction::VolumeDismount),
    Watch(MajorFunction::SetVolumeInformation),
    Watch(MajorFunction::SetInformation),
    Watch(MajorFunction::SetSecurity),
    Watch(MajorFunction::SetEa),
    Watch(MajorFunction::SetQuota),
    Watch(MajorFunction::FileSystemControl),
    Watch(MajorFunction::FlushBuffers),
};
static_assert(std::size(kOperations) == flt::kMajorFunctionCount,
              "every operation the platform offers is watched");

constexpr flt::Registration kRegistration{
    sizeof(flt::Registration),
    flt::kRegistrationVersion,
    flt::kRegistrationDoNotSupportServiceStop,
    kContexts,
    static_cast<std::uint32_t>(std::size(kContexts)),
    kOperations,
    static_cast<std::uint32_t>(std::size(kOperations)),
    &FilterUnload,
    &InstanceSetup,
    &InstanceTeardownComplete,
};

}  // namespace

const flt::Registration& FilterRegistration() {
    return kRegistration;
}

}  // namespace vesk::driver
