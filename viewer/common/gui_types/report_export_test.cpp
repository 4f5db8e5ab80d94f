#include "gui_types/report_export.h"

#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "report/report_test_support.h"

namespace nimbrel {
namespace {

using testing::ReadFile;
using testing::ScopedReportSettings;
using testing::TableSource;

namespace fs = std::filesystem;

class ReportExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("nimbrel-export-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir);
    }
    void TearDown() override { fs::remove_all(FDir); }

    ScopedReportSettings FSettings;
    fs::path FDir;
    // The tree export of the report writers' examples: two columns, one row.
    TableSource FTree{{"Name", "Size"}, {{"a<b.txt", "10"}}};
};

TEST_F(ReportExportTest, FilterIndexPreselectsAValidFileType) {
    const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {-7, 1}};
    for (const auto& [last, preselected] : cases) {
        EXPECT_EQ(ReportFilterIndex(last), preselected) << last;
    }
    EXPECT_EQ(ReportFileTypeOf(2), TReportFileType::HTML);
    EXPECT_EQ(ReportFileTypeOf(0), TReportFileType::CSV);
    EXPECT_EQ(ReportFileFilter, "CSV|*.csv|HTML|*.htm|Plain text|*.txt");
}

TEST_F(ReportExportTest, WritesEachFileTypeAndReplacesAnOldFile) {
    const struct {
        TReportFileType type;
        const char* file;
        std::string content;
    } cases[] = {
        {TReportFileType::CSV, "r.csv", "\"Name\",\"Size\"\r\na<b.txt,10\r\n"},
        {TReportFileType::HTML, "r.htm", ReadFile(NIMBREL_REPORT_TESTDATA "/tree_export.html")},
        {TReportFileType::Text, "r.txt", "   Name Size\r\n======= ====\r\na<b.txt   10\r\n"},
    };
    for (const auto& c : cases) {
        const fs::path path = FDir / c.file;
        std::ofstream(path) << std::string(5000, 'x');  // longer than the report
        ExportToReportFile(FTree, c.type, path);
        EXPECT_EQ(ReadFile(path), c.content) << c.file;
    }
}

TEST_F(ReportExportTest, RowsAreThoseTheSourceGivesInItsOrder) {
    // A source of the selected rows, in the order they were selected.
    const TableSource selected({"Name"}, {{"second"}, {"first"}});
    std::ostringstream out;
    ExportToReport(selected, TReportFileType::CSV, out);
    EXPECT_EQ(out.str(), "\"Name\"\r\nsecond\r\nfirst\r\n");

    const TableSource none({"Name", "Size"}, {});
    std::ostringstream headings_only;
    ExportToReport(none, TReportFileType::CSV, headings_only);
    EXPECT_EQ(headings_only.str(), "\"Name\",\"Size\"\r\n");
}

TEST_F(ReportExportTest, FileThatCannotBeCreatedIsReported) {
    const fs::path path = FDir / "missing" / "r.csv";
    try {
        ExportToReportFile(FTree, TReportFileType::CSV, path);
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + path.string() + "\"", 0),
                  0u);
    }
}

TEST_F(ReportExportTest, FullDiskIsReportedNotTakenAsSaved) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "this machine has no /dev/full";
    }
    try {
        ExportToReportFile(FTree, TReportFileType::HTML, "/dev/full");
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot write file \"/dev/full\"", 0), 0u);
    }
}

}  // namespace
}  // namespace nimbrel
