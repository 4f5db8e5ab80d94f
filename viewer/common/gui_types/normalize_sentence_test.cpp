#include "gui_types/normalize_sentence.h"

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

TEST(NormalizeSentenceTest, EndsEveryMessageAsASentence) {
    const std::pair<const char*, const char*> cases[] = {
        {"Not connected", "Not connected."},
        {"Are you sure?", "Are you sure?"},
        {"Saved.", "Saved."},
        {"Stop!", "Stop!"},
        {"Version 1.0", "Version 1.0."},
        {"", "."},
    };
    for (const auto& [text, sentence] : cases) {
        EXPECT_EQ(NormalizeSentence(text), sentence) << text;
    }
}

}  // namespace
}  // namespace nimbrel
