// Blocks of volume arrivals (mount, attach), departures (unmount, detach) and label changes.
#include "name_tables.h"
#include "output.h"
#include "printer_blocks.h"
#include "text_conversion.h"

namespace vesk::console {

namespace {

std::string VolumeHead(const char* title, const VeskNotification& n) {
    return std::string(title) + Format("    %08X\r\n", n.VolumeId) +
           Format("    Status: %08X\r\n", n.Status);
}

}  // namespace

std::string VolumeArrivalBlock(const char* title, const char* verb, const RecordText& record) {
    const VeskNotification& n = record.notification;
    const VeskVolumeData& v = record.data.Volume;
    const std::string kernelName = ToUtf8(n.Name);
    std::string text = VolumeHead(title, n);
    if (record.nameResolved) {
        text += Format("    %s %s to %s\r\n", kernelName.c_str(), verb, record.name.c_str());
    } else {
        text += Format("    %s\r\n", kernelName.c_str());
    }
    text += Format("    Volume flags: 0x%X\r\n", v.VolumeFlags);
    text += Format("    Device type: %s\r\n", DeviceTypeName(v.DeviceType));
    text += Format("    File system type: %s\r\n", FileSystemTypeName(v.FileSystemType));
    return text + "\r\n";
}

std::string VolumeDepartureBlock(const char* title, const RecordText& record) {
    const VeskNotification& n = record.notification;
    return VolumeHead(title, n) + Format("    %s\r\n", ToUtf8(n.Name).c_str()) + "\r\n";
}

std::string LabelBlock(const RecordText& record) {
    const std::string label = ToUtf8(record.data.Label.Label);
    return CommonLines("  Label:\r\n", record) + Format("    New label: %s\r\n", label.c_str()) +
           "\r\n";
}

}  // namespace vesk::console
