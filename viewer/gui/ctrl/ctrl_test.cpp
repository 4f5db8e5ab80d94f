#include "ctrl/ctrl.h"

#include <gtest/gtest.h>

#include "http_client/http_errors.h"
#include "streaming/stream_error.h"
#include "testing/monitoring_service_double.h"
#include "types/soft_exception.h"

namespace nimbrel {
namespace {

using testing::TMonitoringServiceDouble;
using testing::TServiceData;

class Controller : public ::testing::Test {
  protected:
    void SetUp() override {
        VolatileMode = 1;
        FCtrl.Client().SetPort(FService.Port());
        FCtrl.Client().SetHostName("localhost");
        FCtrl.Client().SetPassword("secret");
    }
    void TearDown() override { VolatileMode = 0; }

    void SetUsers(std::initializer_list<std::pair<std::uint64_t, const char*>> Users) {
        FService.WithData([&](TServiceData& Data) {
            Data.Users.Clear();
            for (const auto& [id, name] : Users) {
                Data.Users.Add(id, name);
            }
        });
    }

    TMonitoringServiceDouble FService{"secret", "2.0.1 build 34"};
    TCtrl FCtrl;
};

TEST_F(Controller, EachFetchReplacesTheWholeTable) {
    SetUsers({{1, "alice"}, {2, "bob"}});
    FCtrl.GetRemoteUsers();
    SetUsers({{3, "carol"}});
    FCtrl.GetRemoteUsers();
    EXPECT_EQ(FCtrl.UserList().Count(), 1);
    EXPECT_EQ(FCtrl.UserName(3), "carol");
    EXPECT_EQ(FCtrl.UserName(1), "Unknown");
}

TEST_F(Controller, NamesOfUnknownIdentifiersAreUnknown) {
    FService.WithData([](TServiceData& Data) { Data.Procs.Add(10, "bash"); });
    FCtrl.GetRemoteProcs();
    EXPECT_EQ(FCtrl.ProcName(10), "bash");
    EXPECT_EQ(FCtrl.ProcName(11), "Unknown");
    EXPECT_EQ(FCtrl.ProcName(0), "Unknown");
}

TEST_F(Controller, SettingsComeWithTheServicesRunTimeInformation) {
    FCtrl.GetRemoteSettings();
    EXPECT_EQ(FCtrl.Settings().VersionString(), "2.0.1 build 34");
    EXPECT_EQ(FCtrl.Settings().RunTimeDBPath(), "/var/lib/nimbrel/events.db");
    EXPECT_EQ(FCtrl.Settings().RunTimeDBSize(), 1048576u);
    EXPECT_EQ(FCtrl.Settings().UserPassword(), "secret");
}

TEST_F(Controller, AStoredPasswordIsThePasswordOfLaterRequests) {
    FCtrl.GetRemoteSettings();
    FCtrl.Settings().SetUserPassword("n3w");
    FCtrl.Settings().Email().SetServName("smtp1:587");
    FCtrl.SendCommand(XmlSetSettings, {{"item", FCtrl.Settings()}});
    EXPECT_THROW(FCtrl.GetRemoteSettings(), EHTTPProtocolError);
    FCtrl.Client().SetPassword(FCtrl.Settings().UserPassword());
    FCtrl.GetRemoteSettings();
    EXPECT_EQ(FCtrl.Settings().Email().ServPort(), 587);
}

TEST_F(Controller, ConnectingChecksTheServicesVersion) {
    SetUsers({{1, "alice"}});
    FCtrl.GetRemoteUsers();
    FCtrl.Client().Disconnect();
    EXPECT_EQ(FCtrl.ConnectionText(), "Disconnected");

    EXPECT_FALSE(FCtrl.ConnectTo("localhost", "secret", "2.0.1"));
    EXPECT_FALSE(FCtrl.Client().Connected());
    EXPECT_EQ(FCtrl.ConnectionText(), "Disconnected");
    EXPECT_EQ(FCtrl.UserName(1), "alice");  // tables keep their content

    EXPECT_TRUE(FCtrl.ConnectTo("localhost", "secret", "2.0.1 build 34"));
    EXPECT_EQ(FCtrl.ConnectionText(), "Connected to localhost");
}

TEST_F(Controller, FailedFetchesPassTheirErrors) {
    SetUsers({{1, "alice"}});
    FCtrl.GetRemoteUsers();
    FService.FailNextCommand("Database is busy");
    EXPECT_THROW(FCtrl.GetRemoteUsers(), ESoftException);
    EXPECT_EQ(FCtrl.UserList().Count(), 1);  // nothing loaded, nothing cleared

    FService.ReplyNextWith("<root><status><value>1</value></status></root>");
    EXPECT_THROW(FCtrl.GetRemoteUsers(), EStreamError);
    EXPECT_EQ(FCtrl.UserList().Count(), 0);  // cleared before the missing element was noticed
}

TEST_F(Controller, ReportsAreFetchedAsTheViewersItems) {
    TGUIReportItem report;
    report.SetName("Daily");
    report.SetFrequency(rfDaily);
    FCtrl.SendCommand(XmlAddReport, {{"item", report}});
    FCtrl.GetRemoteReports();
    ASSERT_EQ(FCtrl.Reports().Count(), 1);
    EXPECT_NE(FCtrl.Reports()[0]->ID(), 0u);
    TGUIReportItem copy;
    copy.Assign(*FCtrl.Reports()[0]);
    EXPECT_EQ(copy.Name(), "Daily");
    EXPECT_EQ(copy.Frequency(), rfDaily);
}

}  // namespace
}  // namespace nimbrel
