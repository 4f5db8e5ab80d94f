#include "testing/monitoring_service_double.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "http_comm/cmd_reader.h"
#include "http_comm/cmd_writer.h"
#include "http_comm/gzip.h"
#include "rtl/ascii_text.h"
#include "rtl/base64.h"
#include "tree/chronological_item.h"
#include "tree/filter_item.h"
#include "types/remotable_list.h"
#include "types/soft_exception.h"

namespace nimbrel::testing {
namespace {

// Wildcards * (any run) and ? (any one character), compared without regard to case.
bool Matches(std::string_view Name, std::string_view Pattern) {
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < Name.size()) {
        if (p < Pattern.size() &&
            (Pattern[p] == '?' || AsciiLower(Pattern[p]) == AsciiLower(Name[n]))) {
            ++n;
            ++p;
        } else if (p < Pattern.size() && Pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == '*') {
        ++p;
    }
    return p == Pattern.size();
}

bool Passes(const TFileOperItem& Event, const TFilterItem& Filter) {
    return (Filter.Kind() == okNone || Event.Kind() == Filter.Kind()) &&
           (Filter.UserID() == 0 || Event.UserID() == Filter.UserID()) &&
           (Filter.ProcID() == 0 || Event.ProcID() == Filter.ProcID()) &&
           (Filter.PastDate() == 0 || Event.TimeStamp() >= Filter.PastDate());
}

std::string FullPath(const TServiceData& Data, std::uint64_t NodeID) {
    std::string path;
    for (auto node = Data.Nodes.find(NodeID); node != Data.Nodes.end();
         node = Data.Nodes.find(node->second.Parent)) {
        path = path.empty() ? node->second.Item.Name() : node->second.Item.Name() + "\\" + path;
    }
    return path;
}

TFilterItem ReadFilter(TCMDReader& Reader) {
    TFilterItem filter;
    TSavePoint point(Reader);
    Reader.SelectNode("item");
    filter.LoadFromXML(Reader);
    return filter;
}

template <class T>
void WriteItems(TCMDWriter& Writer, std::vector<T>& Items) {
    TRemotableList<T> view(false);
    for (T& item : Items) {
        view.Add(&item);
    }
    view.SaveToXML(Writer, "items");
}

// Executes one command on the data, writing its results into Writer. Failures are raised as
// ESoftException (or whatever reading the request raised) and become status 0.
void Execute(TServiceData& Data, TCMDReader& Reader, TCMDWriter& Writer) {
    switch (Reader.Command()) {
        case XmlGetSettings: {
            TSavePoint point(Writer);
            Writer.AddNode("item");
            Data.Settings.SaveToXML(Writer);
            break;
        }
        case XmlSetSettings: {
            // The run-time information is the service's own, whatever the viewer sends.
            const std::string path = Data.Settings.RunTimeDBPath();
            const std::uint64_t size = Data.Settings.RunTimeDBSize();
            const std::string version = Data.Settings.VersionString();
            Reader.SelectNode("item");
            Data.Settings.LoadFromXML(Reader);
            Data.Settings.SetRunTimeDBPath(path);
            Data.Settings.SetRunTimeDBSize(size);
            Data.Settings.SetVersionString(version);
            break;
        }
        case XmlEmailTest: {
            TSentEmail email;
            Reader.SelectNode("item");
            email.Settings.LoadFromXML(Reader);
            email.Address = Reader.ReadString("id");
            if (email.Address.empty()) {
                throw ESoftException("No recipient address");
            }
            Data.SentEmails.push_back(std::move(email));
            break;
        }
        case XmlEraseLog:
            Data.Log.clear();
            break;
        case XmlGetLog:
            WriteItems(Writer, Data.Log);
            break;
        case XmlGetFiles: {
            const std::uint64_t parent = Reader.ReadUInt64("id");
            if (parent != 0 && Data.Nodes.count(parent) == 0) {
                throw ESoftException("Unknown file node " + std::to_string(parent));
            }
            TFileTreeList list;
            for (const auto& [id, node] : Data.Nodes) {
                if (node.Parent != parent) {
                    continue;
                }
                auto* item = list.Add(new TFileTreeItem(node.Item));
                item->SetChildren(
                    std::any_of(Data.Nodes.begin(), Data.Nodes.end(),
                                [&](const auto& n) { return n.second.Parent == id; }));
                if (!node.Events.empty()) {
                    item->SetLastKind(node.Events.back().Kind());
                }
            }
            list.SaveToXML(Writer, "items");
            break;
        }
        case XmlGetEvents: {
            const auto node = Data.Nodes.find(Reader.ReadUInt64("id"));
            const TFilterItem filter = ReadFilter(Reader);
            if (node == Data.Nodes.end()) {
                throw ESoftException("Unknown file node");
            }
            TFileOperList list;
            for (const TFileOperItem& event : node->second.Events) {
                if (Passes(event, filter)) {
                    list.Add(new TFileOperItem(event));
                }
            }
            list.SaveToXML(Writer, "items");
            break;
        }
        case XmlGetUsers:
            Data.Users.SaveToXML(Writer, "items");
            break;
        case XmlGetProcs:
            Data.Procs.SaveToXML(Writer, "items");
            break;
        case XmlGetCurrProcs:
            Data.CurrProcs.SaveToXML(Writer, "items");
            break;
        case XmlFindFile: {
            const std::string pattern = Reader.ReadString("item");
            TFileTreeList list;
            for (const auto& [id, node] : Data.Nodes) {
                if (Matches(node.Item.Name(), pattern)) {
                    auto* item = list.Add(new TFileTreeItem(node.Item));
                    item->SetName(FullPath(Data, id));
                }
            }
            list.SaveToXML(Writer, "items");
            break;
        }
        case XmlPurgeDatabase:
            Data.Nodes.clear();
            Data.Users.Clear();
            Data.Procs.Clear();
            Data.Settings.SetRunTimeDBSize(0);
            break;
        case XmlGetChronological: {
            const std::int32_t limit = Reader.ReadInteger("limit");
            const std::int32_t offset = Reader.ReadInteger("offset");
            const TFilterItem filter = ReadFilter(Reader);
            std::vector<std::pair<const TFileOperItem*, std::uint64_t>> rows;
            for (const auto& [id, node] : Data.Nodes) {
                for (const TFileOperItem& event : node.Events) {
                    if (Passes(event, filter)) {
                        rows.emplace_back(&event, id);
                    }
                }
            }
            std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
                return a.first->TimeStamp() < b.first->TimeStamp();
            });
            TChronologicalList list;
            for (std::size_t i = static_cast<std::size_t>(std::max(offset, 0));
                 i < rows.size() && list.Count() < limit; ++i) {
                auto* row = new TChronologicalItem;
                list.Add(row);
                static_cast<TFileOperItem&>(*row) = *rows[i].first;
                row->SetFileName(FullPath(Data, rows[i].second));
                row->SetAttributes(Data.Nodes.at(rows[i].second).Item.Attributes());
            }
            list.SaveToXML(Writer, "items");
            break;
        }
        case XmlGetReport:
            WriteItems(Writer, Data.Reports);
            break;
        case XmlAddReport:
        case XmlModReport: {
            TCommonReportItem report;
            {
                TSavePoint point(Reader);
                Reader.SelectNode("item");
                report.LoadFromXML(Reader);
            }
            if (Reader.Command() == XmlAddReport) {
                report.SetID(Data.NextID++);
                Data.Reports.push_back(report);
                break;
            }
            const auto found = std::find_if(Data.Reports.begin(), Data.Reports.end(),
                                            [&](const auto& r) { return r.ID() == report.ID(); });
            if (found == Data.Reports.end()) {
                throw ESoftException("Unknown report " + std::to_string(report.ID()));
            }
            *found = report;
            break;
        }
        case XmlDelReport:
        case XmlRunReport: {
            const std::uint64_t id = Reader.ReadUInt64("id");
            const auto found = std::find_if(Data.Reports.begin(), Data.Reports.end(),
                                            [&](const auto& r) { return r.ID() == id; });
            if (found == Data.Reports.end()) {
                throw ESoftException("Unknown report " + std::to_string(id));
            }
            if (Reader.Command() == XmlDelReport) {
                Data.Reports.erase(found);
            } else {
                Data.RunReports.push_back(id);
            }
            break;
        }
        case XmlInvalidCommand:
        default:
            throw ESoftException("Unknown command");
    }
}

}  // namespace

