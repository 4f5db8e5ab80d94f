// The terminal of the live modes: key presses without Enter or echo, Ctrl+C (SIGINT) and
// Ctrl+\ (SIGQUIT) as interrupts, SIGTERM and SIGHUP (window closed, log-off, shut-down) as a
// close, and an interrupt any thread can raise.
//
// When standard input is not a terminal nothing is switched: a byte that arrives still counts as a
// key press, but the end of the input does not, so a monitor started with its input closed runs
// until a signal stops it. A background job's terminal is left alone entirely (neither switched
// nor read), since touching it would stop the process.
//
// The stop signals are taken by blocking them in every thread and reading them from a signal
// descriptor; the engine's threads inherit the mask because the handler is installed before the
// engine starts them. They stay blocked until the process ends, so a second Ctrl+C during the
// cleanup is ignored instead of killing the process halfway.
#pragma once

#include <termios.h>

#include <cstdint>

namespace vesk::console {

enum class Wake { Timeout, Key, Interrupt, Close };

class Terminal {
  public:
    Terminal(int inputDescriptor, int outputDescriptor);
    ~Terminal();  // the input mode as it was
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Key presses without Enter, no echo; Ctrl+C still raises SIGINT. 0 or the Win32 error.
    std::uint32_t PrepareInput();
    // The interrupt any thread may raise and, with catchSignals, the stop signals. 0 or the
    // Win32 error.
    std::uint32_t InstallStopHandler(bool catchSignals);

    // Thread-safe: wakes Wait with Interrupt, as Ctrl+C would.
    void RaiseInterrupt();

    // Up to timeoutMilliseconds (-1: no limit) for a key, an interrupt or a close. Interrupts and
    // closes win over a key that arrived at the same time.
    Wake Wait(int timeoutMilliseconds);

    // Drops keys typed but not yet read.
    void DiscardInput();

    bool OutputIsTerminal() const;

  private:
    int input_;
    int output_;
    bool inputClosed_ = false;
    bool inputSwitched_ = false;
    termios savedMode_{};
    int interrupt_ = -1;  // eventfd
    int signals_ = -1;    // signalfd
};

}  // namespace vesk::console
