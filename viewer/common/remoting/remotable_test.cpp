#include "remoting/remotable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rtl/exceptions.h"
#include "streaming/stream_error.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"
#include "types/remotable_list.h"

namespace nimbrel {
namespace {

enum class TColour : std::int32_t { Red, Green, Blue };

struct TColours {
    std::int32_t Bits = 0;
    std::int32_t Mask() const { return Bits; }
    static TColours FromMask(std::int32_t Mask) { return {Mask}; }
};

class TInner : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties() {
        static const TPropTable table(
            "TInner", &TRemotable::ClassProperties(),
            {Field<&TInner::Count>("Count"), Field<&TInner::Note>("Note")});
        return table;
    }
    std::int32_t Count = 0;
    std::string Note;
};

// One property of every kind, one of them volatile behind accessors.
class TSample : public TRemotable {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties() {
        static const TPropTable table(
            "TSample", &TRemotable::ClassProperties(),
            {Field<&TSample::Flag>("Flag"), Field<&TSample::Card>("CardValue"),
             Field<&TSample::Colour>("Colour"), Field<&TSample::Colours>("Colours"),
             Field<&TSample::Big>("Big"), Field<&TSample::Huge>("Huge"),
             Field<&TSample::When>("When", TPropKind::DateTime),
             Field<&TSample::Day>("Day", TPropKind::Date),
             Field<&TSample::Ratio>("Ratio", TPropKind::Float), Field<&TSample::Text>("Text"),
             Field<&TSample::Blob>("Blob"), Field<&TSample::Lines>("Lines"),
             Field<&TSample::Inner>("Inner"), Field<&TSample::Parts>("Parts"),
             AsVolatile(Accessor<&TSample::Secret, &TSample::SetSecret>("RunTimeInfo"))});
        return table;
    }

    const std::string& Secret() const { return FSecret; }
    void SetSecret(const std::string& Value) { FSecret = Value; }

    bool Flag = false;
    std::uint32_t Card = 0;
    TColour Colour = TColour::Red;
    TColours Colours;
    std::int64_t Big = 0;
    std::uint64_t Huge = 0;
    double When = 0;
    double Day = 0;
    double Ratio = 0;
    std::string Text;
    TBytes Blob;
    TStringList Lines;
    TInner Inner;
    TRemotableList<TInner> Parts;

  private:
    std::string FSecret;
};

class TDerivedSample : public TSample {
  public:
    const TPropTable& Properties() const override { return ClassProperties(); }
    static const TPropTable& ClassProperties() {
        static const TPropTable table("TDerivedSample", &TSample::ClassProperties(),
                                      {Field<&TDerivedSample::Extra>("Extra")});
        return table;
    }
    std::string Extra;
};

class VolatileModeScope {
  public:
    explicit VolatileModeScope(std::uint8_t Mode) : FSaved(VolatileMode) { VolatileMode = Mode; }
    ~VolatileModeScope() { VolatileMode = FSaved; }

