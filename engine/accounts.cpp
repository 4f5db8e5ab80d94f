// Account names of SIDs and image paths of processes, handed out as library text blocks.

#include "platform/user/accounts.h"
#include "last_error.h"
#include "library_strings.h"
#include "platform/user/processes.h"

using namespace vesk::engine;

namespace {

constexpr std::uint32_t kMaxSidLength = 68;
// The longest image path handed out, in characters with the terminator.
constexpr std::size_t kMaxImagePath = 16384;

}  // namespace

extern "C" {

// The block holds the account name, NUL-terminated, then the domain name, NUL-terminated; the
// caller releases it with VeskFreeString. Nothing is cached.
VESK_API VeskBool VeskGetAccountName(const void* sid, VeskChar** accountName, uint32_t* sidType) {
    const std::uint32_t sidLength = user::SidLength(sid, kMaxSidLength);
    if (accountName == nullptr || sidLength == 0) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    std::u16string name;
    std::u16string domain;
    user::SidNameUse use{};
    const std::uint32_t error = user::LookupAccountSid(sid, sidLength, &name, &domain, &use);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    if (name.empty()) {
        SetLastError(kErrorInternal);
        return 0;
    }
    VeskChar* block = CopyText(name + u'\0' + domain);
    if (block == nullptr) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    *accountName = block;
    if (sidType != nullptr) {
        *sidType = use;
    }
    SetLastError(0);
    return 1;
}

VESK_API VeskBool VeskGetProcessImagePath(uint32_t processId, VeskChar** imagePath) {
    if (imagePath == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    std::u16string path;
    const std::uint32_t error = user::QueryProcessImageName(processId, &path);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    if (path.size() + 1 > kMaxImagePath) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    VeskChar* block = CopyText(path);
    if (block == nullptr) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    *imagePath = block;
    SetLastError(0);
    return 1;
}

}  // extern "C"
