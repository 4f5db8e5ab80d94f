#include "name_tables.h"

#include <initializer_list>
#include <utility>

namespace vesk::console {

namespace {

constexpr const char* kUnknown = "Unknown";

using Entry = std::pair<std::uint32_t, const char*>;

const char* Lookup(std::initializer_list<Entry> table, std::uint32_t value,
                   const char* otherwise = kUnknown) {
    for (const Entry& e : table) {
        if (e.first == value) {
            return e.second;
        }
    }
    return otherwise;
}

}  // namespace

const char* FileSystemTypeName(std::uint32_t value) {
    return Lookup({{1, "None"},          {2, "FAT"},           {3, "NTFS"},
                   {4, "CDFS"},          {5, "UDFS"},          {6, "Lanman"},
                   {7, "WebDav"},        {8, "Rdpdr"},         {9, "NFS"},
                   {10, "MS Netware"},   {11, "Netware"},      {12, "BSUDF"},
                   {13, "MUP"},          {14, "Rsfx"},         {15, "Roxio UDF 1"},
                   {16, "Roxio UDF 2"},  {17, "Roxio UDF 3"},  {18, "Tacit"},
                   {19, "FS Recognizer"}, {20, "InCD"},        {21, "InCD FAT"},
                   {22, "ExFAT"},        {23, "PSFS"},         {24, "GPFS"},
                   {25, "VirtualBox"},   {26, "VMware"}},
                  value);
}

const char* DeviceTypeName(std::uint32_t value) {
    return Lookup({{1, "Disk"}, {2, "Tape"}, {3, "CD"}, {4, "Network"}, {5, "DFS"}}, value);
}

const char* CreateResultName(std::uint32_t value) {
    return Lookup({{1, "Created"},
                   {2, "Opened"},
                   {3, "Overwritten"},
                   {4, "Superseded"},
                   {5, "Exists"},
                   {6, "Not exists"}},
                  value);
}

const char* DispositionName(std::uint32_t value) {
    return Lookup({{1, "Create"},
                   {2, "Supersede"},
                   {3, "Open"},
                   {4, "Open if"},
                   {5, "Overwrite"},
                   {6, "Overwrite if"}},
                  value);
}

const char* CreateKindName(std::uint32_t value) {
    return Lookup({{1, "Normal"}, {2, "Fast I/O"}}, value);
}

const char* CloseKindName(std::uint32_t value) {
    return Lookup({{1, "Handles closed"}, {2, "Object destroyed"}}, value);
}

const char* TransferKindName(std::uint32_t value) {
    return Lookup({{1, "Normal"}, {2, "Fast I/O started"}, {3, "Fast I/O completed"}}, value);
}

const char* SecurityInformationName(std::uint32_t value) {
    return Lookup({{0, kUnknown}, {1, "Owner"}, {2, "Group"}, {4, "DACL"}, {8, "SACL"}}, value,
                  "Multiple");
}

const char* ProtectionFlagsName(std::uint32_t value) {
    return Lookup({{0, "None"},
                   {1, "DACL protected"},
                   {2, "SACL protected"},
                   {4, "DACL unprotected"},
                   {8, "SACL unprotected"}},
                  value, "Multiple");
}

const char* CompressionStateName(std::uint32_t value) {
    return Lookup({{1, "Uncompressed"}, {2, "Compressed (LZNT1)"}}, value);
}

const char* ObjectIdActionName(std::uint32_t value) {
    return Lookup({{1, "Set object ID"}, {2, "Set extended data"}, {4, "Delete object ID"}}, value);
}

const char* ShrinkPhaseName(std::uint32_t value) {
    return Lookup({{1, "Prepare"}, {2, "Commit"}, {3, "Cancel"}}, value);
}

const char* ReparseKindName(std::uint32_t value) {
    return Lookup(
        {{1, "Symbolic link"}, {2, "Mount point"}, {3, "Unrecognized"}, {4, "3rd-party"}}, value);
}

const char* ReparseActionName(std::uint32_t value) {
    return Lookup({{1, "Create"}, {2, "Delete"}}, value);
}

const char* ReparseFlagsName(std::uint32_t value) {
    return Lookup({{0, "None"}, {1, "Relative"}}, value);
}

const char* RuleStoreName(std::uint32_t value) {
    return Lookup({{1, "database rules"}, {2, "in-memory rules"}, {3, "in-memory & database rules"}},
                  value);
}

}  // namespace vesk::console
