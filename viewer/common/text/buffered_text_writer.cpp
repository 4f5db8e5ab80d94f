#include "text/buffered_text_writer.h"

#include <ios>
#include <utility>

namespace nimbrel {

TBufferedTextWriter::TBufferedTextWriter(std::ostream& output, TTextEncoder encoder,
                                         std::size_t buffer_size, bool byte_order_mark)
    : FOutput(output), FEncoder(std::move(encoder)), FBufferSize(buffer_size) {
    FBuffer.reserve(FBufferSize);
    // A stream that cannot tell its position (a pipe) gets no byte-order mark and counts as empty.
    const std::streamoff position = FOutput.tellp();
    FStartPosition = position < 0 ? 0 : static_cast<std::uint64_t>(position);
    if (byte_order_mark && position == 0 && !FEncoder.ByteOrderMark().empty()) {
        Transfer(FEncoder.ByteOrderMark());
        FWritten += FEncoder.ByteOrderMark().size();
    }
}

TBufferedTextWriter::~TBufferedTextWriter() {
    try {
        Flush();
    } catch (...) {
        // Nothing can be reported from here; callers that care have called Flush already.
    }
}

void TBufferedTextWriter::Write(std::string_view text) {
    const std::string bytes = FEncoder.Encode(text);
    FWritten += bytes.size();
    FBuffer += bytes;
    if (FBuffer.size() >= FBufferSize) {
        Transfer(FBuffer);
        FBuffer.clear();
    }
}

void TBufferedTextWriter::WriteLine(std::string_view text) {
    Write(text);
    Write("\r\n");
}

void TBufferedTextWriter::Flush() {
    if (!FBuffer.empty()) {
        // The buffer is emptied first, so a failed transfer is not repeated by the destructor.
        const std::string bytes = std::exchange(FBuffer, {});
        Transfer(bytes);
    }
    FOutput.flush();
    if (!FOutput) {
        throw std::ios_base::failure("Stream write error");
    }
}

void TBufferedTextWriter::Transfer(std::string_view bytes) {
    FOutput.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FOutput.flush();
    if (!FOutput) {
        throw std::ios_base::failure("Stream write error");
    }
}

}  // namespace nimbrel