  private:
    std::uint8_t FSaved;
};

void Fill(TSample& s) {
    s.Flag = true;
    s.Card = 4000000000u;
    s.Colour = TColour::Blue;
    s.Colours.Bits = 0x5;
    s.Big = -7;
    s.Huge = 18446744073709551615u;
    s.When = EncodeDateTime({2024, 3, 5, 14, 7, 9, 0});
    s.Day = EncodeDate(2024, 3, 5);
    s.Ratio = 0.25;
    s.Text = "a&b";
    s.Blob = {0xFF, 0x00, 0xFE};
    s.Lines = {"a", "b"};
    s.Inner.Count = 3;
    s.Inner.Note = "n";
    auto* part = new TInner;
    part->Count = 9;
    s.Parts.Add(part);
    s.SetSecret("s");
}

std::string Document(const TRemotable& Object, TMemoryStream& Stream) {
    TXMLWriter writer(Stream);
    Object.SaveToXML(writer);
    writer.SaveToStream();
    return std::string(Stream.Bytes());
}

std::string Document(const TRemotable& Object) {
    TMemoryStream stream;
    return Document(Object, stream);
}

TEST(Remotable, WritesEveryPropertyInTableOrderWithLowerCaseNames) {
    VolatileModeScope mode(1);
    TSample s;
    Fill(s);
    EXPECT_EQ(Document(s),
              "<root><flag>1</flag><cardvalue>4000000000</cardvalue><colour>2</colour>"
              "<colours>5</colours><big>-7</big><huge>18446744073709551615</huge>"
              "<when>2024-03-05T14:07:09</when><day>2024-03-05</day><ratio>0.25</ratio>"
              "<text>a&amp;b</text><blob>/wD+</blob><lines>YQ0KYg0K</lines>"
              "<inner><count>3</count><note>n</note></inner>"
              "<parts><part><count>9</count><note/></part></parts>"
              "<runtimeinfo>s</runtimeinfo></root>");
}

TEST(Remotable, ReadsBackWhatItWrote) {
    VolatileModeScope mode(1);
    TSample expected;
    Fill(expected);
    TMemoryStream stream;
    Document(expected, stream);
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TSample s;
    s.LoadFromXML(reader);
    EXPECT_EQ(Document(s), Document(expected));
    EXPECT_EQ(s.Lines, (TStringList{"a", "b"}));
    EXPECT_EQ(s.Colour, TColour::Blue);
    EXPECT_EQ(s.Secret(), "s");
    ASSERT_EQ(s.Parts.Count(), 1);
    EXPECT_EQ(s.Parts[0]->Count, 9);
}

TEST(Remotable, DerivedClassesWriteTheBasePropertiesFirst) {
    TDerivedSample d;
    d.Extra = "x";
    const std::string doc = Document(d);
    EXPECT_LT(doc.find("<runtimeinfo"), doc.find("<extra>x</extra>"));
    EXPECT_EQ(doc.find("<flag>"), 6u);
}

TEST(Remotable, ObjectWithoutPropertiesWritesNothing) {
    EXPECT_EQ(Document(TRemotable()), "<root/>");
}

TEST(Remotable, LongStringListsBecomeBase64LinesOfSeventySix) {
    TSample s;
    s.Lines = {std::string(100, 'x'), "\xC3\xA9t\xC3\xA9"};
    const std::string doc = Document(s);
    const auto start = doc.find("<lines>") + 7;
    const std::string text = doc.substr(start, doc.find("</lines>") - start);
    EXPECT_EQ(text.find("\r\n"), std::string::npos);  // CR is written as a reference
    EXPECT_EQ(text.find("&#13;\n"), 76u);

    TMemoryStream stream(doc);
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TSample back;
    back.LoadFromXML(reader);
    EXPECT_EQ(back.Lines, s.Lines);
}

TEST(Remotable, MissingValuesKeepTheReadersDefaults) {
    TMemoryStream stream("<root><inner/><parts/><text>t</text></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TSample s;
    Fill(s);
    s.LoadFromXML(reader);
    EXPECT_FALSE(s.Flag);
    EXPECT_EQ(s.Huge, 0u);
    EXPECT_EQ(s.When, 0);
    EXPECT_EQ(s.Text, "t");
    EXPECT_TRUE(s.Blob.empty());
    EXPECT_TRUE(s.Lines.empty());
    EXPECT_EQ(s.Inner.Count, 0);
    EXPECT_EQ(s.Parts.Count(), 0);
}

TEST(Remotable, MissingSubObjectIsAnErrorAndKeepsWhatWasRead) {
    TMemoryStream stream("<root><flag>1</flag><text>t</text><parts/></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TSample s;
    try {
        s.LoadFromXML(reader);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Node \"inner\" is not found");
    }
    EXPECT_TRUE(s.Flag);
    EXPECT_EQ(s.Text, "t");
    // The cursor is back on "root" and the stack is balanced (destruction does not raise).
    EXPECT_EQ(reader.ReadString("text"), "t");
}

TEST(Remotable, IntegerConversionErrorsPass) {
    TMemoryStream stream("<root><colour>blue</colour></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TSample s;
    EXPECT_THROW(s.LoadFromXML(reader), EConvertError);
    EXPECT_EQ(reader.ItemCount(), 1);
}

TEST(Remotable, VolatilePropertiesFollowTheVolatileMode) {
    const struct {
        std::uint8_t mode;
        bool byteArrayStream;
        bool written;
        bool read;
        bool otherRead;  // a non-volatile property
    } cases[] = {
        {0, false, true, false, true},   {0, true, true, false, true},
        {1, false, true, true, true},    {1, true, false, false, true},
        {2, false, false, false, false}, {255, true, false, false, false},
    };
    for (const auto& c : cases) {
        VolatileModeScope mode(c.mode);
        TSample s;
        s.SetSecret("s");
        s.Text = "t";
        std::unique_ptr<TMemoryStream> out;
        if (c.byteArrayStream) {
            out = std::make_unique<TBytesStream>();
        } else {
            out = std::make_unique<TMemoryStream>();
        }
        const std::string doc = Document(s, *out);
        EXPECT_EQ(doc.find("<runtimeinfo>") != std::string::npos, c.written)
            << int(c.mode) << c.byteArrayStream;

        std::unique_ptr<TMemoryStream> in;
        const std::string full =
            "<root><runtimeinfo>s</runtimeinfo><text>t</text><inner/><parts/></root>";
        if (c.byteArrayStream) {
            in = std::make_unique<TBytesStream>(full);
        } else {
            in = std::make_unique<TMemoryStream>(full);
        }
        TXMLReader reader(*in);
        reader.LoadFromStream();
        TSample back;
        back.LoadFromXML(reader);
        EXPECT_EQ(back.Secret() == "s", c.read) << int(c.mode) << c.byteArrayStream;
        EXPECT_EQ(back.Text == "t", c.otherRead) << int(c.mode) << c.byteArrayStream;
    }
}

TEST(Remotable, AssignCopiesValuesDeeplyIntoTheSameOrADerivedClass) {
    TSample source;
    Fill(source);
    TDerivedSample dest;
    dest.Extra = "kept";
    TInner* const innerBefore = &dest.Inner;
    dest.Assign(source);
    EXPECT_EQ(dest.Card, source.Card);
    EXPECT_EQ(dest.Colours.Bits, 5);
    EXPECT_EQ(dest.When, source.When);
    EXPECT_EQ(dest.Blob, source.Blob);
    EXPECT_EQ(dest.Lines, source.Lines);  // string lists are copied too
    EXPECT_EQ(dest.Secret(), "s");        // volatile values are part of a copy
    EXPECT_EQ(&dest.Inner, innerBefore);  // the own sub-object receives the values
    EXPECT_EQ(dest.Inner.Count, 3);
    EXPECT_EQ(dest.Inner.Note, "n");
    EXPECT_EQ(dest.Parts.Count(), 0);  // containers are not copied
    EXPECT_EQ(dest.Extra, "kept");

    TSample base;
    TDerivedSample derived;
    derived.Extra = "x";
    try {
        TInner inner;
        inner.Assign(derived);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TDerivedSample to a TInner");
    }
    EXPECT_THROW(derived.Assign(TInner()), EConvertError);
    EXPECT_THROW(base.Assign(derived), EConvertError);  // a base object is no derived one
}

}  // namespace
}  // namespace nimbrel
