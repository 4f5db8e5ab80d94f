// The commands that manage the engine itself and its rules. Each reports every failure by its
// message; none of them ends the program with an error code.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "output.h"

namespace vesk::console {

// Loading and unloading the driver.
void RunLoad(Output& out);
void RunUnload(Output& out);

// Registering the driver found in a directory, and removing the registration.
void RunInstall(Output& out, std::string_view directory);
void RunUninstall(Output& out);

// The rule store a word names ("db", "mem", "all", any case); an empty word is the in-memory
// store. Nothing for any other word.
std::optional<std::uint32_t> RuleStoreOf(std::string_view word);

// Rules. filter and pattern as typed; saveSwitch is the optional third argument ("/s" stores the
// rule in the database too).
void RunRuleAdd(Output& out, std::string_view filter, std::string_view pattern,
                std::string_view saveSwitch);
void RunRuleDelete(Output& out, std::string_view pattern, std::uint32_t ruleStore);
void RunRuleClear(Output& out, std::uint32_t ruleStore);

}  // namespace vesk::console
