#include "platform/kernel/file_name_information.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/kernel/irql.h"

namespace kernel {
namespace {

struct Record {
    FileNameInformation information;  // first, so the public pointer is the record's
    std::atomic<std::int32_t> references{1};
    char16_t text[1];  // the name follows, terminated
};

std::atomic<std::int64_t> liveRecords{0};

}  // namespace

FileNameInformation* CreateFileNameInformation(const char16_t* name, std::uint16_t nameCharacters,
                                               std::uint16_t volumeCharacters) {
    if (nameCharacters > 0x7FFE || volumeCharacters > nameCharacters) {
        return nullptr;
    }
    void* memory = ::operator new(sizeof(Record) + sizeof(char16_t) * nameCharacters, std::nothrow);
    if (memory == nullptr) {
        return nullptr;
    }
    auto* record = new (memory) Record;
    std::memcpy(record->text, name, sizeof(char16_t) * nameCharacters);
    record->text[nameCharacters] = u'\0';
    const auto bytes = static_cast<std::uint16_t>(nameCharacters * sizeof(char16_t));
    record->information.Name = {bytes, static_cast<std::uint16_t>(bytes + 2), record->text};
    const auto volumeBytes = static_cast<std::uint16_t>(volumeCharacters * sizeof(char16_t));
    record->information.Volume = {volumeBytes, volumeBytes, record->text};
    ++liveRecords;
    return &record->information;
}

void ReferenceFileNameInformation(FileNameInformation* information) {
    reinterpret_cast<Record*>(information)->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseFileNameInformation(FileNameInformation* information) {
    if (CurrentIrql() > APC_LEVEL) {
        BugCheck("file-name information released at DISPATCH_LEVEL or above");
    }
    auto* record = reinterpret_cast<Record*>(information);
    const std::int32_t left = record->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left < 0) {
        BugCheck("file-name information released more often than referenced");
    }
    if (left == 0) {
        record->~Record();
        ::operator delete(record);
        --liveRecords;
    }
}

std::int64_t LiveFileNameInformationRecords() { return liveRecords.load(); }

}  // namespace kernel
