// Element order and text of every monitoring data type: their property tables are the wire
// format shared with the server.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "logger/common_log_item.h"
#include "reports/report_item.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"
#include "tree/chronological_item.h"
#include "tree/file_oper_item.h"
#include "tree/file_tree_item.h"
#include "tree/filter_item.h"

namespace nimbrel {
namespace {

std::string Saved(const TRemotable& Object) {
    TMemoryStream stream;
    TXMLWriter writer(stream);
    Object.SaveToXML(writer);
    writer.SaveToStream();
    return std::string(stream.Bytes());
}

const TDateTime kMoment = EncodeDateTime({2024, 3, 5, 14, 7, 9, 0});

std::unique_ptr<TRemotable> FileTreeItem() {
    auto item = std::make_unique<TFileTreeItem>();
    item->SetID(4);
    item->SetName("Documents");
    item->SetChildren(true);
    item->SetLastKind(okMove);
    item->SetAttributes(0x10);
    return item;
}

std::unique_ptr<TRemotable> FileOperItem() {
    auto item = std::make_unique<TFileOperItem>();
    item->SetID(77);
    item->SetKind(okWrite);
    item->SetUserID(2);
    item->SetProcID(3);
    item->SetOperData("5000");
    item->SetTimeStamp(kMoment);
    return item;
}

std::unique_ptr<TRemotable> ChronologicalItem() {
    auto item = std::make_unique<TChronologicalItem>();
    item->SetID(78);
    item->SetKind(okMove);
    item->SetUserID(2);
    item->SetProcID(3);
    item->SetOperData("C:\\new.txt");
    item->SetTimeStamp(kMoment);
    item->SetFileName("C:\\old.txt");
    item->SetAttributes(0x20);
    return item;
}

std::unique_ptr<TRemotable> LogItem() {
    auto item = std::make_unique<TCommonLogItem>();
    item->SetID(5);
    item->SetMsg("Service started");
    item->SetTimeStamp(kMoment);
    item->SetSeverity(isInfo);
    return item;
}

std::unique_ptr<TRemotable> ReportItem() {
    auto item = std::make_unique<TCommonReportItem>();
    item->SetID(6);
    item->SetName("Daily");
    item->SetFrequency(rfWeekly);
    item->SetFileFormat(ffText);
    item->SetTargetType(ttEmail);
    item->SetTargetValue("ops@example.org");
    return item;
}

TEST(DataTypes, ElementOrderAndText) {
    const struct {
        const char* type;
        std::function<std::unique_ptr<TRemotable>()> make;
        std::function<std::unique_ptr<TRemotable>()> blank;
        const char* document;
    } cases[] = {
        {"TFileTreeItem", FileTreeItem, [] { return std::make_unique<TFileTreeItem>(); },
         "<root><id>4</id><name>Documents</name><children>1</children><lastkind>5</lastkind>"
         "<attributes>16</attributes></root>"},
        {"TFileOperItem", FileOperItem, [] { return std::make_unique<TFileOperItem>(); },
         "<root><id>77</id><kind>3</kind><userid>2</userid><procid>3</procid>"
         "<operdata>5000</operdata><timestamp>2024-03-05T14:07:09</timestamp></root>"},
        {"TChronologicalItem", ChronologicalItem,
         [] { return std::make_unique<TChronologicalItem>(); },
         "<root><id>78</id><kind>5</kind><userid>2</userid><procid>3</procid>"
         "<operdata>C:\\new.txt</operdata><timestamp>2024-03-05T14:07:09</timestamp>"
         "<filename>C:\\old.txt</filename><attributes>32</attributes></root>"},
        {"TFilterItem defaults", [] { return std::make_unique<TFilterItem>(); },
         [] { return std::make_unique<TFilterItem>(); },
         "<root><kind>0</kind><userid>0</userid><procid>0</procid>"
         "<pastdate>1899-12-30</pastdate></root>"},
        {"TCommonLogItem", LogItem, [] { return std::make_unique<TCommonLogItem>(); },
         "<root><id>5</id><msg>Service started</msg><timestamp>2024-03-05T14:07:09</timestamp>"
         "<severity>2</severity></root>"},
        {"TCommonReportItem", ReportItem, [] { return std::make_unique<TCommonReportItem>(); },
         "<root><id>6</id><name>Daily</name><frequency>2</frequency><fileformat>2</fileformat>"
         "<targettype>1</targettype><targetvalue>ops@example.org</targetvalue></root>"},
    };
    for (const auto& c : cases) {
        const auto object = c.make();
        EXPECT_EQ(Saved(*object), c.document) << c.type;
        // And the document reads back into the same values.
        TMemoryStream stream(c.document);
        TXMLReader reader(stream);
        reader.LoadFromStream();
        const auto back = c.blank();
        back->LoadFromXML(reader);
        EXPECT_EQ(Saved(*back), c.document) << c.type;
    }
}

TEST(DataTypes, FilterDateIsADateWithoutTime) {
    TFilterItem filter;
    filter.SetKind(okDelete);
    filter.SetUserID(9);
    filter.SetPastDate(EncodeDateTime({2024, 3, 4, 23, 0, 0, 0}));
    EXPECT_EQ(Saved(filter),
              "<root><kind>4</kind><userid>9</userid><procid>0</procid>"
              "<pastdate>2024-03-04</pastdate></root>");
}

TEST(DataTypes, ListsStreamAsItemsHoldingItems) {
    TFileOperList list;
    list.Add(static_cast<TFileOperItem*>(FileOperItem().release()));
    TMemoryStream stream;
    TXMLWriter writer(stream);
    list.SaveToXML(writer, "items");
    writer.SaveToStream();
    EXPECT_EQ(stream.Bytes().substr(0, 29), "<root><items><item><id>77</id");

    TXMLReader reader(stream);
    reader.LoadFromStream();
    TChronologicalList rows;  // any list reads any item elements by name
    rows.LoadFromXML(reader, "items");
    ASSERT_EQ(rows.Count(), 1);
    EXPECT_EQ(rows[0]->OperData(), "5000");
    EXPECT_EQ(rows[0]->FileName(), "");
}

TEST(DataTypes, DisplayNamesByOrdinal) {
    const char* const kinds[] = {"Any",  "Create", "Read",     "Write",     "Delete",
                                 "Move", "Link",   "Security", "Attributes"};
    for (int i = 0; i < kOperKindCount; ++i) {
        EXPECT_EQ(OperKindName(static_cast<TOperKind>(i)), kinds[i]);
    }
    EXPECT_EQ(OperKindName(static_cast<TOperKind>(9)), "");
    EXPECT_EQ(OperKindName(static_cast<TOperKind>(-1)), "");
    EXPECT_EQ(ReportFrequencyName(rfHourly), "Hourly");
    EXPECT_EQ(ReportFrequencyName(rfMonthly), "Monthly");
    EXPECT_EQ(ReportFrequencyName(static_cast<TReportFrequency>(4)), "");
    EXPECT_EQ(ReportFileFormatName(ffText), "Text");
    EXPECT_EQ(ReportFileFormatName(static_cast<TReportFileFormat>(-3)), "");
}

TEST(DataTypes, OperKindSetsAreBitMasks) {
    TOperKinds kinds{okNone, okAttributes};
    EXPECT_EQ(kinds.Mask(), 0x101);
    EXPECT_TRUE(kinds.Contains(okAttributes));
    EXPECT_FALSE(kinds.Contains(okRead));
    kinds.Exclude(okNone);
    kinds.Include(okWrite);
    EXPECT_EQ(kinds.Mask(), 0x108);
    EXPECT_EQ(TOperKinds::FromMask(0x1FF).Mask(), 0x1FF);
    // Ordinals outside the set's range are neither members nor harmful.
    kinds.Include(static_cast<TOperKind>(40));
    EXPECT_FALSE(kinds.Contains(static_cast<TOperKind>(-1)));
    EXPECT_EQ(kinds.Mask(), 0x108);
}

}  // namespace
}  // namespace nimbrel
