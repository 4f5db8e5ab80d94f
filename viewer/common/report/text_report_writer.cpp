#include "report/text_report_writer.h"

#include <algorithm>
#include <stdexcept>

#include "errors/assertion_failed.h"

namespace nimbrel {

namespace {

constexpr std::size_t kBufferSize = 1024;

// Characters in UTF-8 text: every byte that does not continue a sequence starts one.
std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

TTextReportWriter::TTextReportWriter(std::ostream& output)
    : FTextWriter(output, TTextEncoder(TTextEncoding::Utf8), kBufferSize, false) {}

void TTextReportWriter::NewGroup(std::string_view caption) {
    if (FTextWriter.StreamHasContent() || !caption.empty()) {
        FTextWriter.WriteLine(caption);
    }
}

void TTextReportWriter::EndGroup() {
    std::vector<std::size_t> widths;
    for (const auto& column : FTextBuffer) {
        Assert(column.size() == FTextBuffer.front().size());
        std::size_t width = 0;
        for (const std::string& text : column) {
            width = std::max(width, CharacterCount(text));
        }
        widths.push_back(width);
    }
    const std::size_t lines = FTextBuffer.empty() ? 0 : FTextBuffer.front().size();
    for (std::size_t r = 0; r < lines; ++r) {
        std::string line;
        for (std::size_t i = 0; i < FTextBuffer.size(); ++i) {
            const std::string& text = FTextBuffer[i][r];
            const std::size_t width = widths[i] + (i > 0 ? 1 : 0);
            line.append(width - std::min(width, CharacterCount(text)), ' ');
            line += text;
        }
        if (r == 0) {
            FTextWriter.WriteLine(line);
            line.clear();
            for (std::size_t i = 0; i < FTextBuffer.size(); ++i) {
                if (i > 0) {
                    line += ' ';
                }
                line.append(widths[i], '=');
            }
        }
        FTextWriter.WriteLine(line);
    }
    FTextBuffer.clear();
}

void TTextReportWriter::AddHeadings(std::span<const std::string> strings) {
    FTitleCount = strings.size();
    for (const std::string& heading : strings) {
        FTextBuffer.push_back({heading});
    }
}

void TTextReportWriter::NewRow() {
    FValueCount = 0;
}

void TTextReportWriter::AddValue(std::string_view value) {
    if (FValueCount >= FTextBuffer.size()) {
        throw std::out_of_range("List index out of bounds (" + std::to_string(FValueCount) + ")");
    }
    FTextBuffer[FValueCount].emplace_back(value);
    ++FValueCount;
}

void TTextReportWriter::NewTotal() {
    FValueCount = 0;
}

void TTextReportWriter::Close() {
    FTextWriter.Flush();
}

}  // namespace nimbrel
