#include "local_time.h"

#include <ctime>

#include "output.h"

namespace vesk::console {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace

std::optional<std::string> FormatLocalTime(std::uint64_t fileTime) {
    if (fileTime > static_cast<std::uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    const std::time_t seconds =
        static_cast<std::time_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return std::nullopt;
    }
    return Format("%02u:%02u:%02u %02u.%02u.%04u", static_cast<unsigned>(local.tm_hour),
                  static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec),
                  static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_mon + 1),
                  static_cast<unsigned>(local.tm_year + 1900));
}

}  // namespace vesk::console