TMonitoringServiceDouble::TMonitoringServiceDouble(std::string Password, std::string VersionString)
    : FServer(std::make_unique<httplib::Server>()) {
    FData.Settings.SetUserPassword(std::move(Password));
    FData.Settings.SetVersionString(std::move(VersionString));
    FData.Settings.SetRunTimeDBPath("/var/lib/nimbrel/events.db");
    FData.Settings.SetRunTimeDBSize(1048576);

    FServer->set_keep_alive_max_count(100000);
    FServer->set_tcp_nodelay(true);
    FServer->Post("/", [this](const httplib::Request& Request, httplib::Response& Response) {
        TRecordedRequest record;
        record.ContentEncoding = Request.get_header_value("Content-Encoding");
        record.AcceptEncoding = Request.get_header_value("Accept-Encoding");
        record.Authorization = Request.get_header_value("Authorization");
        record.RemotePort = Request.remote_port;
        std::string reply;
        Handle(Request.body, record, reply);
        Response.status = record.Status;
        if (record.Status == 401) {
            Response.set_header("WWW-Authenticate", "Basic realm=\"Nimbrel\"");
            return;
        }
        {
            std::lock_guard lock(FLock);
            if (FGzipReplies && SameText(record.ContentEncoding, "gzip")) {
                reply = GzipCompress(reply);
                Response.set_header("Content-Encoding", "gzip");
            }
            if (FCloseNext) {
                FCloseNext = false;
                Response.set_header("Connection", "close");
            }
        }
        // Not an XML content type: the HTTP library would compress those on its own, and the
        // double must decide that itself.
        Response.set_content(reply, "application/octet-stream");
    });
    FPort = FServer->bind_to_any_port("127.0.0.1");
    if (FPort <= 0) {
        throw std::runtime_error("The monitoring service double cannot listen");
    }
    FThread = std::thread([this] { FServer->listen_after_bind(); });
    // Stopping a server that has not started its accept loop yet does not stop it: wait for it.
    for (int waited = 0; !FServer->is_running(); ++waited) {
        if (waited == 5000) {
            FServer->stop();
            FThread.join();
            throw std::runtime_error("The monitoring service double does not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TMonitoringServiceDouble::~TMonitoringServiceDouble() {
    FServer->stop();
    FThread.join();
}

void TMonitoringServiceDouble::Handle(const std::string& Body, TRecordedRequest& Record,
                                      std::string& Reply) {
    std::lock_guard lock(FLock);
    const std::string expected = "admin:" + FData.Settings.UserPassword();
    if (!Record.Authorization.starts_with("Basic ") ||
        Base64Decode(std::string_view(Record.Authorization).substr(6)) != expected) {
        Record.Status = 401;
    } else {
        Record.Status = 200;
        Record.Document = Body;
        Reply = Answer(Body, Record);
    }
    FRequests.push_back(Record);
}

std::string TMonitoringServiceDouble::Answer(const std::string& Request, TRecordedRequest& Record) {
    TMemoryStream in(Request);
    TMemoryStream out;
    TCMDReader reader(in);
    TCMDWriter writer(out);
    try {
        reader.LoadFromStream();
        Record.Command = reader.Command();
        writer.SetCommand(reader.Command());
        if (FFailNext) {
            const std::string message = *FFailNext;
            FFailNext.reset();
            throw ESoftException(message);
        }
        Execute(FData, reader, writer);
        writer.SetStatus(true);
    } catch (const std::exception& e) {
        writer.Clear();
        writer.SetStatus(false);
        writer.SetStatusMessage(e.what());
    }
    writer.SaveToStream();
    if (FReplyNext) {
        std::string reply = std::move(*FReplyNext);
        FReplyNext.reset();
        return reply;
    }
    return std::string(out.Bytes());
}

void TMonitoringServiceDouble::WithData(const std::function<void(TServiceData&)>& Edit) {
    std::lock_guard lock(FLock);
    Edit(FData);
}

std::uint64_t TMonitoringServiceDouble::AddNode(std::uint64_t ParentID, const std::string& Name,
                                                std::uint32_t Attributes) {
    std::lock_guard lock(FLock);
    const std::uint64_t id = FData.NextID++;
    TServiceData::TNode& node = FData.Nodes[id];
    node.Parent = ParentID;
    node.Item.SetID(id);
    node.Item.SetName(Name);
    node.Item.SetAttributes(Attributes);
    return id;
}

void TMonitoringServiceDouble::AddEvent(std::uint64_t NodeID, TOperKind Kind, std::uint64_t UserID,
                                        std::uint64_t ProcID, TDateTime TimeStamp,
                                        const std::string& OperData) {
    std::lock_guard lock(FLock);
    TFileOperItem event;
    event.SetID(FData.NextID++);
    event.SetKind(Kind);
    event.SetUserID(UserID);
    event.SetProcID(ProcID);
    event.SetTimeStamp(TimeStamp);
    event.SetOperData(OperData);
    FData.Nodes.at(NodeID).Events.push_back(event);
}

void TMonitoringServiceDouble::FailNextCommand(std::string Message) {
    std::lock_guard lock(FLock);
    FFailNext = std::move(Message);
}

void TMonitoringServiceDouble::ReplyNextWith(std::string Body) {
    std::lock_guard lock(FLock);
    FReplyNext = std::move(Body);
}

void TMonitoringServiceDouble::CloseAfterNextReply() {
    std::lock_guard lock(FLock);
    FCloseNext = true;
}

void TMonitoringServiceDouble::SetGzipReplies(bool Value) {
    std::lock_guard lock(FLock);
    FGzipReplies = Value;
}

std::vector<TRecordedRequest> TMonitoringServiceDouble::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

}  // namespace nimbrel::testing
