#include "class_filter.h"

#include <gtest/gtest.h>

#include "vesk/vesklib.h"

namespace vesk::console {
namespace {

TEST(ClassFilter, EveryClassHasOneRowAndOneLetter) {
    int fileSystemClasses = 0;
    for (std::uint32_t op = VeskOpCreate; op <= VeskOpFlush; op <<= 1) {
        const ClassRow* row = FindClassRow(VeskCategoryFileSystem, op);
        ASSERT_NE(row, nullptr) << std::hex << op;
        ++fileSystemClasses;
    }
    EXPECT_EQ(fileSystemClasses, 27);
    EXPECT_EQ(FindClassRow(VeskCategoryProcess, VeskOpProcessCreate)->letter, 'p');
    EXPECT_EQ(FindClassRow(VeskCategoryProcess, VeskOpProcessExit)->letter, 'p');
    EXPECT_EQ(FindClassRow(VeskCategoryFileSystem, 0x8000000), nullptr);
    EXPECT_EQ(FindClassRow(VeskCategoryProcess, 2), nullptr);
    EXPECT_EQ(ClassTable().size(), 29u);
}

TEST(ClassFilter, Selection) {
    struct Case {
        const char* filter;
        std::uint32_t category;
        std::uint32_t operation;
        bool selected;
    };
    const Case cases[] = {
        {"", VeskCategoryFileSystem, VeskOpRead, true},
        {"*", VeskCategoryFileSystem, VeskOpRead, true},
        {"*c", VeskCategoryFileSystem, VeskOpRead, true},
        {"c", VeskCategoryFileSystem, VeskOpClose, true},
        {"c", VeskCategoryFileSystem, VeskOpRead, false},
        {"rp", VeskCategoryFileSystem, VeskOpRead, true},
        {"rp", VeskCategoryProcess, VeskOpProcessExit, true},
        {"rp", VeskCategoryFileSystem, VeskOpWrite, false},
        {"w", VeskCategoryFileSystem, VeskOpFlush, true},
        {"f", VeskCategoryFileSystem, VeskOpReparse, true},
        // The process category's classes are not file-system classes of the same value.
        {"p", VeskCategoryFileSystem, VeskOpCreate, false},
        // A class no letter names is selected only without a filter.
        {"vcrwdlmifsp", VeskCategoryFileSystem, 0x8000000, false},
        {"", VeskCategoryFileSystem, 0x8000000, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassSelected(c.filter, c.category, c.operation), c.selected)
            << c.filter << " " << c.category << " " << std::hex << c.operation;
    }
}

TEST(ClassFilter, OptionsTextListsLettersInItsOwnOrder) {
    EXPECT_EQ(FilterOptionsText(""), "  No filter specified:\r\n    Displaying all operations.\r\n");
    EXPECT_EQ(FilterOptionsText("*rw"), "  Specified filter options:\r\n    all operations\r\n");
    EXPECT_EQ(FilterOptionsText("pfsimldwrcv"),
              "  Specified filter options:\r\n"
              "    volume\r\n    create\r\n    read\r\n    write\r\n    delete\r\n    link\r\n"
              "    rename\r\n    set info\r\n    security\r\n    file system control\r\n"
              "    threads and processes\r\n");
    EXPECT_EQ(FilterOptionsText("xrx"), "  Specified filter options:\r\n    read\r\n");
}

TEST(ClassFilter, RuleClassesOfAFilter) {
    struct Case {
        const char* filter;
        std::uint32_t category;
        std::uint32_t mask;
    };
    const Case cases[] = {
        {"*", 0, 0},
        {"x", 0, 0},
        {"xy", 0, 0},
        {"", 0, 0},
        {"r", VeskCategoryFileSystem, VeskOpRead},
        {"rw", VeskCategoryFileSystem, VeskOpRead | VeskOpWrite | VeskOpFlush},
        {"v", VeskCategoryFileSystem,
         VeskOpAttach | VeskOpDetach | VeskOpMount | VeskOpUnmount | VeskOpLabel},
        // A letter of another category starts the mask again: the last category wins.
        {"rp", VeskCategoryProcess, 1},
        {"pr", VeskCategoryFileSystem, VeskOpRead},
        {"rpc", VeskCategoryFileSystem, VeskOpCreate | VeskOpClose},
        {"r*", VeskCategoryFileSystem, VeskOpRead},
    };
    for (const Case& c : cases) {
        const RuleClasses classes = RuleClassesOf(c.filter);
        EXPECT_EQ(classes.category, c.category) << c.filter;
        EXPECT_EQ(classes.mask, c.mask) << c.filter;
    }
}

}  // namespace
}  // namespace vesk::console
