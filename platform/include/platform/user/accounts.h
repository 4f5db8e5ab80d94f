// Account names of SIDs. "Unix user" SIDs S-1-22-1-<uid> and "Unix group" SIDs S-1-22-2-<gid>
// resolve through the user and group databases; well-known SIDs through a table.
#pragma once

#include <cstdint>
#include <string>

namespace user {

enum SidNameUse : std::uint32_t {
    SidTypeUser = 1,
    SidTypeGroup = 2,
    SidTypeDomain = 3,
    SidTypeAlias = 4,
    SidTypeWellKnownGroup = 5,
};

// sid: a binary SID of sidLength readable bytes. 0 with name, domain and type filled; 87 for a
// SID that is not valid; 1332 (ERROR_NONE_MAPPED) for one without an account; 8 out of memory.
std::uint32_t LookupAccountSid(const void* sid, std::uint32_t sidLength, std::u16string* name,
                               std::u16string* domain, SidNameUse* use);

// The length of a valid binary SID within the bytes given, or 0 when they do not hold one.
std::uint32_t SidLength(const void* sid, std::uint32_t available);

}  // namespace user
