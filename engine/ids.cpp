// Rule and object identifiers.

#include <cstring>

#include "last_error.h"
#include "platform/user/uuid.h"
#include "vesk/vesklib.h"

using namespace vesk::engine;

extern "C" VESK_API VeskBool VeskCreateId(VeskGuid* id, uint32_t random) {
    if (id == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    std::uint8_t bytes[16];
    const std::uint32_t error = user::CreateUuid(random != 0, bytes);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    std::memcpy(id, bytes, sizeof bytes);
    SetLastError(0);
    return 1;
}
