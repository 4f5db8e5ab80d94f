#include "class_filter.h"

#include "vesk/vesklib.h"

namespace vesk::console {

namespace {

constexpr std::uint32_t kFs = VeskCategoryFileSystem;
constexpr std::uint32_t kProcess = VeskCategoryProcess;

constexpr ClassRow kTable[] = {
    {'v', kFs, VeskOpAttach},
    {'v', kFs, VeskOpDetach},
    {'v', kFs, VeskOpMount},
    {'v', kFs, VeskOpUnmount},
    {'v', kFs, VeskOpLabel},
    {'c', kFs, VeskOpCreate},
    {'c', kFs, VeskOpClose},
    {'r', kFs, VeskOpRead},
    {'w', kFs, VeskOpWrite},
    {'w', kFs, VeskOpFlush},
    {'d', kFs, VeskOpDelete},
    {'l', kFs, VeskOpLink},
    {'m', kFs, VeskOpRename},
    {'i', kFs, VeskOpBasic},
    {'i', kFs, VeskOpAllocation},
    {'i', kFs, VeskOpSize},
    {'i', kFs, VeskOpPosition},
    {'i', kFs, VeskOpValidLength},
    {'i', kFs, VeskOpEa},
    {'i', kFs, VeskOpQuota},
    {'f', kFs, VeskOpSparse},
    {'f', kFs, VeskOpCompress},
    {'f', kFs, VeskOpExtend},
    {'f', kFs, VeskOpShrink},
    {'f', kFs, VeskOpObjectId},
    {'f', kFs, VeskOpReparse},
    {'s', kFs, VeskOpSecurity},
    {'p', kProcess, VeskOpProcessCreate},
    {'p', kProcess, VeskOpProcessExit},
};
static_assert(std::size(kTable) == 29, "one row per class");

struct LetterLine {
    char letter;
    const char* line;
};

// The order in which the filter's letters are described.
constexpr LetterLine kLetterLines[] = {
    {'v', "    volume\r\n"},   {'c', "    create\r\n"},   {'r', "    read\r\n"},
    {'w', "    write\r\n"},    {'d', "    delete\r\n"},   {'l', "    link\r\n"},
    {'m', "    rename\r\n"},   {'i', "    set info\r\n"}, {'s', "    security\r\n"},
    {'f', "    file system control\r\n"},                  {'p', "    threads and processes\r\n"},
};

}  // namespace

std::span<const ClassRow> ClassTable() {
    return kTable;
}

const ClassRow* FindClassRow(std::uint32_t category, std::uint32_t operation) {
    for (const ClassRow& row : kTable) {
        if (row.category == category && row.operation == operation) {
            return &row;
        }
    }
    return nullptr;
}

bool ClassSelected(std::string_view filter, std::uint32_t category, std::uint32_t operation) {
    if (filter.empty() || filter.front() == '*') {
        return true;
    }
    const ClassRow* row = FindClassRow(category, operation);
    return row != nullptr && filter.find(row->letter) != std::string_view::npos;
}

std::string FilterOptionsText(std::string_view filter) {
    if (filter.empty()) {
        return "  No filter specified:\r\n    Displaying all operations.\r\n";
    }
    std::string text = "  Specified filter options:\r\n";
    if (filter.front() == '*') {
        return text + "    all operations\r\n";
    }
    for (const LetterLine& l : kLetterLines) {
        if (filter.find(l.letter) != std::string_view::npos) {
            text += l.line;
        }
    }
    return text;
}

RuleClasses RuleClassesOf(std::string_view filter) {
    RuleClasses result;
    if (filter == "*") {
        return result;
    }
    for (char letter : filter) {
        for (const ClassRow& row : kTable) {
            if (row.letter != letter) {
                continue;
            }
            if (row.category != result.category) {
                result.category = row.category;
                result.mask = 0;
            }
            result.mask |= row.operation;
        }
    }
    return result;
}

}  // namespace vesk::console
