// Files named by UTF-16 paths, for callers that record a file's path for later use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace user {

// The absolute, resolved path of an existing regular file (symbolic links followed). 0, or 2
// (ERROR_FILE_NOT_FOUND) when nothing is there or it is not a regular file, or 3
// (ERROR_PATH_NOT_FOUND) when a directory on the way is missing, or 5 when a directory on the way
// may not be searched.
std::uint32_t ResolveExistingFile(std::u16string_view path, std::u16string* absolute);

}  // namespace user
