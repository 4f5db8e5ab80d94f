// The class filter: letters that select operation classes, for the monitor's selection of records
// and for the category and class mask of a new rule.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vesk::console {

struct ClassRow {
    char letter;
    std::uint32_t category;
    std::uint32_t operation;
};

// One row per class, letter by letter, in the order the rule walk and the look-up rely on.
std::span<const ClassRow> ClassTable();

// The first row of this category and class, or nullptr.
const ClassRow* FindClassRow(std::uint32_t category, std::uint32_t operation);

// filter is lower-cased. An empty filter or one that starts with '*' selects everything; otherwise
// the record's class must have a row whose letter the filter contains.
bool ClassSelected(std::string_view filter, std::uint32_t category, std::uint32_t operation);

// The lines that describe a lower-cased filter: "  Specified filter options:" and one line per
// letter, or "  No filter specified:" for an empty filter.
std::string FilterOptionsText(std::string_view filter);

struct RuleClasses {
    std::uint32_t category = 0;
    std::uint32_t mask = 0;
};

// The category and class mask a lower-cased filter names. "*" means every class of every
// category (0 and 0). Otherwise each letter adds its classes; a letter of another category starts
// the mask again, so the last category named wins. Unknown letters add nothing.
RuleClasses RuleClassesOf(std::string_view filter);

}  // namespace vesk::console
