#include "ctrl/ctrl.h"

namespace nimbrel {
namespace {

std::string NameOrUnknown(const TIdentifiedNameDict<std::uint64_t>& Names, std::uint64_t ID) {
    std::string name;
    return Names.TryGetValue(ID, name) ? name : "Unknown";
}

}  // namespace

void TCtrl::GetRemoteSettings() {
    FClient.SendCommand(XmlGetSettings);
    TCMDReader& reader = FClient.Reader();
    reader.SelectNode("item");
    FSettings.LoadFromXML(reader);
    reader.SelectRoot();
}

void TCtrl::GetRemoteUsers() {
    FClient.SendCommand(XmlGetUsers);
    FUserList.LoadFromXML(FClient.Reader(), "items");
}

void TCtrl::GetRemoteProcs() {
    FClient.SendCommand(XmlGetProcs);
    FProcList.LoadFromXML(FClient.Reader(), "items");
}

void TCtrl::GetRemoteReports() {
    FClient.SendCommand(XmlGetReport);
    FReports.LoadFromXML(FClient.Reader(), "items");
}

bool TCtrl::ConnectTo(std::string HostName, std::string Password, std::string_view OwnVersion) {
    FClient.SetHostName(std::move(HostName));
    FClient.SetPassword(std::move(Password));
    GetRemoteSettings();
    if (FSettings.VersionString() != OwnVersion) {
        FClient.Disconnect();
        return false;
    }
    return true;
}

std::string TCtrl::UserName(std::uint64_t UserID) const {
    return NameOrUnknown(FUserList, UserID);
}

std::string TCtrl::ProcName(std::uint64_t ProcID) const {
    return NameOrUnknown(FProcList, ProcID);
}

std::string TCtrl::ConnectionText() {
    return FClient.Connected() ? "Connected to " + FClient.HostName() : "Disconnected";
}

}  // namespace nimbrel
