// The name a file-system record carries: the object's full kernel name and how many of its
// leading characters name the volume.
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// Volumes whose device is a network device name files by redirector, server and share.
bool IsNetworkVolume(flt::Volume* volume);

// The name form to ask for: after a failed operation the opened name, from the cache if need be
// (0x402); otherwise the opened name on network volumes (0x102) and the normalized name elsewhere
// (0x101).
std::uint32_t NameQueryOptions(bool operationFailed, bool networkVolume);

// Owns what the name is made of; Release gives it back on every path.
class ObjectName {
  public:
    ObjectName() = default;
    ~ObjectName() { Release(); }
    ObjectName(const ObjectName&) = delete;
    ObjectName& operator=(const ObjectName&) = delete;

    // volume: the operation's volume (nullptr only when there is no operation either).
    // data: the operation, or nullptr. streamName: the stream's cached name, or nullptr.
    // Without a stream name: the volume's device name (prefix 0) when the operation has no target
    // file object, else the name the platform answers for it. On network volumes the name is
    // rewritten to its redirector form; a name whose redirector is not known fails.
    // STATUS_INVALID_PARAMETER_MIX with neither a volume nor an operation.
    kernel::NTSTATUS Build(flt::Volume* volume, flt::CallbackData* data,
                           kernel::FileNameInformation* streamName);
    void Release();

    const kernel::UnicodeString& Text() const { return text_; }
    std::uint16_t PrefixCharacters() const { return prefixChars_; }

  private:
    kernel::UnicodeString text_{0, 0, nullptr};
    std::uint16_t prefixChars_ = 0;
    kernel::FileNameInformation* obtained_ = nullptr;  // a reference this name took
    kernel::UnicodeString* copy_ = nullptr;            // a counted string this name built
};

}  // namespace vesk::driver
