// The monitor's printers: the engine calls them on its dispatch thread, one record at a time, and
// they print the records that pass the class filter and the name pattern.
#pragma once

#include <memory>
#include <string>

#include "output.h"
#include "vesk/vesklib.h"

namespace vesk::console {

class Printer {
  public:
    // filter: lower-cased class letters ("" or "*..." select every class); pattern: "" or "*"
    // select every name.
    Printer(Output& output, std::string filter, std::u16string pattern);

    // Records of the file-system category.
    void PrintFileOperation(const VeskNotification& notification, const VeskOperationData& data);
    // Records of the process category.
    void PrintProcess(const VeskNotification& notification, const VeskOperationData& data);

  private:
    // Class filter and name pattern. Resolves the name into *name; *used is the text to print.
    // The name record's library buffers are released when the record is skipped.
    bool Select(const VeskNotification& notification, bool checkName, VeskName* name,
                const VeskChar** used);

    Output& output_;
    std::string filter_;
    std::u16string pattern_;
    // Caller buffers for the resolved name, its UNC form and the target's name. Only the
    // dispatch thread uses them.
    static constexpr std::uint16_t kBufferBytes = 32768;
    std::unique_ptr<VeskChar[]> nameBuffer_;
    std::unique_ptr<VeskChar[]> uncBuffer_;
    std::unique_ptr<VeskChar[]> targetBuffer_;
};

}  // namespace vesk::console
