// The words the printer uses for the values in records. A value without a word prints "Unknown"
// unless a table says otherwise.
#pragma once

#include <cstdint>

namespace vesk::console {

const char* FileSystemTypeName(std::uint32_t value);
const char* DeviceTypeName(std::uint32_t value);
const char* CreateResultName(std::uint32_t value);
const char* DispositionName(std::uint32_t value);
const char* CreateKindName(std::uint32_t value);
const char* CloseKindName(std::uint32_t value);
const char* TransferKindName(std::uint32_t value);
const char* SecurityInformationName(std::uint32_t value);  // a combination: "Multiple"
const char* ProtectionFlagsName(std::uint32_t value);      // a combination: "Multiple"
const char* CompressionStateName(std::uint32_t value);
const char* ObjectIdActionName(std::uint32_t value);
const char* ShrinkPhaseName(std::uint32_t value);
const char* ReparseKindName(std::uint32_t value);
const char* ReparseActionName(std::uint32_t value);
const char* ReparseFlagsName(std::uint32_t value);
// Display names of the rule stores of the rule commands.
const char* RuleStoreName(std::uint32_t value);

}  // namespace vesk::console
