// Any byte string sent as a control message gets a status: never a crash, never a read outside
// the message or the output buffer. The first byte chooses the output buffer's length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "command_dispatcher.h"
#include "platform/kernel/pool_accounting.h"

namespace {

struct NullRules : vesk::driver::RuleCommands {
    kernel::NTSTATUS ResolvePendingRules() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS AddRule(const vesk::driver::AddRuleRequest& r) override {
        return r.pattern != nullptr && r.pattern->Buffer[r.pattern->Length / 2] != 0
                   ? kernel::STATUS_UNSUCCESSFUL
                   : kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS DeleteRule(std::uint32_t, const kernel::UnicodeString*) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS ClearRules(std::uint32_t) override { return kernel::STATUS_SUCCESS; }
};

struct TouchEverything : vesk::driver::NameCommands, vesk::driver::FileCommands {
    kernel::NTSTATUS ResolveName(const vesk::driver::ResolveNameRequest& r,
                                 std::uint32_t* replyLength) override {
        // Touch every byte the dispatcher promised: the whole reply area and the name.
        if (!r.reply.empty()) {
            std::memset(r.reply.data(), 0, r.reply.size());
        }
        volatile std::uint8_t sink = 0;
        for (std::uint16_t i = 0; i < r.name->Length; ++i) {
            sink = sink + reinterpret_cast<const std::uint8_t*>(r.name->Buffer)[i];
        }
        *replyLength = static_cast<std::uint32_t>(r.reply.size());
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS Execute(std::uint32_t, std::span<const std::uint8_t> m,
                             std::span<std::uint8_t> o, std::uint32_t* replyLength) override {
        volatile std::uint8_t sink = 0;
        for (std::uint8_t b : m) {
            sink = sink + b;
        }
        if (!o.empty()) {
            std::memset(o.data(), 0xA5, o.size());
        }
        *replyLength = static_cast<std::uint32_t>(o.size());
        return kernel::STATUS_SUCCESS;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vesk::driver::DriverState* driver = [] {
        auto* d = new vesk::driver::DriverState();
        static NullRules rules;
        static TouchEverything other;
        d->rules = &rules;
        d->names = &other;
        d->files = &other;
        return d;
    }();
    if (size == 0) {
        return 0;
    }
    // The output length: small values hit the exact sizes (8, 24, 64, 88, 89), large ones the rest.
    const std::uint32_t outputLength = data[0] < 128 ? data[0] : (data[0] - 127u) * 512u;
    std::vector<std::uint8_t> input(data + 1, data + size);  // exactly sized: ASan sees overreads
    std::vector<std::uint8_t> output(outputLength);
    if (outputLength >= 8 && input.size() >= 4) {
        // Let resolve-name capacities come from the input too, so the capacity check is reached.
        std::memcpy(output.data() + 4, input.data(), 4);
    }
    std::uint32_t reply = 0;
    vesk::driver::DispatchControlMessage(*driver, input.empty() ? nullptr : input.data(),
                                         static_cast<std::uint32_t>(input.size()),
                                         output.empty() ? nullptr : output.data(), outputLength,
                                         &reply);
    if (reply > outputLength) {
        __builtin_trap();
    }
    return 0;
}
