#include "report/csv_report_writer.h"

#include <ios>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors/assertion_failed.h"
#include "report/report_test_support.h"

namespace nimbrel {
namespace {

using testing::ScopedReportSettings;

const std::vector<std::string> kNameSize{"Name", "Size"};

// Drives a writer through one group of rows as the tree export does.
std::string WriteTable(const std::vector<std::string>& headings,
                       const std::vector<std::vector<std::string>>& rows) {
    std::ostringstream out;
    TCSVReportWriter writer(out);
    writer.WriteHeader();
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
    writer.WriteFooter();
    writer.Close();
    return out.str();
}

TEST(CSVReportWriterTest, AnsiOnAnEmptyStreamHasNoMarkAndNoCaptionLine) {
    ScopedReportSettings settings;
    EXPECT_EQ(WriteTable(kNameSize, {{"a b.txt", "10"}}),
              "\"Name\",\"Size\"\r\n\"a b.txt\",10\r\n");
}

TEST(CSVReportWriterTest, Utf8MarkMakesTheStreamNonEmptySoTheCaptionLineIsWritten) {
    ScopedReportSettings settings;
    CSVEncoding = 1;
    EXPECT_EQ(WriteTable(kNameSize, {{"a b.txt", "10"}}),
              "\xEF\xBB\xBF\r\n\"Name\",\"Size\"\r\n\"a b.txt\",10\r\n");
}

TEST(CSVReportWriterTest, Utf16LittleEndian) {
    ScopedReportSettings settings;
    CSVEncoding = 2;
    const std::string text = WriteTable({"N"}, {{"\xC3\xA9"}});
    EXPECT_EQ(text, std::string("\xFF\xFE\r\0\n\0\"\0N\0\"\0\r\0\n\0\xE9\0\r\0\n\0", 22));
}

TEST(CSVReportWriterTest, UnknownEncodingFailsConstruction) {
    ScopedReportSettings settings;
    CSVEncoding = 3;
    std::ostringstream out;
    try {
        TCSVReportWriter writer(out);
        FAIL() << "constructed";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("csv_report_writer.cpp"), std::string::npos);
    }
    EXPECT_EQ(out.str(), "");
}

struct QuoteCase {
    const char* name;
    std::string value;
    std::string written;
};

TEST(CSVReportWriterTest, QuotesValuesThatWouldOtherwiseBreakTheTable) {
    ScopedReportSettings settings;
    const QuoteCase cases[] = {
        {"plain", "10", "10"},
        {"empty", "", ""},
        {"space", "a b.txt", "\"a b.txt\""},
        {"inner quotes are doubled", "say \"hi\"", "\"say \"\"hi\"\"\""},
        {"separator", "1,5", "\"1,5\""},
        {"line feed", "one\ntwo", "\"one\ntwo\""},
        {"carriage return", "one\rtwo", "\"one\rtwo\""},
        {"another locale's separator", "a;b", "a;b"},
    };
    for (const QuoteCase& c : cases) {
        EXPECT_EQ(WriteTable({"V"}, {{c.value}}), "\"V\"\r\n" + c.written + "\r\n") << c.name;
    }
}

TEST(CSVReportWriterTest, HeadingsAreAlwaysQuoted) {
    ScopedReportSettings settings;
    EXPECT_EQ(WriteTable({"a\"b", ""}, {}), "\"a\"\"b\",\"\"\r\n");
}

TEST(CSVReportWriterTest, ShortRowEndsWithSeparatorAndLongRowIsRefused) {
    ScopedReportSettings settings;
    std::ostringstream out;
    TCSVReportWriter writer(out);
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"A", "B", "C"});
    writer.NewRow();
    writer.AddValue("1");
    writer.AddValue("2");
    writer.EndRow();
    writer.NewRow();
    writer.AddValue("1");
    writer.AddValue("2");
    writer.AddValue("3");
    EXPECT_THROW(writer.AddValue("4"), EAssertionFailed);
    writer.EndRow();
    writer.Close();
    // The refused value left no trace.
    EXPECT_EQ(out.str(), "\"A\",\"B\",\"C\"\r\n1,2,\r\n1,2,3\r\n");
}

TEST(CSVReportWriterTest, ValuesOfOtherKindsAreWrittenAsTexts) {
    ScopedReportSettings settings;  // short date "%d.%m.%Y"
    std::ostringstream out;
    TCSVReportWriter writer(out);
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"A", "B", "C", "D"});
    writer.NewTotal();
    writer.AddValue(std::int64_t{-5});
    writer.AddValue(std::int64_t{INT64_MIN});
    writer.AddValue(std::int32_t{2147483647});
    writer.AddValue(EncodeDateTime(2024, 2, 29, 13, 45));  // the time of day is not written
    writer.EndTotal();
    writer.Close();
    EXPECT_EQ(out.str(),
              "\"A\",\"B\",\"C\",\"D\"\r\n-5,-9223372036854775808,2147483647,29.02.2024\r\n");
}

TEST(CSVReportWriterTest, SeparatorIsTheSettingOrElseTheLocaleListSeparator) {
    {
        ScopedReportSettings settings({",", ";", "%d.%m.%Y", "%H:%M"});
        EXPECT_EQ(WriteTable(kNameSize, {{"1,5", "x;y"}}), "\"Name\";\"Size\"\r\n1,5;\"x;y\"\r\n");
    }
    {
        ScopedReportSettings settings;
        CSVSeparator = u'\t';
        EXPECT_EQ(WriteTable(kNameSize, {{"a", "b"}}), "\"Name\"\t\"Size\"\r\na\tb\r\n");
    }
}

TEST(CSVReportWriterTest, CaptionLineWhenCaptionGivenOrStreamNotEmpty) {
    ScopedReportSettings settings;
    {
        std::ostringstream out;
        TCSVReportWriter writer(out);
        writer.NewGroup("Files");
        writer.NewGroup("");  // the stream now holds the first caption
        writer.Close();
        EXPECT_EQ(out.str(), "Files\r\n\r\n");
    }
    {
        // Appending to a stream that already holds something: no byte-order mark in the middle.
        CSVEncoding = 1;
        std::ostringstream out("old\r\n", std::ios::ate);
        TCSVReportWriter writer(out);
        writer.NewGroup("");
        writer.Close();
        EXPECT_EQ(out.str(), "old\r\n\r\n");
    }
}

TEST(CSVReportWriterTest, DestructionWritesWhatIsBuffered) {
    ScopedReportSettings settings;
    std::ostringstream out;
    {
        TCSVReportWriter writer(out);
        writer.NewGroup("Files");
    }
    EXPECT_EQ(out.str(), "Files\r\n");
}

TEST(CSVReportWriterTest, StreamFailureIsRaised) {
    ScopedReportSettings settings;
    testing::FillingBuffer full(3);
    std::ostream out(&full);
    TCSVReportWriter writer(out);
    writer.NewGroup("Files");
    EXPECT_THROW(writer.Close(), std::ios_base::failure);
}

}  // namespace
}  // namespace nimbrel
