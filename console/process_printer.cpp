// The process printer: process creation and exit records.
#include "output.h"
#include "printer.h"
#include "text_conversion.h"

namespace vesk::console {

void Printer::PrintProcess(const VeskNotification& notification, const VeskOperationData& data) {
    VeskName name{};  // library buffers, released below
    const VeskChar* used = nullptr;
    const bool hasName = notification.Name != nullptr && notification.Name[0] != u'\0';
    if (!Select(notification, hasName, &name, &used)) {
        return;
    }
    if (notification.Operation != VeskOpProcessCreate &&
        notification.Operation != VeskOpProcessExit) {
        VeskFreeName(&name);
        return;
    }
    std::string text = "  Process:\r\n";
    text += notification.Operation == VeskOpProcessCreate ? "    Action: create\r\n"
                                                          : "    Action: terminate\r\n";
    text += Format("    Status: %08X\r\n", notification.Status);
    text += Format("    Process ID: 0x%X (%u)\r\n", data.Process.ProcessId, data.Process.ProcessId);
    text += Format("    Parent process ID: 0x%X (%u)\r\n", data.Process.ParentProcessId,
                   data.Process.ParentProcessId);
    if ((name.Flags & VeskNameHasName) != 0) {
        text += Format("    Image path: %s\r\n", ToUtf8(name.Name.Buffer).c_str());
    }
    text += "\r\n";
    output_.Write(text);
    VeskFreeName(&name);
}

}  // namespace vesk::console
