// The command client against a real HTTP service on the loopback interface.
#include "http_client/gui_http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "http_client/http_errors.h"
#include "http_comm/gzip.h"
#include "rtl/base64.h"
#include "streaming/stream_error.h"
#include "testing/monitoring_service_double.h"
#include "testing/wire_recorder.h"
#include "tree/file_tree_item.h"
#include "types/soft_exception.h"

namespace nimbrel {
namespace {

using testing::TMonitoringServiceDouble;
using testing::TWireRecorder;

constexpr const char* kGetFilesDocument =
    "<root><id>0</id><command>XmlGetFiles</command>"
    "<status><value>0</value><message/></status></root>";

template <class Exception>
std::string MessageOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

class HttpClient : public ::testing::Test {
  protected:
    void SetUp() override {
        VolatileMode = 1;
        FService.AddNode(0, "C:");
        FService.AddNode(0, "D:");
        FClient.SetHostName("localhost");
        FClient.SetPassword("secret");
        FClient.SetPort(FService.Port());
    }
    void TearDown() override { VolatileMode = 0; }

    void GetTopLevel() { FClient.SendCommand(XmlGetFiles, {{"id", std::int64_t{0}}}); }

    std::vector<std::string> TopLevelNames() {
        TFileTreeList list;
        list.LoadFromXML(FClient.Reader(), "items");
        std::vector<std::string> names;
        for (const TFileTreeItem* item : list) {
            names.push_back(item->Name());
        }
        return names;
    }

    TMonitoringServiceDouble FService;
    TGUIHttpClient FClient;
};

TEST_F(HttpClient, LocalhostGetsThePlainDocumentWithCredentials) {
    for (const char* host : {"localhost", "LOCALHOST"}) {
        FClient.SetHostName(host);
        GetTopLevel();
        EXPECT_EQ(FClient.Reader().Command(), XmlGetFiles);
        EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"C:", "D:"}));
    }
    const auto requests = FService.Requests();
    ASSERT_EQ(requests.size(), 2u);  // no challenge round trip: credentials come at once
    for (const auto& request : requests) {
        EXPECT_EQ(request.Status, 200);
        EXPECT_EQ(request.Document, kGetFilesDocument);
        EXPECT_EQ(request.ContentEncoding, "");
        EXPECT_EQ(request.AcceptEncoding, "");
        EXPECT_EQ(request.Authorization, "Basic " + Base64Encode("admin:secret"));
    }
}

TEST_F(HttpClient, OtherHostsGetGzipBodiesWithBothHeaders) {
    TWireRecorder wire(FService.Port());
    FClient.SetHostName("127.0.0.1");  // the loopback address is not "localhost"
    FClient.SetPort(wire.Port());
    GetTopLevel();
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"C:", "D:"}));

    const std::string sent = wire.Sent();
    const auto bodyStart = sent.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos);
    const std::string head = sent.substr(0, bodyStart + 2);
    const std::string body = sent.substr(bodyStart + 4);
    EXPECT_TRUE(head.starts_with("POST / HTTP/1.1\r\n")) << head;
    EXPECT_NE(head.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nAccept-Encoding: gzip\r\n"), std::string::npos) << head;
    ASSERT_GE(body.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(body[0]), 0x1F);
    EXPECT_EQ(static_cast<unsigned char>(body[1]), 0x8B);
    EXPECT_EQ(GzipDecompress(body), kGetFilesDocument);
    EXPECT_EQ(FService.Requests().at(0).Document, kGetFilesDocument);
}

TEST_F(HttpClient, OneConnectionCarriesSeveralCommands) {
    EXPECT_FALSE(FClient.Connected());  // opens with the first command
    for (int i = 0; i < 4; ++i) {
        GetTopLevel();
        EXPECT_TRUE(FClient.Connected());
    }
    const auto requests = FService.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.RemotePort, requests[0].RemotePort);
    }

    TWireRecorder wire(FService.Port());
    FClient.SetHostName("127.0.0.1");
    FClient.SetPort(wire.Port());
    for (int i = 0; i < 3; ++i) {
        GetTopLevel();
    }
    EXPECT_EQ(wire.Connections(), 1);
}

