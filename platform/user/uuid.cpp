#include "platform/user/uuid.h"

#include <sys/random.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/error_table.h"

namespace user {
namespace {

std::uint32_t RandomBytes(void* out, std::size_t length) {
    auto* at = static_cast<std::uint8_t*>(out);
    while (length > 0) {
        const ssize_t got = getrandom(at, length, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return platform::Win32FromErrno(errno);
        }
        at += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}

// 100 ns intervals between 1582-10-15 and 1970-01-01.
constexpr std::uint64_t kGregorianOffset = 0x01B21DD213814000ULL;

std::atomic<std::uint64_t> lastTimestamp{0};

// Strictly increasing within the process, so two identifiers made in one clock tick differ.
std::uint64_t NextTimestamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::uint64_t clock = kGregorianOffset +
                                static_cast<std::uint64_t>(now.tv_sec) * 10'000'000ULL +
                                static_cast<std::uint64_t>(now.tv_nsec) / 100;
    std::uint64_t last = lastTimestamp.load();
    std::uint64_t next;
    do {
        next = clock > last ? clock : last + 1;
    } while (!lastTimestamp.compare_exchange_weak(last, next));
    return next & 0x0FFFFFFFFFFFFFFFULL;
}

}  // namespace

std::uint32_t CreateUuid(bool random, std::uint8_t guid[16]) {
    std::uint8_t bytes[16];
    if (const std::uint32_t error = RandomBytes(bytes, sizeof bytes)) {
        return error;
    }
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::memcpy(&data1, bytes, 4);
    std::memcpy(&data2, bytes + 4, 2);
    std::memcpy(&data3, bytes + 6, 2);
    if (random) {
        data3 = static_cast<std::uint16_t>((data3 & 0x0FFF) | 0x4000);
    } else {
        const std::uint64_t timestamp = NextTimestamp();
        data1 = static_cast<std::uint32_t>(timestamp);
        data2 = static_cast<std::uint16_t>(timestamp >> 32);
        data3 = static_cast<std::uint16_t>(((timestamp >> 48) & 0x0FFF) | 0x1000);
        bytes[10] |= 0x01;  // node: multicast bit, no hardware address behind it
    }
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 10
    std::memcpy(guid, &data1, 4);
    std::memcpy(guid + 4, &data2, 2);
    std::memcpy(guid + 6, &data3, 2);
    std::memcpy(guid + 8, bytes + 8, 8);
    return 0;
}

}  // namespace user
