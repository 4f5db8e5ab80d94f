#include "report/html_writer.h"

#include <stdexcept>
#include <utility>

namespace nimbrel {

std::string EscapeHTML(std::string_view text) {
    if (text.empty()) {
        return "&nbsp;";
    }
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '"':
                escaped += "&quot;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

THTMLWriter::THTMLWriter(std::ostream& output, std::size_t buffer_size)
    : TBufferedTextWriter(output, TTextEncoder(TTextEncoding::Utf8), buffer_size, true) {
    WriteLine("<!DOCTYPE html>");
}

THTMLWriter::~THTMLWriter() {
    while (!FTags.empty()) {
        CloseTagAfterError();
    }
}

void THTMLWriter::AddTag(std::string_view tag, std::string_view attrs) {
    AddClosedTag(tag, attrs);
    FTags.emplace_back(tag);
}

void THTMLWriter::AddClosedTag(std::string_view tag, std::string_view attrs) {
    std::string line = "<";
    line += tag;
    if (!attrs.empty()) {
        line += ' ';
        line += attrs;
    }
    line += '>';
    WriteIndented(FTags.size(), line);
}

void THTMLWriter::AddText(std::string_view tag, std::string_view text, std::string_view attrs) {
    AddTag(tag, attrs);
    try {
        WriteIndented(FTags.size(), EscapeHTML(text));
    } catch (...) {
        CloseTagAfterError();
        throw;
    }
    CloseTag();
}

void THTMLWriter::AddHead(std::string_view title, std::string_view style) {
    AddTag("head");
    try {
        AddClosedTag("meta", "charset=\"UTF-8\"");
        AddText("title", title);
        AddText("style", style, "type=\"text/css\"");
    } catch (...) {
        CloseTagAfterError();
        throw;
    }
    CloseTag();
}

void THTMLWriter::CloseTag() {
    if (FTags.empty()) {
        throw std::out_of_range("Unbalanced stack or queue operation");
    }
    const std::string tag = std::move(FTags.back());
    FTags.pop_back();
    WriteIndented(FTags.empty() ? 0 : FTags.size() - 1, "</" + tag + ">");
}

void THTMLWriter::Close() {
    while (!FTags.empty()) {
        CloseTag();
    }
    Flush();
}

void THTMLWriter::WriteIndented(std::size_t depth, std::string_view text) {
    Write(std::string(depth, ' '));
    WriteLine(text);
}

void THTMLWriter::CloseTagAfterError() noexcept {
    try {
        CloseTag();
    } catch (...) {
        // The element is off the stack either way; the first error is the one that counts.
    }
}

}  // namespace nimbrel
