#include "capture_environment.h"

namespace vesk::driver {

CaptureEnvironment& Environment() {
    static CaptureEnvironment environment;
    return environment;
}

}  // namespace vesk::driver
