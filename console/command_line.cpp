#include "command_line.h"

#include <span>

#include "engine_commands.h"
#include "live_modes.h"
#include "text_conversion.h"
#include "usage_text.h"

namespace vesk::console {

namespace {

constexpr const char* kRedundant = "ERROR: redundant parameters found, remove them.\r\n";
constexpr const char* kNotEnough = "ERROR: not enough parameters, see '/?' for details.\r\n";

using Arguments = std::span<const std::string>;

// The argument at index, or "" when there are fewer.
std::string_view At(Arguments arguments, std::size_t index) {
    return index < arguments.size() ? std::string_view(arguments[index]) : std::string_view();
}

// rest: the words after "rule".
void RunRule(Output& out, Arguments rest) {
    if (rest.empty()) {
        out.Write("ERROR: command not specified, see '/?' for details.\r\n");
        return;
    }
    const std::string word = AsciiLowerCase(rest[0]);
    const Arguments parameters = rest.subspan(1);
    if (word == "add") {
        if (parameters.size() < 2) {
            out.Write(kNotEnough);
            return;
        }
        RunRuleAdd(out, parameters[0], parameters[1], At(parameters, 2));
    } else if (word == "delete") {
        if (parameters.empty()) {
            out.Write(kNotEnough);
            return;
        }
        const std::optional<std::uint32_t> store = RuleStoreOf(At(parameters, 1));
        if (!store) {
            out.Write("ERROR: the specified delete type is invalid.\r\n");
            return;
        }
        RunRuleDelete(out, parameters[0], *store);
    } else if (word == "clear") {
        const std::optional<std::uint32_t> store = RuleStoreOf(At(parameters, 0));
        if (!store) {
            out.Write("ERROR: the specified clear type is invalid.\r\n");
            return;
        }
        RunRuleClear(out, *store);
    } else {
        out.Write("ERROR: an unknown command was specified.\r\n");
    }
}

}  // namespace

void RunCommandLine(const std::vector<std::string>& arguments, const ConsoleIo& io) {
    Output& out = io.output;
    if (arguments.empty()) {
        out.Write(UsageText(false));
        return;
    }
    const std::string command = AsciiLowerCase(arguments[0]);
    const Arguments rest = Arguments(arguments).subspan(1);
    if (command == "mon") {
        if (rest.size() > 2) {
            out.Write(kRedundant);
            return;
        }
        RunMonitor(io, At(rest, 0), FromUtf8(At(rest, 1)));
    } else if (command == "stat" || command == "load" || command == "unload" ||
               command == "uninstall") {
        if (!rest.empty()) {
            out.Write(kRedundant);
        } else if (command == "stat") {
            RunStatisticsScreen(io);
        } else if (command == "load") {
            RunLoad(out);
        } else if (command == "unload") {
            RunUnload(out);
        } else {
            RunUninstall(out);
        }
    } else if (command == "install") {
        if (rest.size() > 1) {
            out.Write(kRedundant);
        } else if (rest.empty()) {
            out.Write(
                "ERROR: Install command must be followed by path to\r\n"
                "       a directory where engine files are located.\r\n");
        } else {
            RunInstall(out, rest[0]);
        }
    } else if (command == "rule") {
        RunRule(out, rest);
    } else if (command == "/?" || command == "/h" || command == "help") {
        out.Write(UsageText(true));
    } else {
        out.Write("ERROR: the specified command is unexpected.\r\n");
    }
}

}  // namespace vesk::console
