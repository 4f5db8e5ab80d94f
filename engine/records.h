// Fills the client records VeskNotification and VeskOperationData from a notification record
// that RecordIsSound accepted. Pointers in both point into the record, so they live as long as it.
#pragma once

#include <cstdint>
#include <span>

#include "vesk/vesklib.h"

namespace vesk::engine {

// The union is cleared first, so a layout the class does not fill holds no pointer left over
// from an earlier record.
void FillClientRecords(std::span<const std::uint8_t> record, VeskNotification* notification,
                       VeskOperationData* data);

}  // namespace vesk::engine
