// What a command works with: the text output, the terminal's input and output descriptors, and
// whether the live modes take over the stop signals (the program does; tests that run a mode in
// their own process do not).
#pragma once

#include "output.h"

namespace vesk::console {

struct ConsoleIo {
    Output& output;
    int inputDescriptor;
    int outputDescriptor;
    bool catchStopSignals;
};

}  // namespace vesk::console
