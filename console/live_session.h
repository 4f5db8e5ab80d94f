// What the two live modes (monitor and statistics screen) share: console preparation, the engine's
// start, the status callback, the wait for a stop and the endings of each stop path.
//
// The stop paths end on the main thread: a signal or an engine error only wakes it, and it then
// prints the ending that belongs to what stopped it ("Closing console..." for Ctrl+C and engine
// errors, "Shutting down..." for a close, "Performing cleanup..." for a key), stops the engine
// and returns, so the program ends with exit code 0 and the terminal restored.
#pragma once

#include <cstdint>

#include "console_io.h"
#include "stop_flag.h"
#include "terminal.h"
#include "vesk/vesklib.h"

namespace vesk::console {

class Printer;

class LiveSession {
  public:
    explicit LiveSession(const ConsoleIo& io);

    Output& output() { return output_; }
    Terminal& terminal() { return terminal_; }
    // The monitor's printer, reached by the notification callbacks through the client context.
    void SetPrinter(Printer* printer) { printer_ = printer; }

    // "Monitoring.", the input mode and the stop handler; false after reporting a failure.
    bool PrepareConsole();
    // VeskInitialize with this session as the client context; false after reporting a failure.
    bool StartEngine(std::uint32_t mode, VeskNotificationCallback fileCallback,
                     VeskNotificationCallback processCallback);
    // VeskActivate; false after reporting a failure (the engine is then stopped quietly, so no
    // record reaches a printer that is about to go away).
    bool Activate();

    Wake Wait(int timeoutMilliseconds) { return terminal_.Wait(timeoutMilliseconds); }
    // The ending of the stop path that woke the wait (not Timeout).
    void Finish(Wake wake);
    // The ending after a failure while running: the same as a key press.
    void FinishAfterFailure();

    // Callbacks given to VeskInitialize; context and argument are the session.
    static VeskBool StatusCallback(void* context, std::uint32_t event, std::uint32_t value,
                                   std::uintptr_t parameter);
    static void PrintFileOperation(void* argument, const VeskNotification* notification,
                                   const VeskOperationData* data);
    static void PrintProcess(void* argument, const VeskNotification* notification,
                             const VeskOperationData* data);
    static void Ignore(void* argument, const VeskNotification* notification,
                       const VeskOperationData* data);

  private:
    void Cleanup();
    void CloseConsole();
    void ShutDown();

    Output& output_;
    Terminal terminal_;
    bool catchStopSignals_;
    StopFlag stop_;
    Printer* printer_ = nullptr;
};

}  // namespace vesk::console
