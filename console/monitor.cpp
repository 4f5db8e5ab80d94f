// The monitor mode.
#include "class_filter.h"
#include "live_modes.h"
#include "live_session.h"
#include "printer.h"
#include "text_conversion.h"

namespace vesk::console {

void RunMonitor(const ConsoleIo& io, std::string_view filter, std::u16string_view pattern) {
    LiveSession session(io);
    if (!session.PrepareConsole()) {
        return;
    }
    const std::string lowerFilter = AsciiLowerCase(filter);
    // The printer outlives the engine: every path below that started the engine stops it before
    // returning.
    Printer printer(io.output, lowerFilter, std::u16string(pattern));
    session.SetPrinter(&printer);
    if (!session.StartEngine(0, &LiveSession::PrintFileOperation, &LiveSession::PrintProcess)) {
        return;
    }
    io.output.Write(FilterOptionsText(lowerFilter));
    if (!session.Activate()) {
        return;
    }
    io.output.Write("  Press any key to exit...\r\n");
    Wake wake;
    while ((wake = session.Wait(-1)) == Wake::Timeout) {
    }
    session.Finish(wake);
}

}  // namespace vesk::console
