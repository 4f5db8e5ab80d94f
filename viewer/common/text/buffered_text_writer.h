#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "text/text_encoding.h"

namespace nimbrel {

// Writes UTF-8 text to a stream it does not own, encoded and collected in a buffer of a fixed
// size. Lines end with CR LF.
//
// Write errors are not lost: every transfer to the stream is checked and a failure raises
// std::ios_base::failure("Stream write error"). Destruction writes what is still buffered but
// cannot raise, so whoever needs to know that everything arrived calls Flush first.
class TBufferedTextWriter {
  public:
    // When `byte_order_mark` is set and `output` is at position 0, the encoding's byte-order mark
    // goes to the stream at once.
    TBufferedTextWriter(std::ostream& output, TTextEncoder encoder, std::size_t buffer_size,
                        bool byte_order_mark);
    TBufferedTextWriter(const TBufferedTextWriter&) = delete;
    TBufferedTextWriter& operator=(const TBufferedTextWriter&) = delete;
    virtual ~TBufferedTextWriter();

    void Write(std::string_view text);
    void WriteLine(std::string_view text = {});
    // Hands the buffer to the stream and flushes the stream.
    void Flush();

    // True when the stream holds at least one byte, counting what this writer has written
    // (byte-order mark included) even while it is still buffered.
    bool StreamHasContent() const { return FStartPosition > 0 || FWritten > 0; }

  private:
    void Transfer(std::string_view bytes);

    std::ostream& FOutput;
    TTextEncoder FEncoder;
    std::size_t FBufferSize;
    std::string FBuffer;
    std::uint64_t FStartPosition = 0;
    std::uint64_t FWritten = 0;
};

}  // namespace nimbrel
