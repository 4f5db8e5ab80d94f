#include "rtl/exceptions.h"

#include <cstring>

namespace nimbrel {

void RaiseAssertion(const char* condition, const char* file, int line) {
    const char* slash = std::strrchr(file, '/');
    const char* unit = slash != nullptr ? slash + 1 : file;
    throw EAssertionFailed(std::string("Assertion failure: ") + condition + " (" + unit +
                           ", line " + std::to_string(line) + ")");
}

}  // namespace nimbrel
