// Every command of the monitoring protocol, end to end: the client's request, the service's
// answer, and what the viewer reads from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctrl/ctrl.h"
#include "testing/monitoring_service_double.h"
#include "tree/chronological_item.h"
#include "tree/file_oper_item.h"
#include "tree/file_tree_item.h"
#include "tree/filter_item.h"
#include "types/gui_log_item.h"
#include "types/soft_exception.h"

namespace nimbrel {
namespace {

using testing::TMonitoringServiceDouble;
using testing::TServiceData;

TDateTime At(int Day, int Hour) {
    return EncodeDateTime({2024, 3, Day, Hour, 0, 0, 0});
}

class ServiceContract : public ::testing::Test {
  protected:
    void SetUp() override {
        VolatileMode = 1;
        FClient.SetPort(FService.Port());
        FClient.SetHostName("localhost");
        FClient.SetPassword("secret");
        FDrive = FService.AddNode(0, "C:", 0x10);
        FFolder = FService.AddNode(FDrive, "Docs", 0x10);
        FFile = FService.AddNode(FFolder, "a.txt", 0x20);
        FOther = FService.AddNode(FDrive, "b.TXT", 0x21);
        FService.AddEvent(FFile, okCreate, 1, 10, At(5, 9), "0");
        FService.AddEvent(FFile, okWrite, 2, 11, At(3, 9), "5000");
        FService.AddEvent(FOther, okMove, 1, 10, At(4, 9), "C:\\c.txt");
    }
    void TearDown() override { VolatileMode = 0; }

    template <class List>
    void Load(List& Items) {
        Items.LoadFromXML(FClient.Reader(), "items");
    }

    std::vector<std::string> FileNames(TXMLCommand Command,
                                       std::initializer_list<TCommandParam> Params) {
        FClient.SendCommand(Command, Params);
        TFileTreeList list;
        Load(list);
        std::vector<std::string> names;
        for (const TFileTreeItem* item : list) {
            names.push_back(item->Name() + (item->Children() ? "+" : ""));
        }
        return names;
    }

    TMonitoringServiceDouble FService;
    TGUIHttpClient FClient;
    std::uint64_t FDrive = 0, FFolder = 0, FFile = 0, FOther = 0;
};

TEST_F(ServiceContract, FileTreeLevelsAndSearch) {
    EXPECT_EQ(FileNames(XmlGetFiles, {{"id", std::uint64_t{0}}}), std::vector<std::string>{"C:+"});
    EXPECT_EQ(FileNames(XmlGetFiles, {{"id", FDrive}}),
              (std::vector<std::string>{"Docs+", "b.TXT"}));
    EXPECT_EQ(FileNames(XmlFindFile, {{"item", "*.txt"}}),
              (std::vector<std::string>{"C:\\Docs\\a.txt", "C:\\b.TXT"}));
    EXPECT_EQ(FileNames(XmlFindFile, {{"item", "?.t*"}}).size(), 2u);
    EXPECT_THROW(FClient.SendCommand(XmlGetFiles, {{"id", std::uint64_t{999}}}), ESoftException);
}

TEST_F(ServiceContract, EventsOfANodeThroughTheFilter) {
    TFilterItem filter;
    FClient.SendCommand(XmlGetEvents, {{"id", FFile}, {"item", filter}});
    TFileOperList events;
    Load(events);
    ASSERT_EQ(events.Count(), 2);
    EXPECT_EQ(events[1]->OperInfo(), TOperInfo(std::uint64_t{5000}));

    filter.SetPastDate(EncodeDate(2024, 3, 4));
    FClient.SendCommand(XmlGetEvents, {{"id", FFile}, {"item", filter}});
    Load(events);
    ASSERT_EQ(events.Count(), 1);
    EXPECT_EQ(events[0]->Kind(), okCreate);

    filter.SetPastDate(0);
    filter.SetUserID(2);
    FClient.SendCommand(XmlGetEvents, {{"id", FFile}, {"item", filter}});
    Load(events);
    ASSERT_EQ(events.Count(), 1);
    EXPECT_EQ(events[0]->ProcID(), 11u);
}

TEST_F(ServiceContract, ChronologyPagesInTimeOrder) {
    const TFilterItem filter;
    std::vector<std::string> rows;
    for (std::int32_t offset = 0; offset < 4; offset += 2) {
        FClient.SendCommand(XmlGetChronological,
                            {{"limit", 2}, {"offset", offset}, {"item", filter}});
        TChronologicalList page;
        Load(page);
        for (const TChronologicalItem* row : page) {
            rows.push_back(row->FileName() + " " + std::string(OperKindName(row->Kind())));
        }
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"C:\\Docs\\a.txt Write", "C:\\b.TXT Move",
                                              "C:\\Docs\\a.txt Create"}));
}

