// The statistics screen: the driver's counters, redrawn in place once a second.
#include <cinttypes>
#include <optional>

#include "live_modes.h"
#include "live_session.h"
#include "local_time.h"

namespace vesk::console {

namespace {

// Moves the cursor up over the nine lines of the block, keeping the column (the first).
constexpr const char* kBackOverBlock = "\x1b[9A";
constexpr std::uint32_t kInvalidParameter = 87;

struct Times {
    std::optional<std::string> started;
    std::optional<std::string> lastRead;
    std::optional<std::string> lastWritten;
};

// False when one of the times set has no local calendar form.
bool ConvertTimes(const VeskStatistics& s, Times* times) {
    const std::pair<std::uint64_t, std::optional<std::string>*> all[] = {
        {s.StartTime, &times->started},
        {s.LastReadTime, &times->lastRead},
        {s.LastWriteTime, &times->lastWritten},
    };
    for (const auto& [value, text] : all) {
        if (value == 0) {
            continue;
        }
        *text = FormatLocalTime(value);
        if (!*text) {
            return false;
        }
    }
    return true;
}

std::string Block(const VeskStatistics& s, const Times& t) {
    std::string text;
    text += Format("    Data read:\t\t%" PRIu64 " bytes\r\n", s.BytesRead);
    text += Format("    Data written:\t%" PRIu64 " bytes\r\n", s.BytesWritten);
    text += Format("    Read ops:\t\t%" PRIu64 " succeeded, %" PRIu64 " failed\r\n",
                   s.ReadsSucceeded, s.ReadsFailed);
    text += Format("    Write ops:\t\t%" PRIu64 " succeeded, %" PRIu64 " failed\r\n",
                   s.WritesSucceeded, s.WritesFailed);
    text += Format("    Create ops:\t\t%" PRIu64 " succeeded, %" PRIu64 " failed\r\n",
                   s.CreatesSucceeded, s.CreatesFailed);
    text += t.started ? Format("    Started:\t\t%s\r\n", t.started->c_str())
                      : "    Started:\t\tNot yet\r\n";
    text += t.lastRead ? Format("    Last read:\t\t%s\r\n", t.lastRead->c_str())
                       : "    Last read:\t\tWaiting...\r\n";
    text += t.lastWritten ? Format("    Last written:\t%s\r\n", t.lastWritten->c_str())
                          : "    Last written:\tWaiting...\r\n";
    return text + "\r\n";
}

}  // namespace

void RunStatisticsScreen(const ConsoleIo& io) {
    LiveSession session(io);
    if (!session.PrepareConsole() ||
        !session.StartEngine(VeskModeNoData, &LiveSession::Ignore, &LiveSession::Ignore) ||
        !session.Activate()) {
        return;
    }
    Output& out = io.output;
    out.Write("  Time format is h:m:s d.m.y.\r\n  Press any key to exit...\r\n\r\n");
    // Only a terminal can take the cursor back; anywhere else (a pipe, a file) each second's block
    // follows the last one.
    const bool redrawInPlace = session.terminal().OutputIsTerminal();
    while (true) {
        VeskStatistics statistics{};
        if (!VeskGetStatistics(&statistics)) {
            out.Write("  ERROR: can't query statistics.\r\n");
            out.Print("         Win32 error code = %u\r\n", VeskGetErrorCode());
            session.FinishAfterFailure();
            return;
        }
        Times times;
        if (!ConvertTimes(statistics, &times)) {
            out.Write("  ERROR: can't obtain time values.\r\n");
            out.Print("         Win32 error code = %u\r\n", kInvalidParameter);
            session.FinishAfterFailure();
            return;
        }
        out.Write(Block(statistics, times));
        const Wake wake = session.Wait(1000);
        if (wake != Wake::Timeout) {
            session.Finish(wake);
            return;
        }
        if (redrawInPlace) {
            out.Write(kBackOverBlock);
        }
    }
}

}  // namespace vesk::console
