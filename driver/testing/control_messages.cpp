#include "control_messages.h"

namespace vesk::testing {

std::vector<std::uint8_t> AddRuleMessage(const wire::Guid& id, std::uint32_t processId,
                                         std::uint32_t flags, std::uint32_t category,
                                         std::uint32_t operations, const std::u16string& pattern) {
    return MessageBuilder(wire::VeskCmdAddRule)
        .Raw(&id, sizeof id)
        .U32(processId)
        .U32(flags)
        .U32(category)
        .U32(operations)
        .CountedText(pattern)
        .Build();
}

std::vector<std::uint8_t> ContextBytes(std::uint32_t options, std::uint32_t categories,
                                       std::uint32_t thread1, std::uint32_t thread2) {
    const wire::ConnectionContext context{options, categories, thread1, thread2};
    const auto* p = reinterpret_cast<const std::uint8_t*>(&context);
    return std::vector<std::uint8_t>(p, p + sizeof context);
}

}  // namespace vesk::testing
