#include <gtest/gtest.h>

#include <string>

#include "rtl/exceptions.h"
#include "streaming/stream_error.h"
#include "types/identified_item.h"
#include "types/identified_name_dict.h"
#include "types/remotable_list.h"

namespace nimbrel {
namespace {

std::string Saved(const IXMLSaveLoad& Container, std::string_view Name) {
    TMemoryStream stream;
    TXMLWriter writer(stream);
    Container.SaveToXML(writer, Name);
    writer.SaveToStream();
    return std::string(stream.Bytes());
}

TNamedItem* Named(std::uint64_t Id, const std::string& Name) {
    auto* item = new TNamedItem;
    item->SetID(Id);
    item->SetName(Name);
    return item;
}

TEST(RemotableList, ChildrenAreNamedAfterTheListLessItsLastCharacter) {
    TRemotableList<TNamedItem> list;
    EXPECT_EQ(Saved(list, "items"), "<root><items/></root>");
    list.Add(Named(1, "a"));
    list.Add(Named(2, "b"));
    EXPECT_EQ(Saved(list, "items"),
              "<root><items><item><id>1</id><name>a</name></item>"
              "<item><id>2</id><name>b</name></item></items></root>");
    EXPECT_EQ(Saved(list, "entries").substr(0, 23), "<root><entries><entrie>");
}

TEST(RemotableList, LoadsOneItemPerChildInDocumentOrder) {
    TMemoryStream stream(
        "<root><items><x><id>7</id></x><item><name>b</name></item><y><id>9</id></y></items>"
        "</root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TRemotableList<TNamedItem> list;
    list.Add(Named(100, "old"));  // loading replaces the content
    list.LoadFromXML(reader, "items");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0]->ID(), 7u);
    EXPECT_EQ(list[1]->Name(), "b");
    EXPECT_EQ(list[2]->ID(), 9u);

    TMemoryStream empty("<root><items/></root>");
    TXMLReader emptyReader(empty);
    emptyReader.LoadFromStream();
    list.LoadFromXML(emptyReader, "items");
    EXPECT_EQ(list.Count(), 0);
}

TEST(RemotableList, LoadErrorsKeepTheItemsBeforeTheFailingOne) {
    TMemoryStream stream(
        "<root><items><item><id>1</id></item><item><id>x</id></item><item><id>3</id></item>"
        "</items></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TRemotableList<TNamedItem> list;
    EXPECT_THROW(list.LoadFromXML(reader, "items"), EConvertError);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0]->ID(), 1u);
    EXPECT_EQ(reader.ItemCount(), 1);  // cursor back on "root"

    try {
        list.LoadFromXML(reader, "events");
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Node \"events\" is not found");
    }
    EXPECT_EQ(list.Count(), 0);  // cleared before looking for the element
}

TEST(RemotableList, IndexAndOwnership) {
    TRemotableList<TNamedItem> owner;
    owner.Add(Named(1, "a"));
    owner.Add(Named(2, "b"));
    {
        TRemotableList<TNamedItem> view(false);
        view.Add(owner[0]);
        view.Add(owner[1]);
        view.Delete(0);
        view.Clear();
    }  // the view frees nothing
    EXPECT_EQ(owner[0]->Name(), "a");
    owner.Delete(0);
    ASSERT_EQ(owner.Count(), 1);
    EXPECT_EQ(owner[0]->Name(), "b");
    EXPECT_THROW(owner[1], EListError);
    EXPECT_THROW(owner[-1], EListError);
    EXPECT_THROW(owner.Delete(5), EListError);
}

TEST(IdentifiedNameDict, EntriesHoldKeyAndValue) {
    TIdentifiedNameDict<std::uint64_t> users;
    users.Add(18446744073709551615u, "root & co");
    EXPECT_EQ(Saved(users, "items"),
              "<root><items><item><key>18446744073709551615</key><value>root &amp; co</value>"
              "</item></items></root>");

    TIdentifiedNameDict<std::uint32_t> procs;
    procs.Add(4294967295u, "init");
    procs.Add(2, "bash");
    TMemoryStream stream(Saved(procs, "items"));
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TIdentifiedNameDict<std::uint32_t> back;
    back.Add(77, "stale");
    back.LoadFromXML(reader, "items");
    EXPECT_EQ(back.Count(), 2);
    std::string name;
    EXPECT_TRUE(back.TryGetValue(4294967295u, name));
    EXPECT_EQ(name, "init");
    EXPECT_FALSE(back.TryGetValue(77, name));
}

TEST(IdentifiedNameDict, DuplicateKeysFailOnTheSecondEntry) {
    TMemoryStream stream(
        "<root><items><item><key>5</key><value>a</value></item>"
        "<item><key>6</key><value>b</value></item>"
        "<item><key>5</key><value>c</value></item></items></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TIdentifiedNameDict<std::uint64_t> dict;
    try {
        dict.LoadFromXML(reader, "items");
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicates not allowed");
    }
    EXPECT_EQ(dict.Count(), 2);
    std::string name;
    ASSERT_TRUE(dict.TryGetValue(5, name));
    EXPECT_EQ(name, "a");
    EXPECT_THROW(dict.Add(6, "again"), EListError);
}

}  // namespace
}  // namespace nimbrel
