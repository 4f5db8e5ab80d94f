#include <gtest/gtest.h>

#include <string>

#include "remoting/clipboard_text.h"
#include "rtl/exceptions.h"
#include "settings/common_settings.h"
#include "streaming/xml_reader.h"
#include "streaming/xml_writer.h"

namespace nimbrel {
namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { VolatileMode = 1; }
    void TearDown() override { VolatileMode = 0; }

    static void Fill(TCommonSettings& s) {
        s.SetUserPassword("pw");
        s.SetDBKeepRecords(krThreeMonths);
        s.Email().SetEnabled(true);
        s.Email().SetServName("smtp1:587");
        s.Email().SetFromAddr("a@b");
        s.Email().SetFromName("Nimbrel");
        s.Email().SetAuthType(TEmailSettings::atSASL);
        s.Email().SetAuthUser("u");
        s.Email().SetAuthPass("p");
        s.Email().SetConnType(TEmailSettings::ctTLS);
        s.Filter().SetMaskType(ftExclusive);
        s.Filter().PathNames() = {"a", "b"};
        s.Filter().SetOperKinds({okCreate, okWrite});
        s.SetRunTimeDBPath("/var/db");
        s.SetRunTimeDBSize(123);
        s.SetVersionString("1.0.0 build 1");
    }

    static std::string Saved(const TRemotable& Object, TMemoryStream& Stream) {
        TXMLWriter writer(Stream);
        Object.SaveToXML(writer);
        writer.SaveToStream();
        return std::string(Stream.Bytes());
    }
    static std::string Saved(const TRemotable& Object) {
        TMemoryStream stream;
        return Saved(Object, stream);
    }
};

TEST_F(Settings, ElementOrderOverHttp) {
    TCommonSettings settings;
    Fill(settings);
    EXPECT_EQ(Saved(settings),
              "<root><userpassword>pw</userpassword><dbkeeprecords>3</dbkeeprecords>"
              "<email><enabled>1</enabled><servname>smtp1:587</servname><fromaddr>a@b</fromaddr>"
              "<fromname>Nimbrel</fromname><authtype>2</authtype><authuser>u</authuser>"
              "<authpass>p</authpass><conntype>2</conntype></email>"
              "<filter><pathtype>0</pathtype><masktype>1</masktype><proctype>0</proctype>"
              "<pathnames>YQ0KYg0K</pathnames><masknames/><procnames/><operkinds>10</operkinds>"
              "</filter><runtimedbpath>/var/db</runtimedbpath><runtimedbsize>123</runtimedbsize>"
              "<versionstring>1.0.0 build 1</versionstring></root>");
}

TEST_F(Settings, VolatileValuesTravelOverHttpButNotThroughTheClipboard) {
    TCommonSettings settings;
    Fill(settings);
    const std::string clipboard = ClipboardTextOf(settings);
    for (const char* element : {"<runtimedbpath", "<runtimedbsize", "<versionstring"}) {
        EXPECT_EQ(clipboard.find(element), std::string::npos) << element;
    }
    EXPECT_NE(clipboard.find("<userpassword>pw</userpassword>"), std::string::npos);

    TMemoryStream stream;
    Saved(settings, stream);
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TCommonSettings back;
    back.LoadFromXML(reader);
    EXPECT_EQ(back.VersionString(), "1.0.0 build 1");
    EXPECT_EQ(back.RunTimeDBPath(), "/var/db");
    EXPECT_EQ(back.RunTimeDBSize(), 123u);
    EXPECT_EQ(back.Filter().PathNames(), (TStringList{"a", "b"}));
    EXPECT_TRUE(back.Filter().MaskNames().empty());
    EXPECT_EQ(back.Filter().OperKinds(), (TOperKinds{okCreate, okWrite}));
    EXPECT_EQ(back.Email().ConnType(), TEmailSettings::ctTLS);
}

TEST_F(Settings, MissingSubObjectElementsAreErrors) {
    TMemoryStream stream("<root><userpassword>x</userpassword><email/></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TCommonSettings settings;
    try {
        settings.LoadFromXML(reader);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Node \"filter\" is not found");
    }
    EXPECT_EQ(settings.UserPassword(), "x");
}

TEST_F(Settings, DefaultsAreEmpty) {
    const TCommonSettings settings;
    EXPECT_EQ(settings.DBKeepRecords(), krOneDay);
    EXPECT_EQ(settings.Filter().PathType(), ftInclusive);
    EXPECT_TRUE(settings.Filter().OperKinds().Empty());
    EXPECT_FALSE(settings.Email().Enabled());
    EXPECT_EQ(settings.RunTimeDBSize(), 0u);
}

TEST_F(Settings, AssignCopiesEmailAndFilterWithTheirLists) {
    TCommonSettings source;
    Fill(source);
    TCommonSettings copy;
    copy.Assign(source);
    EXPECT_EQ(Saved(copy), Saved(source));
}

TEST_F(Settings, ServerNameGivesHostAndPort) {
    const struct {
        const char* name;
        const char* host;
        int port;  // -1: the port raises a conversion error
    } cases[] = {
        {"smtp1:587", "smtp1", 587}, {"smtp1", "smtp1", 25},  {"", "", 25},
        {"smtp1:abc", "smtp1", -1},  {"smtp1:", "smtp1", -1}, {"a:b:25", "a", -1},
    };
    for (const auto& c : cases) {
        TEmailSettings email;
        email.SetServName(c.name);
        EXPECT_EQ(email.ServHost(), c.host) << c.name;
        if (c.port < 0) {
            EXPECT_THROW(email.ServPort(), EConvertError) << c.name;
        } else {
            EXPECT_EQ(email.ServPort(), c.port) << c.name;
        }
    }
}

TEST_F(Settings, ChoiceNames) {
    EXPECT_EQ(DBKeepRecordsName(krOneDay), "1 day");
    EXPECT_EQ(DBKeepRecordsName(krIndefinitely), "Indefinitely");
    EXPECT_EQ(DBKeepRecordsName(static_cast<TDBKeepRecords>(7)), "");
    EXPECT_EQ(TEmailSettings::AuthTypeName(TEmailSettings::atAuth), "AUTH LOGIN");
    EXPECT_EQ(TEmailSettings::ConnTypeName(TEmailSettings::ctStartTLS),
              "Secure to regular port (STARTTLS)");
    EXPECT_EQ(FilterTypeFormat(ftExclusive), "Exclude %s");
}

}  // namespace
}  // namespace nimbrel
