#include "tree/file_oper_item.h"

#include <gtest/gtest.h>

#include "streaming/xml_reader.h"

namespace nimbrel {
namespace {

TEST(FileOperItem, OperDataTextIsInterpretedByKind) {
    const struct {
        TOperKind kind;
        const char* text;
        TOperInfo info;
        const char* written;
    } cases[] = {
        {okCreate, "2", std::uint32_t{2}, "2"},
        {okCreate, "4294967297", std::uint32_t{1}, "1"},  // low 32 bits
        {okCreate, "abc", std::uint32_t{0}, "0"},
        {okCreate, "-1", std::uint32_t{0}, "0"},
        {okAttributes, "33", std::uint32_t{33}, "33"},
        {okRead, "18446744073709551615", std::uint64_t{18446744073709551615u},
         "18446744073709551615"},
        {okWrite, "5000", std::uint64_t{5000}, "5000"},
        {okWrite, "", std::uint64_t{0}, "0"},
        {okWrite, "1e3", std::uint64_t{0}, "0"},
        {okMove, "D:\\a b.txt", std::string("D:\\a b.txt"), "D:\\a b.txt"},
        {okLink, "", std::string(), ""},
        {okNone, "12", std::monostate(), ""},
        {okDelete, "12", std::monostate(), ""},
        {okSecurity, "x", std::monostate(), ""},
        {static_cast<TOperKind>(12), "future data", std::string("future data"), "future data"},
    };
    for (const auto& c : cases) {
        TFileOperItem item;
        item.SetKind(c.kind);
        item.SetOperData(c.text);
        EXPECT_EQ(item.OperInfo(), c.info) << c.kind << ' ' << c.text;
        EXPECT_EQ(item.OperData(), c.written) << c.kind << ' ' << c.text;
    }
}

TEST(FileOperItem, KindIsKnownBeforeOperDataWhateverTheDocumentOrder) {
    TMemoryStream stream(
        "<root><operdata>4096</operdata><timestamp>2024-03-05T14:07:09</timestamp>"
        "<kind>2</kind><id>1</id></root>");
    TXMLReader reader(stream);
    reader.LoadFromStream();
    TFileOperItem item;
    item.LoadFromXML(reader);
    EXPECT_EQ(item.Kind(), okRead);
    EXPECT_EQ(item.OperInfo(), TOperInfo(std::uint64_t{4096}));
}

TEST(FileOperItem, CreateOutcomeNamesUseTheLowSevenBits) {
    EXPECT_EQ(CreateOutcomeName(0), "Created");
    EXPECT_EQ(CreateOutcomeName(1), "Rewritten");
    EXPECT_EQ(CreateOutcomeName(0x82), "Superseded");
    EXPECT_EQ(CreateOutcomeName(3), "");
    EXPECT_EQ(CreateOutcomeName(0x7F), "");
}

}  // namespace
}  // namespace nimbrel
