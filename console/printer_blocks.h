// The text block of each class of file-system record, one family per file. The file printer has
// already resolved and converted the names a block needs.
#pragma once

#include <string>

#include "vesk/vesklib.h"

namespace vesk::console {

struct RecordText {
    const VeskNotification& notification;
    const VeskOperationData& data;
    std::string name;  // drive-letter form when it has one, else the kernel's form
    bool nameResolved = false;
    std::string uncName;
    bool uncResolved = false;
    std::string target;  // link, rename and reparse targets; empty when there is none
};

// Title, volume, status and name lines that most blocks start with.
std::string CommonLines(const char* title, const RecordText& record);

// Create and close.
std::string CreateBlock(const RecordText& record);
std::string CloseBlock(const RecordText& record);
// Read and write (title "Read" or "Write"), flush.
std::string TransferBlock(const char* title, const RecordText& record);
std::string FlushBlock(const RecordText& record);
// Mount and attach ("mounted"/"attached"), unmount and detach, label.
std::string VolumeArrivalBlock(const char* title, const char* verb, const RecordText& record);
std::string VolumeDepartureBlock(const char* title, const RecordText& record);
std::string LabelBlock(const RecordText& record);
// Delete, link and move.
std::string DeleteBlock(const RecordText& record);
std::string LinkBlock(const RecordText& record);
std::string MoveBlock(const RecordText& record);
// Allocation, basic information, size, position and valid length.
std::string AllocationBlock(const RecordText& record);
std::string BasicBlock(const RecordText& record);
std::string SizeBlock(const RecordText& record);
std::string PositionBlock(const RecordText& record);
std::string ValidLengthBlock(const RecordText& record);
// Security, extended attributes and quota.
std::string SecurityBlock(const RecordText& record);
std::string EaBlock(const RecordText& record);
std::string QuotaBlock(const RecordText& record);
// File-system controls: compression, sparse, object id, extend, shrink, reparse point.
std::string CompressBlock(const RecordText& record);
std::string SparseBlock(const RecordText& record);
std::string ObjectIdBlock(const RecordText& record);
std::string ExtendBlock(const RecordText& record);
std::string ShrinkBlock(const RecordText& record);
std::string ReparseBlock(const RecordText& record);

}  // namespace vesk::console
