// File-name information: the filter manager's reference-counted record of an object's name.
// Whoever obtains a reference gives it back with ReleaseFileNameInformation, which must run below
// DISPATCH_LEVEL; code running higher hands the reference to a passive-level thread instead.
#pragma once

#include <cstdint>

#include "platform/kernel/unicode_string.h"

namespace kernel {

struct FileNameInformation {
    UnicodeString Name;    // the full name, starting with the volume's device name
    UnicodeString Volume;  // the leading part of Name that names the volume
};

void ReferenceFileNameInformation(FileNameInformation* information);
void ReleaseFileNameInformation(FileNameInformation* information);

// Creates a record with one reference (the filter manager's side of the platform does this).
// volumeCharacters: how many leading characters of name are the volume. nullptr without memory.
FileNameInformation* CreateFileNameInformation(const char16_t* name, std::uint16_t nameCharacters,
                                               std::uint16_t volumeCharacters);

// Records alive right now: a test's proof that every reference was given back.
std::int64_t LiveFileNameInformationRecords();

}  // namespace kernel
