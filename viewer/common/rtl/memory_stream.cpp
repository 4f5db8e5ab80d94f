#include "rtl/memory_stream.h"

#include <cstring>

namespace nimbrel {

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::Write(const void* Buffer, std::size_t Count) {
    if (Count == 0) {
        return;
    }
    if (FPosition + Count > FData.size()) {
        FData.resize(FPosition + Count);
    }
    std::memcpy(FData.data() + FPosition, Buffer, Count);
    FPosition += Count;
}

}  // namespace nimbrel
