// veskd: the engine's demonstration console program.
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
    // A reader that went away (a closed pipe) makes writes fail instead of ending the program
    // before it stopped the engine.
    signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    vesk::console::DescriptorOutput output(STDOUT_FILENO);
    const vesk::console::ConsoleIo io{output, STDIN_FILENO, STDOUT_FILENO, true};
    vesk::console::RunCommandLine(arguments, io);
    return 0;
}
