#include "report/text_report_writer.h"

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors/assertion_failed.h"
#include "report/report_test_support.h"

namespace nimbrel {
namespace {

using testing::CrLfLines;
using testing::ScopedReportSettings;

void WriteGroup(TTextReportWriter& writer, const std::vector<std::string>& headings,
                const std::vector<std::vector<std::string>>& rows) {
    writer.NewGroup("");
    writer.AddHeadings(headings);
    for (const auto& row : rows) {
        writer.NewRow();
        for (const std::string& value : row) {
            writer.AddValue(value);
        }
        writer.EndRow();
    }
    writer.EndGroup();
}

TEST(TextReportWriterTest, ColumnsAreRightAlignedAndHeadingsUnderlined) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    writer.WriteHeader();
    WriteGroup(writer, {"Name", "Size"}, {{"a.txt", "10"}, {"bbbbbb.doc", "2000"}});
    writer.WriteFooter();
    writer.Close();
    EXPECT_EQ(out.str(), CrLfLines({
                             "      Name Size",
                             "========== ====",
                             "     a.txt   10",
                             "bbbbbb.doc 2000",
                         }));
}

TEST(TextReportWriterTest, SecondGroupIsSetApartByAnEmptyLine) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    WriteGroup(writer, {"A"}, {{"1"}});
    WriteGroup(writer, {"Longer", "B"}, {{"2", "x"}});
    writer.Close();
    EXPECT_EQ(out.str(), CrLfLines({"A", "=", "1", "", "Longer B", "====== =", "     2 x"}));
}

TEST(TextReportWriterTest, WidthsCountCharactersNotBytes) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    WriteGroup(writer, {"Name"},
               {{"Gr\xC3\xBC\xC3\x9F"
                 "e"},
                {"ab"}});
    writer.Close();
    EXPECT_EQ(out.str(), CrLfLines({" Name", "=====",
                                    "Gr\xC3\xBC\xC3\x9F"
                                    "e",
                                    "   ab"}));
}

TEST(TextReportWriterTest, TotalsAndOtherKindsOfValueAreOrdinaryLines) {
    ScopedReportSettings settings;  // short date "%d.%m.%Y"
    std::ostringstream out;
    TTextReportWriter writer(out);
    writer.NewGroup("Totals");
    writer.AddHeadings(std::vector<std::string>{"When", "Count"});
    writer.NewTotal();
    writer.AddValue(EncodeDateTime(2024, 2, 29, 13, 45));
    writer.AddValue(std::int64_t{-5});
    writer.EndTotal();
    writer.EndGroup();
    writer.Close();
    EXPECT_EQ(out.str(),
              CrLfLines({"Totals", "      When Count", "========== =====", "29.02.2024    -5"}));
}

TEST(TextReportWriterTest, NothingOfAGroupIsWrittenBeforeItEnds) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"A"});
    writer.NewRow();
    writer.AddValue("1");
    writer.EndRow();
    writer.Close();
    EXPECT_EQ(out.str(), "");
    writer.EndGroup();
    writer.Close();
    EXPECT_EQ(out.str(), CrLfLines({"A", "=", "1"}));
}

TEST(TextReportWriterTest, EmptyGroupWritesNothing) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    writer.NewGroup("");
    writer.EndGroup();
    writer.Close();
    EXPECT_EQ(out.str(), "");
}

TEST(TextReportWriterTest, RowsThatDoNotFillTheColumnsAreRefused) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TTextReportWriter writer(out);
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"A", "B"});
    writer.NewRow();
    writer.AddValue("1");
    writer.AddValue("2");
    try {
        writer.AddValue("3");
        FAIL() << "a value beyond the last column was taken";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
    writer.NewRow();
    writer.AddValue("only one");
    EXPECT_THROW(writer.EndGroup(), EAssertionFailed);
    writer.Close();
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace nimbrel
