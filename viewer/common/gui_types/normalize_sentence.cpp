#include "gui_types/normalize_sentence.h"

namespace nimbrel {

std::string NormalizeSentence(std::string_view text) {
    std::string sentence(text);
    if (sentence.empty() ||
        (sentence.back() != '.' && sentence.back() != '?' && sentence.back() != '!')) {
        sentence += '.';
    }
    return sentence;
}

}  // namespace nimbrel
