#include "report/csv_report_writer.h"

#include "errors/assertion_failed.h"
#include "locale/locale_format.h"

namespace nimbrel {

namespace {

constexpr std::size_t kBufferSize = 4096;

TTextEncoder ChosenEncoder() {
    Assert(CSVEncoding <= static_cast<std::uint8_t>(TTextEncoding::Utf16LE));
    return TTextEncoder(static_cast<TTextEncoding>(CSVEncoding));
}

std::string Utf8Of(char16_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;  // half a surrogate pair is no character
    }
    std::string text;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

std::string ChosenSeparator() {
    return CSVSeparator != 0 ? Utf8Of(CSVSeparator) : CurrentLocaleFormat().list_separator;
}

}  // namespace

TCSVReportWriter::TCSVReportWriter(std::ostream& output)
    : FSeparator(ChosenSeparator()), FTextWriter(output, ChosenEncoder(), kBufferSize, true) {}

void TCSVReportWriter::NewGroup(std::string_view caption) {
    if (FTextWriter.StreamHasContent() || !caption.empty()) {
        FTextWriter.WriteLine(caption);
    }
}

void TCSVReportWriter::AddHeadings(std::span<const std::string> strings) {
    FTitleCount = strings.size();
    for (std::size_t i = 0; i < strings.size(); ++i) {
        if (i > 0) {
            FTextWriter.Write(FSeparator);
        }
        WriteQuoted(strings[i]);
    }
    FTextWriter.WriteLine();
}

void TCSVReportWriter::NewRow() {
    FValueCount = 0;
}

void TCSVReportWriter::EndRow() {
    FTextWriter.WriteLine();
}

void TCSVReportWriter::AddValue(std::string_view value) {
    // Checked before writing: a refused value leaves the row as it was.
    Assert(FValueCount < FTitleCount);
    // A separator or a line break inside an unquoted value would shift every later column or
    // split the row, so those are quoted as well as spaces and double quotes.
    const bool quote = value.find_first_of(" \"\r\n") != std::string_view::npos ||
                       (!FSeparator.empty() && value.find(FSeparator) != std::string_view::npos);
    if (quote) {
        WriteQuoted(value);
    } else {
        FTextWriter.Write(value);
    }
    ++FValueCount;
    if (FValueCount < FTitleCount) {
        FTextWriter.Write(FSeparator);
    }
}

void TCSVReportWriter::NewTotal() {
    FValueCount = 0;
}

void TCSVReportWriter::EndTotal() {
    FTextWriter.WriteLine();
}

void TCSVReportWriter::Close() {
    FTextWriter.Flush();
}

void TCSVReportWriter::WriteQuoted(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    FTextWriter.Write(quoted);
}

}  // namespace nimbrel
