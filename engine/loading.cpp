// Loading and unloading the driver through the platform's filter manager.

#include "last_error.h"
#include "platform/user/filters.h"
#include "vesk/vesklib.h"

namespace vesk::engine {
namespace {

constexpr char16_t kFilterName[] = u"TallowmereVesk";

constexpr platform::HRESULT kAlreadyExists = static_cast<platform::HRESULT>(0x800700B7U);
constexpr platform::HRESULT kServiceAlreadyRunning = static_cast<platform::HRESULT>(0x80070420U);
constexpr platform::HRESULT kServiceNotActive = static_cast<platform::HRESULT>(0x80070426U);

VeskBool Finish(platform::HRESULT result) {
    SetLastError(ErrorFromResult(result));
    return result >= 0;
}

}  // namespace
}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" {

VESK_API VeskBool VeskLoad(void) {
    platform::HRESULT result = user::FilterLoad(kFilterName);
    if (result == kAlreadyExists || result == kServiceAlreadyRunning) {
        result = 0;  // loaded already: what the caller wanted
    }
    return Finish(result);
}

VESK_API VeskBool VeskUnload(void) {
    platform::HRESULT result = user::FilterUnload(kFilterName);
    if (result == kServiceNotActive) {
        result = 0;  // not loaded: what the caller wanted
    }
    return Finish(result);
}

}  // extern "C"
