#include "remoting/clipboard_text.h"

#include <gtest/gtest.h>

#include "streaming/stream_error.h"
#include "types/identified_item.h"

namespace nimbrel {
namespace {

class TReportLike : public TNamedItem {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties() {
        static const TPropTable table(
            "TReportLike", &TNamedItem::ClassProperties(),
            {Field<&TReportLike::Target>("Target"),
             AsVolatile(Accessor<&TReportLike::Size, &TReportLike::SetSize>("Size"))});
        return table;
    }
    std::uint64_t Size() const { return FSize; }
    void SetSize(std::uint64_t Value) { FSize = Value; }
    std::string Target;

  private:
    std::uint64_t FSize = 0;
};

class ClipboardText : public ::testing::Test {
  protected:
    void SetUp() override { VolatileMode = 1; }
    void TearDown() override { VolatileMode = 0; }
};

TEST_F(ClipboardText, CopyIsReadableAndLeavesVolatilePropertiesOut) {
    TReportLike report;
    report.SetID(12);
    report.SetName("Daily");
    report.Target = "/tmp/r.csv";
    report.SetSize(99);
    EXPECT_EQ(ClipboardTextOf(report),
              "<root>\r\n\t<id>12</id>\r\n\t<name>Daily</name>\r\n\t<target>/tmp/r.csv</target>"
              "\r\n</root>\r\n");
}

TEST_F(ClipboardText, PasteMakesANewCopyOfTheItem) {
    TReportLike report;
    report.SetID(12);
    report.SetName("Daily");
    report.Target = "x";
    TReportLike pasted;
    pasted.SetSize(5);
    PasteItemFromClipboardText(pasted, ClipboardTextOf(report));
    EXPECT_EQ(pasted.ID(), 0u);
    EXPECT_EQ(pasted.Name(), "Copy of Daily");
    EXPECT_EQ(pasted.Target, "x");
    // Volatile values are not taken from clipboard text either.
    PasteItemFromClipboardText(pasted, "<root><size>7</size></root>");
    EXPECT_EQ(pasted.Size(), 5u);
    EXPECT_EQ(pasted.Name(), "Copy of ");
}

TEST_F(ClipboardText, OnlyTextStartingWithTheRootTagCanBePasted) {
    EXPECT_TRUE(IsClipboardDocument("<root>\r\n</root>"));
    EXPECT_TRUE(IsClipboardDocument("<root>"));
    for (const char* text :
         {" <root>", "<?xml version=\"1.0\"?><root>", "<ROOT>", "<root/>", "", "<roo"}) {
        EXPECT_FALSE(IsClipboardDocument(text)) << text;
    }
    TNamedItem item;
    EXPECT_THROW(PasteItemFromClipboardText(item, "<data/>"), EStreamError);
    EXPECT_THROW(PasteItemFromClipboardText(item, ""), EStreamError);
}

}  // namespace
}  // namespace nimbrel
