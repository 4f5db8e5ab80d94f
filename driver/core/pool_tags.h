// The driver's pool tags, one per purpose, so that a leak names what leaked.
#pragma once

#include "platform/kernel/pool.h"

namespace vesk::driver {

// Non-pageable.
constexpr std::uint32_t kTagMessage = kernel::MakePoolTag("Fmsg");         // notification messages
constexpr std::uint32_t kTagQueueEntry = kernel::MakePoolTag("Fent");      // event queue entries
constexpr std::uint32_t kTagOperationContext = kernel::MakePoolTag("Fopc");
constexpr std::uint32_t kTagStreamContext = kernel::MakePoolTag("Fscx");
constexpr std::uint32_t kTagVolumeContext = kernel::MakePoolTag("Fvcx");
constexpr std::uint32_t kTagRule = kernel::MakePoolTag("Frul");
constexpr std::uint32_t kTagVolumeProperties = kernel::MakePoolTag("Fprp");
constexpr std::uint32_t kTagImageName = kernel::MakePoolTag("Fini");
// Pageable unless a caller asks for non-pageable strings.
constexpr std::uint32_t kTagString = kernel::MakePoolTag("Fstr");
constexpr std::uint32_t kTagSid = kernel::MakePoolTag("Fsid");
constexpr std::uint32_t kTagAcl = kernel::MakePoolTag("Facl");
constexpr std::uint32_t kTagRuleEnumeration = kernel::MakePoolTag("Frvi");
constexpr std::uint32_t kTagLinkInformation = kernel::MakePoolTag("Finf");
constexpr std::uint32_t kTagReparse = kernel::MakePoolTag("Frep");

}  // namespace vesk::driver
