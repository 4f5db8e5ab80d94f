#include "tree/attributes_text.h"

namespace nimbrel {

std::string AttributesToText(std::uint32_t Attributes) {
    static constexpr struct {
        std::uint32_t Bit;
        char Letter;
    } kLetters[] = {
        {0x10, 'D'},  {0x20, 'A'},  {0x4, 'S'},    {0x2, 'H'},     {0x1, 'R'},
        {0x100, 'T'}, {0x800, 'C'}, {0x4000, 'E'}, {0x10000, 'V'}, {0x1000, 'O'},
    };
    std::string text;
    for (const auto& letter : kLetters) {
        if ((Attributes & letter.Bit) != 0) {
            text += letter.Letter;
        }
    }
    return text;
}

}  // namespace nimbrel
