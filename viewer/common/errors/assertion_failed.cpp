#include "errors/assertion_failed.h"

#include <string>
#include <string_view>

namespace nimbrel {

void Assert(bool condition, const char* file, int line) {
    if (condition) {
        return;
    }
    std::string_view name = file;
    if (auto slash = name.find_last_of('/'); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    throw EAssertionFailed("Assertion failure (" + std::string(name) + ", line " +
                           std::to_string(line) + ")");
}

}  // namespace nimbrel
