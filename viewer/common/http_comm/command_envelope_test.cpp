#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http_comm/cmd_reader.h"
#include "http_comm/cmd_writer.h"
#include "http_comm/command_params.h"
#include "rtl/exceptions.h"
#include "settings/email_settings.h"
#include "streaming/stream_error.h"
#include "tree/filter_item.h"
#include "types/identified_name_dict.h"

namespace nimbrel {
namespace {

std::string Request(TXMLCommand Command, std::vector<TCommandParam> Params) {
    TMemoryStream stream;
    TCMDWriter writer(stream);
    BuildCommandRequest(writer, Command, Params);
    writer.SaveToStream();
    return std::string(stream.Bytes());
}

TEST(XMLCommand, NamesAreTheIdentifiers) {
    EXPECT_EQ(XMLCommandName(XmlGetFiles), "XmlGetFiles");
    EXPECT_EQ(XMLCommandName(XmlRunReport), "XmlRunReport");
    for (int i = 0; i < kXMLCommandCount; ++i) {
        const auto command = static_cast<TXMLCommand>(i);
        EXPECT_EQ(XMLCommandFromName(XMLCommandName(command)), command);
    }
    EXPECT_EQ(XMLCommandName(static_cast<TXMLCommand>(19)), "XmlInvalidCommand");
    EXPECT_EQ(XMLCommandFromName("xmlgetfiles"), XmlInvalidCommand);
    EXPECT_EQ(XMLCommandFromName("6"), XmlInvalidCommand);
    EXPECT_EQ(XMLCommandFromName(""), XmlInvalidCommand);
}

TEST(CommandRequest, ParametersThenCommandThenStatus) {
    EXPECT_EQ(Request(XmlGetFiles, {{"id", std::int64_t{0}}}),
              "<root><id>0</id><command>XmlGetFiles</command>"
              "<status><value>0</value><message/></status></root>");
    EXPECT_EQ(Request(XmlGetUsers, {}),
              "<root><command>XmlGetUsers</command>"
              "<status><value>0</value><message/></status></root>");
}

TEST(CommandRequest, EveryValueKind) {
    TIdentifiedNameDict<std::uint32_t> procs;
    procs.Add(4, "init");
    EXPECT_EQ(Request(XmlInvalidCommand, {{"i", -5},
                                          {"b", true},
                                          {"f", 2.5},
                                          {"c", TCurrency{12345}},
                                          {"s", "a<b"},
                                          {"l", std::int64_t{-9000000000}},
                                          {"u", std::uint64_t{18446744073709551615u}},
                                          {"@day", EncodeDate(2024, 3, 5)},
                                          {"procs", procs}}),
              "<root><i>-5</i><b>1</b><f>2.5</f><c>1.2345</c><s>a&lt;b</s><l>-9000000000</l>"
              "<u>18446744073709551615</u><day>2024-03-05</day>"
              "<procs><proc><key>4</key><value>init</value></proc></procs>"
              "<command>XmlInvalidCommand</command>"
              "<status><value>0</value><message/></status></root>");
}

TEST(CommandRequest, ParametersAfterAnObjectAreWrittenInsideIt) {
    TEmailSettings mail;
    mail.SetServName("smtp1");
    EXPECT_EQ(Request(XmlEmailTest, {{"item", mail}, {"id", "ops@example.org"}}),
              "<root><item><enabled>0</enabled><servname>smtp1</servname><fromaddr/><fromname/>"
              "<authtype>0</authtype><authuser/><authpass/><conntype>0</conntype>"
              "<id>ops@example.org</id></item><command>XmlEmailTest</command>"
              "<status><value>0</value><message/></status></root>");
    TFilterItem filter;
    EXPECT_EQ(Request(XmlGetEvents, {{"id", std::int64_t{12}}, {"item", filter}}),
              "<root><id>12</id><item><kind>0</kind><userid>0</userid><procid>0</procid>"
              "<pastdate>1899-12-30</pastdate></item><command>XmlGetEvents</command>"
              "<status><value>0</value><message/></status></root>");
}

TEST(CommandRequest, DateParameterNeedsADateValue) {
    EXPECT_THROW(Request(XmlGetLog, {{"@day", "2024-03-05"}}), EAssertionFailed);
}

class CommandReply : public ::testing::Test {
  protected:
    TCMDReader& Load(const std::string& Document) {
        FStream.Clear();
        FStream.Write(Document);
        FReader->LoadFromStream();
        return *FReader;
    }

    TMemoryStream FStream;
    // Behind a pointer: the fixture's destructor may not throw, the reader's may.
    std::unique_ptr<TCMDReader> FReader = std::make_unique<TCMDReader>(FStream);
};

TEST_F(CommandReply, EnvelopeFields) {
    const struct {
        const char* document;
        TXMLCommand command;
        bool status;
        const char* message;
    } cases[] = {
        {"<root><items/><command>XmlGetFiles</command><status><value>1</value><message/>"
         "</status></root>",
         XmlGetFiles, true, ""},
        {"<root><command>xmlgetfiles</command><status><value>1</value></status></root>",
         XmlInvalidCommand, true, ""},
        {"<root><command>XmlGetLog</command><status><value>0</value>"
         "<message>Database is busy</message></status></root>",
         XmlGetLog, false, "Database is busy"},
        {"<root><status><value>true</value></status></root>", XmlInvalidCommand, true, ""},
        {"<root><status><message>why</message></status></root>", XmlInvalidCommand, false, "why"},
        {"<root><status/></root>", XmlInvalidCommand, false, ""},
    };
    for (const auto& c : cases) {
        const TCMDReader& reader = Load(c.document);
        EXPECT_EQ(reader.Command(), c.command) << c.document;
        EXPECT_EQ(reader.Status(), c.status) << c.document;
        EXPECT_EQ(reader.StatusMessage(), c.message) << c.document;
    }
}

TEST_F(CommandReply, CursorEndsOnRootForTheResults) {
    TCMDReader& reader =
        Load("<root><status><value>1</value></status><items><item/><item/></items></root>");
    reader.SelectNode("items");
    EXPECT_EQ(reader.ItemCount(), 2);
}

TEST_F(CommandReply, DocumentWithoutStatusIsAnError) {
    Load("<root><command>XmlGetLog</command><status><value>1</value></status></root>");
    try {
        Load("<root><command>XmlGetLog</command><value>1</value></root>");
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Node \"status\" is not found");
    }
    EXPECT_FALSE(FReader->Status());  // nothing of the previous reply is left
    EXPECT_THROW(Load(""), EStreamError);
    EXPECT_EQ(FReader->Command(), XmlInvalidCommand);
}

TEST_F(CommandReply, ReplyWrittenByTheWriterReadsBack) {
    TMemoryStream stream;
    TCMDWriter writer(stream);
    writer.SetCommand(XmlGetSettings);
    writer.SetStatus(true);
    writer.SetStatusMessage("fine");
    writer.WriteInteger("extra", 3);
    writer.SaveToStream();
    TCMDReader& reader = Load(std::string(stream.Bytes()));
    EXPECT_EQ(reader.Command(), XmlGetSettings);
    EXPECT_TRUE(reader.Status());
    EXPECT_EQ(reader.StatusMessage(), "fine");
    EXPECT_EQ(reader.ReadInteger("extra"), 3);
}

}  // namespace
}  // namespace nimbrel
