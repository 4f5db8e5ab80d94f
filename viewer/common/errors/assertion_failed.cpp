#include "errors/assertion_failed.h"

#include <string>
#include <string_view>

namespace nimbrel {

void Assert(bool condition, std::source_location where) {
    if (condition) {
        return;
    }
    std::string_view file = where.file_name();
    if (auto slash = file.find_last_of('/'); slash != std::string_view::npos) {
        file.remove_prefix(slash + 1);
    }
    throw EAssertionFailed("Assertion failure (" + std::string(file) + ", line " +
                           std::to_string(where.line()) + ")");
}

}  // namespace nimbrel
