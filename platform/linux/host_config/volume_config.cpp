#include "volume_config.h"

#include <sys/stat.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/user/machine_registry.h"
#include "run_directory.h"

namespace host_config {
namespace {

bool ToUtf16(std::string_view text, std::u16string* out) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return false;
    }
    out->resize(static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(out->data()), length, nullptr, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    return U_SUCCESS(status) || status == U_STRING_NOT_TERMINATED_WARNING;
}

bool ToUtf8(std::u16string_view text, std::string* out) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, reinterpret_cast<const UChar*>(text.data()),
                static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return false;
    }
    out->resize(static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    u_strToUTF8(out->data(), length, nullptr, reinterpret_cast<const UChar*>(text.data()),
                static_cast<int32_t>(text.size()), &status);
    return U_SUCCESS(status) || status == U_STRING_NOT_TERMINATED_WARNING;
}

// The canonical form of a directory that may no longer exist: realpath when it resolves,
// otherwise the text without trailing slashes.
std::string Canonical(const std::string& directory) {
    char resolved[PATH_MAX];
    if (realpath(directory.c_str(), resolved) != nullptr) {
        return resolved;
    }
    std::string text = directory;
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::vector<std::string> ReservedDirectories() {
    return {Canonical(port_socket::StateDirectory()), Canonical(port_socket::RunDirectory())};
}

VolumeResult Failure(VolumeError error, std::string directory, std::string detail = {}) {
    return VolumeResult{error, std::move(directory), std::move(detail)};
}

bool Store(const std::vector<std::string>& directories) {
    std::unique_ptr<registry::RegistryStore> store;
    if (user::OpenMachineRegistryForWrite(&store) != 0) {
        return false;
    }
    registry::KeyId key = 0;
    const auto data = EncodeVolumes(directories);
    return store->CreateKey(registry::kRootKey, user::MachineKeyPath(kHostKey), &key) ==
               registry::Result::Ok &&
           store->SetValue(key, kVolumesValue, 7, data) == registry::Result::Ok;
}

}  // namespace

bool PathsOverlap(std::string_view a, std::string_view b) {
    if (a.size() > b.size()) {
        std::swap(a, b);
    }
    // a is the shorter: b is a itself or lies inside it.
    if (b.compare(0, a.size(), a) != 0) {
        return false;
    }
    return b.size() == a.size() || a == "/" || b[a.size()] == '/';
}

VolumeError CheckNewVolume(const std::string& canonical, const std::vector<std::string>& configured,
                           const std::vector<std::string>& reserved, std::string* conflict) {
    if (canonical == "/") {
        return VolumeError::Root;
    }
    for (const std::string& directory : reserved) {
        if (PathsOverlap(canonical, directory)) {
            *conflict = directory;
            return VolumeError::Reserved;
        }
    }
    for (const std::string& directory : configured) {
        if (directory == canonical) {
            *conflict = directory;
            return VolumeError::AlreadyConfigured;
        }
        if (PathsOverlap(canonical, directory)) {
            *conflict = directory;
            return VolumeError::Overlaps;
        }
    }
    return VolumeError::None;
}

VolumeResult AddVolume(const std::string& directory) {
    if (!user::IsAdministrator()) {
        return Failure(VolumeError::AccessDenied, directory);
    }
    char resolved[PATH_MAX];
    if (realpath(directory.c_str(), resolved) == nullptr) {
        return Failure(VolumeError::NotADirectory, directory, std::strerror(errno));
    }
    const std::string canonical = resolved;
    struct stat st {};
    if (stat(canonical.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Failure(VolumeError::NotADirectory, canonical, std::strerror(ENOTDIR));
    }
    std::u16string wide;
    if (!ToUtf16(canonical, &wide)) {
        return Failure(VolumeError::NotUtf8, canonical);
    }
    std::vector<std::string> configured;
    if (!ListVolumes(&configured)) {
        return Failure(VolumeError::RegistryFailed, canonical);
    }
    std::string conflict;
    const VolumeError error = CheckNewVolume(canonical, configured, ReservedDirectories(), &conflict);
    if (error != VolumeError::None) {
        return Failure(error, canonical, conflict);
    }
    configured.push_back(canonical);
    if (!Store(configured)) {
        return Failure(VolumeError::RegistryFailed, canonical);
    }
    return VolumeResult{VolumeError::None, canonical, {}};
}

VolumeResult RemoveVolume(const std::string& directory) {
    if (!user::IsAdministrator()) {
        return Failure(VolumeError::AccessDenied, directory);
    }
    const std::string canonical = Canonical(directory);
    std::vector<std::string> configured;
    if (!ListVolumes(&configured)) {
        return Failure(VolumeError::RegistryFailed, canonical);
    }
    // A configured directory may have gone since; it is then named by its text.
    auto found = std::find(configured.begin(), configured.end(), canonical);
    if (found == configured.end()) {
        found = std::find(configured.begin(), configured.end(), Canonical(std::string(directory)));
    }
    if (found == configured.end()) {
        return Failure(VolumeError::NotConfigured, canonical);
    }
    configured.erase(found);
    if (!Store(configured)) {
        return Failure(VolumeError::RegistryFailed, canonical);
    }
    return VolumeResult{VolumeError::None, canonical, {}};
}

bool ListVolumes(std::vector<std::string>* directories) {
    directories->clear();
    std::unique_ptr<registry::RegistryStore> store;
    if (user::OpenMachineRegistryForRead(&store) != 0) {
        return false;
    }
    if (!store) {
        return true;
    }
    registry::KeyId key = 0;
    registry::Result result =
        store->OpenKey(registry::kRootKey, user::MachineKeyPath(kHostKey), &key);
    registry::Value value;
    if (result == registry::Result::Ok) {
        result = store->QueryValue(key, kVolumesValue, &value);
    }
    if (result == registry::Result::NotFound) {
        return true;
    }
    return result == registry::Result::Ok && value.type == 7 &&
           DecodeVolumes(value.data, directories);
}

std::vector<std::uint8_t> EncodeVolumes(const std::vector<std::string>& directories) {
    std::u16string text;
    for (const std::string& directory : directories) {
        std::u16string wide;
        ToUtf16(directory, &wide);
        text += wide;
        text += u'\0';
    }
    text += u'\0';
    std::vector<std::uint8_t> data(text.size() * 2);
    std::memcpy(data.data(), text.data(), data.size());
    return data;
}

bool DecodeVolumes(const std::vector<std::uint8_t>& data, std::vector<std::string>* directories) {
    directories->clear();
    if (data.size() % 2 != 0) {
        return false;
    }
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), data.size());
    // Each entry ends with a terminator, and an empty entry ends the list.
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = text.find(u'\0', at);
        if (end == std::u16string::npos) {
            return false;
        }
        if (end == at) {
            return true;
        }
        std::string directory;
        if (!ToUtf8(std::u16string_view(text).substr(at, end - at), &directory)) {
            return false;
        }
        directories->push_back(std::move(directory));
        at = end + 1;
    }
}

}  // namespace host_config
