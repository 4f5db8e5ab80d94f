#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "rtl/exceptions.h"
#include "streaming/stream_error.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"

namespace nimbrel {
namespace {

std::string Saved(const std::function<void(TXMLWriter&)>& Build, bool Readable = false) {
    TMemoryStream stream;
    TXMLWriter writer(stream);
    writer.SetReadable(Readable);
    Build(writer);
    writer.SaveToStream();
    return std::string(stream.Bytes());
}

// A reader over a document whose "root" holds one element v with the given text.
class ValueReader {
  public:
    explicit ValueReader(const std::string& Text)
        : FStream("<root><v>" + Text + "</v></root>"), FReader(FStream) {
        FReader.LoadFromStream();
    }
    TXMLReader& operator*() { return FReader; }
    TXMLReader* operator->() { return &FReader; }

  private:
    TMemoryStream FStream;
    TXMLReader FReader;
};

template <class Exception>
std::string MessageOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(XmlWriter, FreshDocumentIsOnlyTheRootElement) {
    EXPECT_EQ(Saved([](TXMLWriter&) {}), "<root/>");
}

TEST(XmlWriter, ValueTextForms) {
    const TDateTime moment = EncodeDateTime({2024, 3, 5, 14, 7, 9, 850});
    const struct {
        const char* kind;
        std::function<void(TXMLWriter&)> write;
        const char* text;
    } cases[] = {
        {"bool true", [](TXMLWriter& w) { w.WriteBool("v", true); }, "1"},
        {"bool false", [](TXMLWriter& w) { w.WriteBool("v", false); }, "0"},
        {"integer", [](TXMLWriter& w) { w.WriteInteger("v", -2147483647 - 1); }, "-2147483648"},
        {"uint", [](TXMLWriter& w) { w.WriteUInt("v", 4294967295u); }, "4294967295"},
        {"int64",
         [](TXMLWriter& w) { w.WriteInt64("v", std::numeric_limits<std::int64_t>::min()); },
         "-9223372036854775808"},
        {"uint64 max",
         [](TXMLWriter& w) { w.WriteUInt64("v", std::numeric_limits<std::uint64_t>::max()); },
         "18446744073709551615"},
        {"float", [](TXMLWriter& w) { w.WriteFloat("v", 1e20); }, "1E20"},
        {"date", [&](TXMLWriter& w) { w.WriteDate("v", moment); }, "2024-03-05"},
        {"date of day 0", [](TXMLWriter& w) { w.WriteDate("v", 0); }, "1899-12-30"},
        {"date of year 5", [](TXMLWriter& w) { w.WriteDate("v", EncodeDate(5, 1, 2)); },
         "0005-01-02"},
        {"date-time drops the fraction", [&](TXMLWriter& w) { w.WriteDateTime("v", moment); },
         "2024-03-05T14:07:09"},
        {"date-time before 1899-12-30", [](TXMLWriter& w) { w.WriteDateTime("v", -1.25); },
         "1899-12-29T06:00:00"},
        {"string escaped", [](TXMLWriter& w) { w.WriteString("v", "a<b&c>"); }, "a&lt;b&amp;c&gt;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Saved(c.write), std::string("<root><v>") + c.text + "</v></root>") << c.kind;
    }
}

TEST(XmlWriter, WhiteSpaceOnlyStringsAreEmptyElements) {
    for (const char* blank : {"   ", "\t", "\r\n", ""}) {
        const std::string doc = Saved([&](TXMLWriter& w) { w.WriteString("v", blank); });
        EXPECT_EQ(doc, "<root><v/></root>");
        TMemoryStream stream(doc);
        TXMLReader reader(stream);
        reader.LoadFromStream();
        EXPECT_EQ(reader.ReadString("v"), "");
    }
    EXPECT_EQ(Saved([](TXMLWriter& w) { w.WriteString("v", " x "); }), "<root><v> x </v></root>");
}

TEST(XmlWriter, DatesOutsideTheCalendarHaveNoText) {
    TMemoryStream stream;
    TXMLWriter writer(stream);
    EXPECT_THROW(writer.WriteDate("v", 1e9), EConvertError);
    EXPECT_THROW(writer.WriteDateTime("v", std::numeric_limits<double>::quiet_NaN()),
                 EConvertError);
}

TEST(XmlWriter, NestedElementsFlatAndReadable) {
    const auto build = [](TXMLWriter& w) {
        w.WriteInteger("id", 0);
        w.SavePoint();
        w.AddNode("item");
        w.WriteString("name", "x");
        w.Rollback();
        w.WriteBool("id", true);  // the same name twice gives two elements
    };
    EXPECT_EQ(Saved(build), "<root><id>0</id><item><name>x</name></item><id>1</id></root>");
    EXPECT_EQ(Saved(build, true),
              "<root>\r\n\t<id>0</id>\r\n\t<item>\r\n\t\t<name>x</name>\r\n\t</item>\r\n"
              "\t<id>1</id>\r\n</root>\r\n");
}

TEST(XmlWriter, ClearTruncatesTheStreamAndStartsOver) {
    TMemoryStream stream;
    TXMLWriter writer(stream);
    writer.WriteInteger("a", 1);
    writer.SaveToStream();
    writer.Clear();
    EXPECT_EQ(stream.Size(), 0u);
    writer.WriteInteger("b", 2);
    writer.SaveToStream();
    EXPECT_EQ(stream.Bytes(), "<root><b>2</b></root>");
}

TEST(XmlRoundTrip, EveryValueKindReadsBackWhatWasWritten) {
    const std::string text = "line1\r\nline2\rline3\nend\ttab \"q\" 'a' & < > \xC3\xA9";
    const TDateTime moment = EncodeDateTime({2024, 3, 5, 14, 7, 9, 850});
    for (const bool readable : {false, true}) {
        TMemoryStream stream;
        TXMLWriter writer(stream);
        writer.SetReadable(readable);
        writer.WriteString("s", text);
        writer.WriteInteger("i", -42);
        writer.WriteUInt("u", 4000000000u);
        writer.WriteInt64("l", -5000000000);
        writer.WriteUInt64("q", std::numeric_limits<std::uint64_t>::max());
        writer.WriteFloat("f", -1.5e-7);
        writer.WriteDate("d", moment);
        writer.WriteDateTime("t", moment);
        writer.WriteBool("b", true);
        writer.SaveToStream();

        TXMLReader reader(stream);
        reader.LoadFromStream();
        EXPECT_EQ(reader.ReadString("s"), text) << readable;
        EXPECT_EQ(reader.ReadInteger("i"), -42);
        EXPECT_EQ(reader.ReadUInt("u"), 4000000000u);
        EXPECT_EQ(reader.ReadInt64("l"), -5000000000);
        EXPECT_EQ(reader.ReadUInt64("q"), std::numeric_limits<std::uint64_t>::max());
        EXPECT_DOUBLE_EQ(reader.ReadFloat("f"), -1.5e-7);
        EXPECT_EQ(reader.ReadDate("d"), EncodeDate(2024, 3, 5));
        // Seconds precision: 14:07:09.850 comes back as 14:07:09.000.
        EXPECT_EQ(reader.ReadDateTime("t"), EncodeDateTime({2024, 3, 5, 14, 7, 9, 0}));
        EXPECT_TRUE(reader.ReadBool("b"));
    }
}

TEST(XmlReader, IntegerTexts) {
    EXPECT_EQ(ValueReader("4294967296")->ReadUInt("v"), 0u);  // low 32 bits of 2^32
    EXPECT_EQ(ValueReader("4294967297")->ReadUInt("v"), 1u);
    EXPECT_EQ(ValueReader("-1")->ReadUInt("v"), 4294967295u);
    EXPECT_EQ(ValueReader("+12")->ReadInteger("v"), 12);
    for (const char* bad : {"abc", "", " 1", "2147483648", "1.0"}) {
        EXPECT_THROW(ValueReader(bad)->ReadInteger("v"), EConvertError) << bad;
    }
    EXPECT_THROW(ValueReader("-1")->ReadUInt64("v"), EConvertError);
    EXPECT_THROW(ValueReader("18446744073709551616")->ReadUInt64("v"), EConvertError);
    EXPECT_THROW(ValueReader("9223372036854775808")->ReadInt64("v"), EConvertError);
    EXPECT_THROW(ValueReader("9223372036854775808")->ReadUInt("v"), EConvertError);
}

TEST(XmlReader, BooleanTexts) {
    const struct {
        const char* text;
        bool value;
    } cases[] = {
        {"1", true},      {"0", false},   {"TRUE", true}, {"true", true}, {"tRuE", true},
        {"false", false}, {"yes", false}, {"2", false},   {"", false},    {"true ", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValueReader(c.text)->ReadBool("v"), c.value) << c.text;
    }
}

TEST(XmlReader, FloatAndDateTextsFallBackToZero) {
    const TDateTime expected = EncodeDateTime({2024, 3, 5, 14, 7, 9, 0});
    const struct {
        const char* text;
        TDate date;
        TDateTime dateTime;
    } cases[] = {
        {"2024-03-05T14:07:09", EncodeDate(2024, 3, 5), expected},
        {"2024.03.05T14.07.09", EncodeDate(2024, 3, 5), expected},  // other separators
        {"2024/03/05 14-07-09.999", EncodeDate(2024, 3, 5), expected},
        // Multi-byte separators: the pieces are counted in characters.
        {"2024\xE5\xB9\xB4"
         "03\xE6\x9C\x88"
         "05\xE6\x97\xA5"
         "14\xE6\x99\x82"
         "07\xE5\x88\x86"
         "09",
         EncodeDate(2024, 3, 5), expected},
        {"2024-03-05", EncodeDate(2024, 3, 5), 0},  // too short for a time
        {"2024-02-30", 0, 0},                       // no such day
        {"2024-02-30T10:00:00", 0, 0},
        {"2024-03-05T24:00:00", EncodeDate(2024, 3, 5), 0},
        {"2024-3-5", 0, 0},
        {"+024-03-05", 0, 0},
        {"abcd", 0, 0},
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValueReader(c.text)->ReadDate("v"), c.date) << c.text;
        EXPECT_EQ(ValueReader(c.text)->ReadDateTime("v"), c.dateTime) << c.text;
    }
    EXPECT_EQ(ValueReader("1,5")->ReadFloat("v"), 0);
    EXPECT_EQ(ValueReader("x")->ReadFloat("v"), 0);
    EXPECT_EQ(ValueReader("2.5")->ReadFloat("v"), 2.5);
}

TEST(XmlReader, MissingElementsGiveDefaults) {
    ValueReader reader("1");
    EXPECT_EQ(reader->ReadString("w"), "");
    EXPECT_EQ(reader->ReadInteger("w"), 0);
    EXPECT_EQ(reader->ReadUInt("w"), 0u);
    EXPECT_EQ(reader->ReadInt64("w"), 0);
    EXPECT_EQ(reader->ReadUInt64("w"), 0u);
    EXPECT_EQ(reader->ReadFloat("w"), 0);
    EXPECT_EQ(reader->ReadDate("w"), 0);
    EXPECT_EQ(reader->ReadDateTime("w"), 0);
    EXPECT_FALSE(reader->ReadBool("w"));
    EXPECT_EQ(reader->ReadInteger("V"), 0);  // names are case-sensitive
}

TEST(XmlReader, TextIsAllTextInsideTheElement) {
    TMemoryStream stream("<root><v>x<b>y</b><![CDATA[<z>]]></v>\r\n  <w>a&#13;&#10;b</w></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    EXPECT_EQ(reader.ReadString("v"), "xy<z>");
    EXPECT_EQ(reader.ReadString("w"), "a\r\nb");
    EXPECT_EQ(reader.ItemCount(), 2);  // white space between elements is no child
}

TEST(XmlReader, SelectionByNameAndIndex) {
    TMemoryStream stream(
        "<root><items>text<a><v>1</v></a><b><v>2</v></b><a><v>3</v></a></items></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    reader.SelectNode("items");
    ASSERT_EQ(reader.ItemCount(), 3);  // text is no item; names play no part
    // Forwards, repeated and backwards access all find the element at that position.
    for (const int i : {0, 1, 2, 2, 0, 1, 1}) {
        TSavePoint point(reader);
        reader.SelectNode(i);
        EXPECT_EQ(reader.ReadInteger("v"), i + 1) << i;
    }
    // By name: the first child of that name.
    reader.SelectNode("a");
    EXPECT_EQ(reader.ReadInteger("v"), 1);
    EXPECT_EQ(reader.ItemCount(), 1);
}

TEST(XmlReader, ErrorMessages) {
    TMemoryStream stream("<root><x><a/><b/><c/></x></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    EXPECT_EQ(MessageOf<EStreamError>([&] { reader.SelectNode("items"); }),
              "Node \"items\" is not found");
    reader.SelectNode("x");
    EXPECT_EQ(MessageOf<EListError>([&] { reader.SelectNode(3); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { reader.SelectNode(-1); }),
              "List index out of bounds (-1)");

    const struct {
        std::string input;
        const char* message;
    } loads[] = {
        {"", "XML stream is empty"},
        {"<data><id>1</id></data>", "Invalid root node"},
        {"<Root/>", "Invalid root node"},
        {"   ", "Invalid root node"},
        {"<!-- only a comment -->", "Invalid root node"},
    };
    for (const auto& load : loads) {
        TMemoryStream input(load.input);
        TXMLReader r(input);
        EXPECT_EQ(MessageOf<EStreamError>([&] { r.LoadFromStream(); }), load.message) << load.input;
        // Still usable: an empty "root" document.
        EXPECT_EQ(r.ItemCount(), 0);
        EXPECT_EQ(r.ReadInteger("id"), 0);
    }
}

TEST(XmlReader, MalformedInputRaisesTheParseErrorAndLeavesAnEmptyDocument) {
    for (const char* bad :
         {"<root>", "<root><a></b></root>", "<root a=></root>", "<root><</root>"}) {
        TMemoryStream stream(bad);
        TXMLReader reader(stream);
        EXPECT_THROW(reader.LoadFromStream(), EXmlParseError) << bad;
        EXPECT_EQ(reader.ItemCount(), 0);
        EXPECT_THROW(reader.SelectNode("a"), EStreamError);
    }
}

TEST(XmlReader, ReloadingReplacesTheDocument) {
    TMemoryStream stream("<root><a><b>1</b></a></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    reader.SelectNode("a");
    reader.SelectNode(0);
    stream.Clear();
    stream.Write("<root><a><c>2</c><b>3</b></a></root>");
    reader.LoadFromStream();  // the cursor is back on "root"
    reader.SelectNode("a");
    reader.SelectNode(1);
    EXPECT_EQ(reader.ReadString("nothing"), "");
    reader.SelectRoot();
    reader.SelectNode("a");
    EXPECT_EQ(reader.ReadInteger("b"), 3);
}

TEST(XmlBaseIO, UnpairedSavePointIsReportedAtDestruction) {
    TMemoryStream stream("<root/>");
    auto reader = std::make_unique<TXMLReader>(stream);
    reader->SavePoint();
    EXPECT_EQ(MessageOf<EStreamError>([&] { delete reader.release(); }), "Non-empty XML stack");

    // While another exception passes, destruction stays quiet instead of ending the program.
    EXPECT_THROW(
        {
            TXMLWriter writer(stream);
            writer.SavePoint();
            throw EConvertError("first");
        },
        EConvertError);
}

TEST(XmlBaseIO, OnlyByteArrayStreamsAreVolatile) {
    TMemoryStream memory;
    TBytesStream bytes;
    EXPECT_FALSE(TXMLWriter(memory).IsBasedOnVolatileStream());
    EXPECT_TRUE(TXMLWriter(bytes).IsBasedOnVolatileStream());
    EXPECT_TRUE(TXMLReader(bytes).IsBasedOnVolatileStream());
}

}  // namespace
}  // namespace nimbrel