TEST_F(HttpClient, WrongPasswordIsAProtocolErrorAndClosesTheConnection) {
    GetTopLevel();
    const int firstPort = FService.Requests().at(0).RemotePort;
    FClient.SetPassword("wrong");
    try {
        GetTopLevel();
        FAIL();
    } catch (const EHTTPProtocolError& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 401 Unauthorized");
        EXPECT_EQ(e.ErrorCode(), 401);
    }
    EXPECT_FALSE(FClient.Connected());
    EXPECT_EQ(FService.Requests().size(), 2u);  // no retry

    FClient.SetPassword("secret");
    GetTopLevel();
    const auto requests = FService.Requests();
    EXPECT_NE(requests.back().RemotePort, firstPort);  // a new connection
    EXPECT_EQ(TopLevelNames().size(), 2u);
}

TEST_F(HttpClient, StatusZeroRaisesTheServicesMessage) {
    FService.FailNextCommand("Database is busy");
    EXPECT_EQ(MessageOf<ESoftException>([&] { GetTopLevel(); }), "Database is busy");
    EXPECT_TRUE(FClient.Connected());
    GetTopLevel();
    EXPECT_TRUE(FClient.Reader().Status());
}

TEST_F(HttpClient, RepliesThatAreNoCommandDocuments) {
    const struct {
        const char* reply;
        const char* message;
    } cases[] = {
        {"<root><command>XmlGetFiles</command><items/></root>", "Node \"status\" is not found"},
        {"<data><status><value>1</value></status></data>", "Invalid root node"},
        {"", "XML stream is empty"},
    };
    for (const auto& c : cases) {
        FService.ReplyNextWith(c.reply);
        EXPECT_EQ(MessageOf<EStreamError>([&] { GetTopLevel(); }), c.message) << c.reply;
    }
    FService.ReplyNextWith("<root><status>");
    EXPECT_THROW(GetTopLevel(), EXmlParseError);
    GetTopLevel();  // the client keeps working
    EXPECT_EQ(TopLevelNames().size(), 2u);
}

TEST_F(HttpClient, PlainReplyToAGzipRequestIsAnEmptyStream) {
    FService.SetGzipReplies(false);
    FClient.SetHostName("127.0.0.1");
    EXPECT_EQ(MessageOf<EStreamError>([&] { GetTopLevel(); }), "XML stream is empty");
    FService.SetGzipReplies(true);
    GetTopLevel();
    EXPECT_EQ(TopLevelNames().size(), 2u);
}

TEST_F(HttpClient, UnreachableServiceIsASocketError) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);  // nothing listens on that port now
    FClient.SetHostName("127.0.0.1");
    FClient.SetPort(ntohs(address.sin_port));
    EXPECT_THROW(GetTopLevel(), ESocketError);
    EXPECT_FALSE(FClient.Connected());
}

TEST_F(HttpClient, ConnectionClosedByTheServiceIsNoConnection) {
    auto wire = std::make_unique<TWireRecorder>(FService.Port());
    FClient.SetPort(wire->Port());
    GetTopLevel();
    EXPECT_TRUE(FClient.Connected());
    wire.reset();  // the peer goes away without a word
    EXPECT_FALSE(FClient.Connected());
    FClient.SetPort(FService.Port());
    GetTopLevel();  // and the next command opens a new connection
    EXPECT_TRUE(FClient.Connected());

    FService.CloseAfterNextReply();  // a reply that allows no persistent connection
    GetTopLevel();
    EXPECT_FALSE(FClient.Connected());
    GetTopLevel();
    const auto requests = FService.Requests();
    EXPECT_NE(requests.back().RemotePort, requests[requests.size() - 2].RemotePort);
}

TEST_F(HttpClient, BusyOnlyForRemoteHostsAndAlsoOnFailure) {
    std::vector<bool> signals;
    FClient.SetBusyHandler([&](bool Busy) { signals.push_back(Busy); });
    GetTopLevel();
    EXPECT_TRUE(signals.empty());
    FClient.SetHostName("127.0.0.1");
    GetTopLevel();
    FClient.SetPassword("wrong");
    EXPECT_THROW(GetTopLevel(), EHTTPProtocolError);
    EXPECT_EQ(signals, (std::vector<bool>{true, false, true, false}));
}

}  // namespace
}  // namespace nimbrel
