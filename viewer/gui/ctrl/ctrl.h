// The viewer's single point of contact with the monitoring service: the command client and the
// service's tables that several windows share. Tables change only when a fetch runs: nothing is
// fetched on a timer and nothing expires.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "http_client/gui_http_client.h"
#include "types/gui_report_item.h"
#include "types/gui_settings.h"
#include "types/identified_name_dict.h"

namespace nimbrel {

class TCtrl {
  public:
    TCtrl() = default;
    TCtrl(const TCtrl&) = delete;
    TCtrl& operator=(const TCtrl&) = delete;

    TGUIHttpClient& Client() { return FClient; }
    TGUISettings& Settings() { return FSettings; }
    TIdentifiedNameDict<std::uint64_t>& UserList() { return FUserList; }
    TIdentifiedNameDict<std::uint64_t>& ProcList() { return FProcList; }
    TGUIReportList& Reports() { return FReports; }

    // Forwards to the client; results are read from Client().Reader() afterwards.
    void SendCommand(TXMLCommand Command, std::initializer_list<TCommandParam> Params = {}) {
        FClient.SendCommand(Command, Params);
    }

    // Each fetch replaces its whole table (loading clears it first). Errors pass; the table may
    // then be empty or partly filled.
    void GetRemoteSettings();
    void GetRemoteUsers();
    void GetRemoteProcs();
    void GetRemoteReports();

    // Connecting: sets the host and password, fetches the settings and accepts the service only
    // when its version text equals OwnVersion exactly. Otherwise the connection is closed and
    // false returned; the user and process tables keep their content.
    bool ConnectTo(std::string HostName, std::string Password, std::string_view OwnVersion);

    // The names shown for an event's user and process: "Unknown" when not in the table.
    std::string UserName(std::uint64_t UserID) const;
    std::string ProcName(std::uint64_t ProcID) const;

    // "Connected to <host>" while the connection is open, else "Disconnected".
    std::string ConnectionText();

  private:
    TGUIHttpClient FClient;
    TGUISettings FSettings;
    TIdentifiedNameDict<std::uint64_t> FUserList;
    TIdentifiedNameDict<std::uint64_t> FProcList;
    TGUIReportList FReports;
};

// The program's one controller: created and freed by the main window.
inline TCtrl* Ctrl = nullptr;

}  // namespace nimbrel
