#include "report/html_report_writer.h"

#include <ios>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors/assertion_failed.h"
#include "report/html_writer.h"
#include "report/report_test_support.h"

namespace nimbrel {
namespace {

using testing::CrLfLines;
using testing::ReadFile;
using testing::ScopedReportSettings;

// The text after the line "<body>", where the groups begin.
std::string AfterBody(const std::string& document) {
    const std::string body = " <body>\r\n";
    const auto at = document.find(body);
    return at == std::string::npos ? std::string() : document.substr(at + body.size());
}

TEST(HTMLReportWriterTest, TreeExportMatchesTheGoldenDocument) {
    ScopedReportSettings settings;
    std::ostringstream out;
    THTMLReportWriter writer(out);
    writer.WriteHeader();
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"Name", "Size"});
    writer.NewRow();
    writer.AddValue("a<b.txt");
    writer.AddValue("10");
    writer.EndRow();
    writer.EndGroup();
    writer.WriteFooter();
    writer.Close();
    EXPECT_EQ(out.str(), ReadFile(NIMBREL_REPORT_TESTDATA "/tree_export.html"));
}

TEST(HTMLReportWriterTest, NestedGroupSitsInACellSpanningEveryHeading) {
    ScopedReportSettings settings;
    std::ostringstream out;
    THTMLReportWriter writer(out);
    writer.WriteHeader();
    writer.NewGroup("");
    writer.AddHeadings(std::vector<std::string>{"A", "B"});
    writer.NewGroup("Inner");
    writer.AddHeadings(std::vector<std::string>{"C"});
    writer.NewRow();
    writer.AddValue("");
    writer.EndRow();
    writer.EndGroup();
    writer.NewTotal();
    writer.AddValue(std::int32_t{1});
    writer.AddValue(std::int32_t{2});
    writer.EndTotal();
    writer.EndGroup();
    writer.WriteFooter();
    writer.Close();
    EXPECT_EQ(AfterBody(out.str()), CrLfLines({
                                        "  <table>",
                                        "   <tr>",
                                        "    <th>",
                                        "     A",
                                        "   </th>",
                                        "    <th>",
                                        "     B",
                                        "   </th>",
                                        "  </tr>",
                                        "   <tr>",
                                        "    <td colspan=2>",
                                        "     <table>",
                                        "      <caption>",
                                        "       Inner",
                                        "     </caption>",
                                        "      <tr>",
                                        "       <th>",
                                        "        C",
                                        "      </th>",
                                        "     </tr>",
                                        "      <tr>",
                                        "       <td>",
                                        "        &nbsp;",
                                        "      </td>",
                                        "     </tr>",
                                        "    </table>",
                                        "   </td>",
                                        "  </tr>",
                                        "   <tr class=\"sum\">",
                                        "    <td>",
                                        "     1",
                                        "   </td>",
                                        "    <td>",
                                        "     2",
                                        "   </td>",
                                        "  </tr>",
                                        " </table>",
                                        "</body>",
                                        "</html>",
                                    }));
}

TEST(HTMLReportWriterTest, EscapesEveryText) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "&nbsp;"},
        {"plain", "plain"},
        {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c'"},
        {"&amp;", "&amp;amp;"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"one\r\ntwo", "one\r\ntwo"},
    };
    for (const auto& [text, escaped] : cases) {
        EXPECT_EQ(EscapeHTML(text), escaped) << text;
    }

    ScopedReportSettings settings;
    const std::string saved = HTMLTitle;
    HTMLTitle = "Q&A <report>";
    std::ostringstream out;
    {
        THTMLReportWriter writer(out);
        writer.WriteHeader();
        writer.NewGroup("Files & <folders>");
        writer.EndGroup();
        writer.Close();
    }
    HTMLTitle = saved;
    EXPECT_NE(out.str().find("\r\n   Q&amp;A &lt;report&gt;\r\n"), std::string::npos);
    EXPECT_NE(out.str().find("\r\n    Files &amp; &lt;folders&gt;\r\n"), std::string::npos);
}

TEST(HTMLReportWriterTest, DestructionClosesTheDocument) {
    ScopedReportSettings settings;
    std::ostringstream out("<!-- kept -->\r\n", std::ios::ate);
    {
        THTMLReportWriter writer(out);
        writer.WriteHeader();
        writer.NewGroup("");
    }
    // Not at the stream's start: no byte-order mark in the middle of it.
    EXPECT_EQ(out.str().rfind("<!-- kept -->\r\n<!DOCTYPE html>\r\n", 0), 0u);
    EXPECT_EQ(AfterBody(out.str()), CrLfLines({"  <table>", " </table>", "</body>", "</html>"}));
}

TEST(HTMLReportWriterTest, EndGroupWithoutGroupLeavesTheBodyOpen) {
    ScopedReportSettings settings;
    std::ostringstream out;
    THTMLReportWriter writer(out);
    writer.WriteHeader();
    EXPECT_THROW(writer.EndGroup(), EAssertionFailed);
    writer.Close();
    EXPECT_EQ(AfterBody(out.str()), CrLfLines({"</body>", "</html>"}));
}

TEST(HTMLWriterTest, ClosingWithNothingOpenIsAListError) {
    std::ostringstream out;
    THTMLWriter writer(out, 4096);
    writer.AddTag("p");
    writer.CloseTag();
    try {
        writer.CloseTag();
        FAIL() << "closed an element that was not open";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Unbalanced stack or queue operation");
    }
}

TEST(HTMLWriterTest, ElementsStayBalancedWhenWritingFails) {
    // "<!DOCTYPE html>" and "<html>" take 25 bytes; the disk fills up a few bytes later, inside
    // the element each helper opens. A buffer of one byte sends every write to the stream at once.
    {
        testing::FillingBuffer disk(25 + 8);
        std::ostream out(&disk);
        THTMLWriter writer(out, 1);
        writer.AddTag("html");
        EXPECT_THROW(writer.AddText("p", std::string(100, 'x')), std::ios_base::failure);
        EXPECT_EQ(writer.Depth(), 1u);
    }
    {
        testing::FillingBuffer disk(25 + 12);
        std::ostream out(&disk);
        THTMLWriter writer(out, 1);
        writer.AddTag("html");
        EXPECT_THROW(writer.AddHead("title", "style"), std::ios_base::failure);
        EXPECT_EQ(writer.Depth(), 1u);
        EXPECT_EQ(disk.Taken().substr(25), " <head>\r\n  <");
    }
}

}  // namespace
}  // namespace nimbrel
