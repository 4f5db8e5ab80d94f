// load and unload: the driver through the filter manager, after the privilege that needs.
#include "engine_commands.h"
#include "platform/error_table.h"
#include "vesk/vesklib.h"

namespace vesk::console {

namespace {

constexpr std::uint32_t kLoadDriverPrivilege = 15;

void PrintCodes(Output& out, std::uint32_t code) {
    const std::uint32_t hresult =
        code > 0 ? static_cast<std::uint32_t>(platform::HResultFromWin32(code)) : code;
    out.Print("       Win32 error code = %u, HRESULT = 0x%08X\r\n", code, hresult);
}

// The privilege first, then the operation.
void Run(Output& out, VeskBool (*operation)(), const char* failure, const char* success) {
    if (!VeskEnablePrivilege(kLoadDriverPrivilege)) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write("ERROR: couldn't enable 'load driver' privilege.\r\n");
        PrintCodes(out, code);
        return;
    }
    if (!operation()) {
        const std::uint32_t code = VeskGetErrorCode();
        out.Write(failure);
        PrintCodes(out, code);
        return;
    }
    out.Write(success);
}

}  // namespace

void RunLoad(Output& out) {
    out.Write("Starting engine...\r\n");
    Run(out, &VeskLoad, "ERROR: filtering engine couldn't be loaded.\r\n",
        "Engine started successfully.\r\n");
}

void RunUnload(Output& out) {
    out.Write("Stopping engine...\r\n");
    Run(out, &VeskUnload, "ERROR: filtering engine couldn't be unloaded.\r\n",
        "Engine stopped successfully.\r\n");
}

}  // namespace vesk::console