TEST_F(ServiceContract, NameTables) {
    FService.WithData([](TServiceData& Data) {
        Data.CurrProcs.Add(4294967295u, "init");
        Data.CurrProcs.Add(77, "sshd");
    });
    FClient.SendCommand(XmlGetCurrProcs);
    TIdentifiedNameDict<std::uint32_t> running;
    Load(running);
    std::string name;
    EXPECT_EQ(running.Count(), 2);
    EXPECT_TRUE(running.TryGetValue(4294967295u, name));
    EXPECT_EQ(name, "init");
}

TEST_F(ServiceContract, LogAndItsErasure) {
    FService.WithData([](TServiceData& Data) {
        TCommonLogItem entry;
        entry.SetID(1);
        entry.SetMsg("Disk almost full");
        entry.SetSeverity(isWarning);
        entry.SetTimeStamp(At(5, 10));
        Data.Log.push_back(entry);
    });
    FClient.SendCommand(XmlGetLog);
    TGUILogList log;
    Load(log);
    ASSERT_EQ(log.Count(), 1);
    EXPECT_EQ(log[0]->Msg(), "Disk almost full");
    EXPECT_EQ(log[0]->Severity(), isWarning);
    FClient.SendCommand(XmlEraseLog);
    FClient.SendCommand(XmlGetLog);
    Load(log);
    EXPECT_EQ(log.Count(), 0);
}

TEST_F(ServiceContract, TestMailGoesToTheAddressNestedInTheSettings) {
    TEmailSettings mail;
    mail.SetServName("smtp1:25");
    FClient.SendCommand(XmlEmailTest, {{"item", mail}, {"id", "ops@example.org"}});
    FService.WithData([](TServiceData& Data) {
        ASSERT_EQ(Data.SentEmails.size(), 1u);
        EXPECT_EQ(Data.SentEmails[0].Address, "ops@example.org");
        EXPECT_EQ(Data.SentEmails[0].Settings.ServHost(), "smtp1");
    });
    const std::string request = FService.Requests().back().Document;
    EXPECT_NE(request.find("<conntype>0</conntype><id>ops@example.org</id></item>"),
              std::string::npos);
}

TEST_F(ServiceContract, PurgeDeletesTheRecordedData) {
    FClient.SendCommand(XmlPurgeDatabase);
    EXPECT_TRUE(FileNames(XmlGetFiles, {{"id", std::uint64_t{0}}}).empty());
    TCtrl ctrl;
    ctrl.Client().SetPort(FService.Port());
    ctrl.Client().SetHostName("localhost");
    ctrl.Client().SetPassword("secret");
    ctrl.GetRemoteSettings();
    EXPECT_EQ(ctrl.Settings().RunTimeDBSize(), 0u);
}

TEST_F(ServiceContract, ScheduledReports) {
    TGUIReportItem report;
    report.SetName("Daily");
    report.SetTargetValue("/tmp/daily.csv");
    FClient.SendCommand(XmlAddReport, {{"item", report}});
    FClient.SendCommand(XmlGetReport);
    TGUIReportList reports;
    Load(reports);
    ASSERT_EQ(reports.Count(), 1);
    const std::uint64_t id = reports[0]->ID();

    reports[0]->SetFileFormat(ffHTML);
    FClient.SendCommand(XmlModReport, {{"item", *reports[0]}});
    FClient.SendCommand(XmlRunReport, {{"id", id}});
    FClient.SendCommand(XmlGetReport);
    Load(reports);
    EXPECT_EQ(reports[0]->FileFormat(), ffHTML);
    FService.WithData([&](TServiceData& Data) { EXPECT_EQ(Data.RunReports.at(0), id); });

    FClient.SendCommand(XmlDelReport, {{"id", id}});
    FClient.SendCommand(XmlGetReport);
    Load(reports);
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_THROW(FClient.SendCommand(XmlRunReport, {{"id", id}}), ESoftException);
}

}  // namespace
}  // namespace nimbrel
