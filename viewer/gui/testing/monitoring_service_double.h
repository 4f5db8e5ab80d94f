// A monitoring service for tests: a real HTTP server on the loopback interface that answers
// every command of the monitoring protocol from in-memory data, and records what it received.
//
// The service runs on its own threads. Tests change its data only through the member functions
// (each takes the lock), never while holding references into it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http_comm/xml_command.h"
#include "logger/common_log_item.h"
#include "reports/report_item.h"
#include "settings/common_settings.h"
#include "tree/file_oper_item.h"
#include "tree/file_tree_item.h"
#include "types/identified_name_dict.h"

namespace httplib {
class Server;
}

namespace nimbrel::testing {

struct TRecordedRequest {
    TXMLCommand Command = XmlInvalidCommand;
    std::string Document;         // the request body as a document (after gzip decoding)
    std::string ContentEncoding;  // the request's headers as sent
    std::string AcceptEncoding;
    std::string Authorization;
    int RemotePort = 0;  // tells the client's TCP connections apart
    int Status = 0;      // the HTTP status of the answer
};

struct TSentEmail {
    TEmailSettings Settings;
    std::string Address;
};

// Everything the service knows. Node 0 is the (invisible) top of the file tree.
struct TServiceData {
    struct TNode {
        TFileTreeItem Item;
        std::uint64_t Parent = 0;
        std::vector<TFileOperItem> Events;
    };

    TCommonSettings Settings;
    std::map<std::uint64_t, TNode> Nodes;
    TIdentifiedNameDict<std::uint64_t> Users;
    TIdentifiedNameDict<std::uint64_t> Procs;
    TIdentifiedNameDict<std::uint32_t> CurrProcs;
    std::vector<TCommonLogItem> Log;
    std::vector<TCommonReportItem> Reports;
    std::vector<std::uint64_t> RunReports;
    std::vector<TSentEmail> SentEmails;
    std::uint64_t NextID = 1;
};

class TMonitoringServiceDouble {
  public:
    // Starts listening on 127.0.0.1 at a free port. The service's version text is VersionString.
    explicit TMonitoringServiceDouble(std::string Password = "secret",
                                      std::string VersionString = "1.0.0 build 1");
    ~TMonitoringServiceDouble();

    TMonitoringServiceDouble(const TMonitoringServiceDouble&) = delete;
    TMonitoringServiceDouble& operator=(const TMonitoringServiceDouble&) = delete;

    int Port() const { return FPort; }

    // Runs Edit on the data under the lock.
    void WithData(const std::function<void(TServiceData&)>& Edit);

    // Adds a node below ParentID (0: top level) and returns its ID.
    std::uint64_t AddNode(std::uint64_t ParentID, const std::string& Name,
                          std::uint32_t Attributes = 0);
    // Records an operation on a node; its ID is assigned here.
    void AddEvent(std::uint64_t NodeID, TOperKind Kind, std::uint64_t UserID, std::uint64_t ProcID,
                  TDateTime TimeStamp, const std::string& OperData = "");

    // Misbehaviour for the next command only: a failure with this message (status 0)...
    void FailNextCommand(std::string Message);
    // ...or this body instead of the reply (plain, whatever the request asked for).
    void ReplyNextWith(std::string Body);
    // The next reply says "Connection: close", so the connection ends after it.
    void CloseAfterNextReply();
    // Off: gzip requests get plain replies without Content-Encoding.
    void SetGzipReplies(bool Value);

    std::vector<TRecordedRequest> Requests() const;

  private:
    void Handle(const std::string& Body, TRecordedRequest& Record, std::string& Reply);
    std::string Answer(const std::string& Request, TRecordedRequest& Record);

    mutable std::mutex FLock;  // protects everything below except FServer and FThread
    TServiceData FData;
    std::vector<TRecordedRequest> FRequests;
    std::optional<std::string> FFailNext;
    std::optional<std::string> FReplyNext;
    bool FGzipReplies = true;
    bool FCloseNext = false;

    std::unique_ptr<httplib::Server> FServer;
    int FPort = 0;
    std::thread FThread;
};

}  // namespace nimbrel::testing
