#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "text/buffered_text_writer.h"

namespace nimbrel {

// A text made safe as HTML element content: an empty text becomes "&nbsp;" (so an empty cell keeps
// its frame), and the double quote, ampersand, less-than and greater-than signs become "&quot;",
// "&amp;", "&lt;" and "&gt;". Line breaks are kept.
std::string EscapeHTML(std::string_view text);

// Writes HTML in UTF-8 as whole lines ending with CR LF, keeping a stack of the open elements and
// indenting every line by the depth of that stack. Tag names and attribute texts are written as
// given, so they must come from the program, never from data; texts are always escaped.
//
// What must stay true: every opened element is closed exactly once, on every path: the helpers
// that open and close close again when writing in between fails, and Close (or destruction)
// closes whatever is still open.
class THTMLWriter : public TBufferedTextWriter {
  public:
    // Writes the byte-order mark when `output` is at position 0, then "<!DOCTYPE html>".
    THTMLWriter(std::ostream& output, std::size_t buffer_size);
    ~THTMLWriter() override;

    // A line "<Tag Attrs>" at the current depth; the element stays open.
    void AddTag(std::string_view tag, std::string_view attrs = {});
    // The same line for an element without content (nothing stays open).
    void AddClosedTag(std::string_view tag, std::string_view attrs = {});
    // An element holding one escaped text, on a line of its own one level deeper.
    void AddText(std::string_view tag, std::string_view text, std::string_view attrs = {});
    // The document head: character set, title and style sheet.
    void AddHead(std::string_view title, std::string_view style);
    // Closes the innermost open element. Its closing line is indented one space less than its
    // opening line (none at the outermost level). Raises std::out_of_range("Unbalanced stack or
    // queue operation") when nothing is open.
    void CloseTag();
    // Closes every open element and flushes.
    void Close();

    // Closes the innermost element while an error is already on its way; its own failure is
    // dropped so that the first one reaches the caller.
    void CloseTagAfterError() noexcept;

    std::size_t Depth() const { return FTags.size(); }

  private:
    void WriteIndented(std::size_t depth, std::string_view text);

    std::vector<std::string> FTags;
};

}  // namespace nimbrel
