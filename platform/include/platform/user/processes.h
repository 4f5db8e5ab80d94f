// Process images: the full path of the file a process runs, as the system reports it.
#pragma once

#include <cstdint>
#include <string>

namespace user {

// 0 with the path; 87 for a process that does not exist (or has exited); 5 when it may not be
// inspected; other errors through the platform's errno table.
std::uint32_t QueryProcessImageName(std::uint32_t processId, std::u16string* path);

}  // namespace user
