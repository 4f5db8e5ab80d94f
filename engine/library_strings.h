// The library's string descriptors and the text blocks it hands out (released with
// VeskDeleteString, VeskFreeName or VeskFreeString, all through std::free).
#pragma once

#include <cstdint>
#include <string>

#include "vesk/vesklib.h"

namespace vesk::engine {

std::size_t TextLength(const VeskChar* text);  // characters up to the NUL

bool HoldsBuffer(const VeskString& s);  // pointer set and capacity not 0
bool IsLibraryBuffer(const VeskString& s);

// Frees a library buffer and leaves the descriptor empty; caller buffers are left alone.
void ReleaseLibraryBuffer(VeskString* s);

// A NUL-terminated copy of text in a new block; nullptr when memory ran out.
VeskChar* CopyText(const std::u16string& text);

}  // namespace vesk::engine
