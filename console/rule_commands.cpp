// rule add, rule delete and rule clear.
#include "class_filter.h"
#include "engine_commands.h"
#include "name_tables.h"
#include "text_conversion.h"
#include "vesk/vesklib.h"

namespace vesk::console {

namespace {

void PrintPattern(Output& out, const std::u16string& pattern) {
    out.Print("  Name pattern:\r\n    %s\r\n", pattern.empty() ? "*" : ToUtf8(pattern).c_str());
}

void PrintError(Output& out, std::uint32_t code) {
    out.Print("         Win32 error code = %u\r\n", code);
}

}  // namespace

std::optional<std::uint32_t> RuleStoreOf(std::string_view word) {
    const std::string lower = AsciiLowerCase(word);
    if (lower.empty() || lower == "mem") {
        return VeskRuleStoreMemory;
    }
    if (lower == "db") {
        return VeskRuleStoreDatabase;
    }
    if (lower == "all") {
        return VeskRuleStoreBoth;
    }
    return std::nullopt;
}

void RunRuleAdd(Output& out, std::string_view filter, std::string_view pattern,
                std::string_view saveSwitch) {
    const std::u16string widePattern = FromUtf8(pattern);
    out.Write("New rule:\r\n");
    PrintPattern(out, widePattern);
    const std::string lowerFilter = AsciiLowerCase(filter);
    out.Write(FilterOptionsText(lowerFilter));

    const RuleClasses classes = RuleClassesOf(lowerFilter);
    // One unknown letter is let through as "everything"; two or more that name nothing are a
    // typing error.
    if (classes.mask == 0 && lowerFilter.size() >= 2) {
        out.Write("  ERROR: one or more invalid filter entries were specified.\r\n");
        return;
    }
    VeskGuid id{};
    if (!VeskCreateId(&id, 1)) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write("  ERROR: unable create a GUID.\r\n");
        PrintError(out, code);
        return;
    }
    const std::uint32_t flags = EqualsIgnoringAsciiCase(saveSwitch, "/s") ? VeskRuleSave : 0;
    if (!VeskAddRule(id, widePattern.c_str(), classes.category, classes.mask, VESK_ANY_PROCESS,
                     flags)) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write("  ERROR: unable to add the specified rule.\r\n");
        PrintError(out, code);
        return;
    }
    out.Write("Success.\r\n");
}

void RunRuleDelete(Output& out, std::string_view pattern, std::uint32_t ruleStore) {
    const std::u16string widePattern = FromUtf8(pattern);
    out.Write("Delete rule:\r\n");
    out.Print("  Type:\r\n    %s\r\n", RuleStoreName(ruleStore));
    PrintPattern(out, widePattern);
    if (!VeskDeleteRule(widePattern.c_str(), ruleStore)) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write("  ERROR: unable to delete the specified rule.\r\n");
        PrintError(out, code);
        return;
    }
    out.Write("Success.\r\n");
}

void RunRuleClear(Output& out, std::uint32_t ruleStore) {
    out.Write("Clear rules:\r\n");
    out.Print("  Type:\r\n    %s\r\n", RuleStoreName(ruleStore));
    if (!VeskClearRules(ruleStore)) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write("  ERROR: unable to clear the specified rules.\r\n");
        PrintError(out, code);
        return;
    }
    out.Write("Success.\r\n");
}

}  // namespace vesk::console
