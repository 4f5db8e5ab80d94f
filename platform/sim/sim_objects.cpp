#include "sim_objects.h"

#include "../objects/object_namespace.h"

namespace sim {

void Objects::Reset() {
    kernel::objects::Clear();
}

void Objects::AddDevice(const std::u16string& name) {
    kernel::objects::InsertObject(name);
}

void Objects::AddLink(const std::u16string& name, const std::u16string& target) {
    kernel::objects::InsertSymbolicLink(name, target);
}

void Objects::Remove(const std::u16string& name) {
    kernel::objects::Remove(name);
}

void Objects::AddDrive(char16_t letter, const std::u16string& target, kernel::DriveType type) {
    kernel::objects::InsertSymbolicLink(std::u16string(u"\\GLOBAL??\\") + letter + u':', target,
                                        type);
}

void Objects::AddLogonDrive(const kernel::Luid& logonId, char16_t letter,
                            const std::u16string& target, kernel::DriveType type) {
    kernel::objects::InsertSymbolicLink(
        kernel::objects::LogonSessionDosDevices(logonId) + u'\\' + letter + u':', target, type);
}

void Objects::AddRedirector(const std::u16string& component) {
    kernel::objects::InsertObject(u"\\Device\\Mup");
    kernel::objects::InsertSymbolicLink(u"\\Device\\" + component, u"\\Device\\Mup\\;" + component);
}

void Objects::FailDeviceMapQueries(kernel::NTSTATUS status) {
    kernel::objects::FailDeviceMapQueries(status);
}

}  // namespace sim
