#include "platform/user/volumes.h"

#include <algorithm>
#include <fstream>

#include "run_directory.h"
#include "text.h"

namespace user {
namespace {

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

}  // namespace

platform::HRESULT GetDosName(const std::u16string& volumeName, std::u16string* dosName) {
    dosName->clear();
    if (volumeName.empty()) {
        return platform::HResultFromWin32(123);  // ERROR_INVALID_NAME
    }
    std::ifstream published(port_socket::RunDirectory() + "/dos-devices");
    std::string line;
    while (std::getline(published, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        if (SameName(Utf8ToUtf16(line.substr(0, tab)), volumeName)) {
            std::string dos = line.substr(tab + 1);
            if (!dos.empty() && dos.back() == '\r') {
                dos.pop_back();
            }
            *dosName = Utf8ToUtf16(dos);
            return 0;
        }
    }
    if (volumeName.front() == u'/') {
        *dosName = volumeName;  // a Linux volume is named by its directory
        return 0;
    }
    return platform::HResultFromWin32(2);  // ERROR_FILE_NOT_FOUND
}

}  // namespace user
