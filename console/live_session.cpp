#include "live_session.h"

#include "printer.h"

namespace vesk::console {

LiveSession::LiveSession(const ConsoleIo& io)
    : output_(io.output),
      terminal_(io.inputDescriptor, io.outputDescriptor),
      catchStopSignals_(io.catchStopSignals) {}

bool LiveSession::PrepareConsole() {
    output_.Write("Monitoring.\r\n  Preparing console...\r\n");
    if (const std::uint32_t error = terminal_.PrepareInput(); error != 0) {
        output_.Write("  ERROR: console mode could not be changed.\r\n");
        output_.Print("         Win32 error code = %u\r\n", error);
        return false;
    }
    if (const std::uint32_t error = terminal_.InstallStopHandler(catchStopSignals_); error != 0) {
        output_.Write("  ERROR: control handler was not installed.\r\n");
        output_.Print("         Win32 error code = %u\r\n", error);
        return false;
    }
    return true;
}

bool LiveSession::StartEngine(std::uint32_t mode, VeskNotificationCallback fileCallback,
                              VeskNotificationCallback processCallback) {
    output_.Write("  Initializing engine...\r\n");
    if (!VeskInitialize(mode, &LiveSession::StatusCallback, fileCallback, processCallback, this)) {
        output_.Write("  ERROR: initialization failed.\r\n");
        output_.Print("         Win32 error code = %u.\r\n", VeskGetErrorCode());
        return false;
    }
    output_.Write("  Initialized successfully.\r\n");
    return true;
}

bool LiveSession::Activate() {
    output_.Write("  Activating engine...\r\n");
    if (!VeskActivate()) {
        const std::uint32_t error = VeskGetErrorCode();
        output_.Write("  ERROR: filtering engine was not activated.\r\n");
        output_.Print("         Win32 error code = %u\r\n", error);
        stop_.TrySet(StopReason::Failure);
        VeskUninitialize();
        return false;
    }
    return true;
}

void LiveSession::Cleanup() {
    output_.Write("Performing cleanup...\r\n");
    VeskUninitialize();
    output_.Write("Done.\r\n");
}

void LiveSession::CloseConsole() {
    output_.Write("Closing console...\r\nPerforming cleanup tasks...\r\n");
    VeskUninitialize();
    output_.Write("Done.\r\n");
}

void LiveSession::ShutDown() {
    output_.Write("Shutting down...\r\n");
    VeskUninitialize();
    output_.Write("Done.\r\n");
}

void LiveSession::Finish(Wake wake) {
    switch (wake) {
        case Wake::Key:
            if (stop_.TrySet(StopReason::Key)) {
                terminal_.DiscardInput();
                Cleanup();
                return;
            }
            // An engine error got there first and asked for the Ctrl+C ending.
            CloseConsole();
            return;
        case Wake::Interrupt:
            stop_.TrySet(StopReason::Interrupt);
            CloseConsole();
            return;
        case Wake::Close:
            stop_.TrySet(StopReason::Close);
            ShutDown();
            return;
        case Wake::Timeout:
            return;
    }
}

void LiveSession::FinishAfterFailure() {
    if (stop_.TrySet(StopReason::Failure)) {
        terminal_.DiscardInput();
        Cleanup();
        return;
    }
    CloseConsole();
}

VeskBool LiveSession::StatusCallback(void* context, std::uint32_t event, std::uint32_t value,
                                     std::uintptr_t) {
    auto* session = static_cast<LiveSession*>(context);
    if ((event != VeskEventPortFailed && event != VeskEventReceiveError) ||
        session->stop_.IsSet()) {
        return 0;
    }
    if (!session->stop_.TrySet(StopReason::EngineError)) {
        return 1;
    }
    if (event == VeskEventReceiveError) {
        session->output_.Print("ERROR: error notification, code = %u.\r\n", value);
    }
    session->terminal_.RaiseInterrupt();
    return 0;
}

void LiveSession::PrintFileOperation(void* argument, const VeskNotification* notification,
                                     const VeskOperationData* data) {
    static_cast<LiveSession*>(argument)->printer_->PrintFileOperation(*notification, *data);
}

void LiveSession::PrintProcess(void* argument, const VeskNotification* notification,
                               const VeskOperationData* data) {
    static_cast<LiveSession*>(argument)->printer_->PrintProcess(*notification, *data);
}

void LiveSession::Ignore(void*, const VeskNotification*, const VeskOperationData*) {}

}  // namespace vesk::console
