#include "http_comm/gzip.h"

#include <zlib.h>

#include <memory>

namespace nimbrel {
namespace {

constexpr int kGzipWindowBits = 15 + 16;  // 32 KiB window, gzip wrapper
constexpr std::size_t kChunk = 64 * 1024;

Bytef* Input(std::string_view Bytes) {
    return reinterpret_cast<Bytef*>(const_cast<char*>(Bytes.data()));
}

}  // namespace

std::string GzipCompress(std::string_view Bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw ECompressionError("gzip compression cannot start");
    }
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, deflateEnd);
    std::string out(deflateBound(&stream, static_cast<uLong>(Bytes.size())), '\0');
    stream.next_in = Input(Bytes);
    stream.avail_in = static_cast<uInt>(Bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    // deflateBound leaves room for everything, so one call finishes the stream.
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
        throw ECompressionError("gzip compression failed");
    }
    out.resize(stream.total_out);
    return out;
}

std::string GzipDecompress(std::string_view Bytes) {
    std::string out;
    if (Bytes.empty()) {
        return out;
    }
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
        throw ECompressionError("gzip decompression cannot start");
    }
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, inflateEnd);
    stream.next_in = Input(Bytes);
    stream.avail_in = static_cast<uInt>(Bytes.size());
    for (;;) {
        const std::size_t used = out.size();
        out.resize(used + kChunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        stream.avail_out = static_cast<uInt>(kChunk);
        const int result = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + kChunk - stream.avail_out);
        if (result == Z_STREAM_END) {
            if (stream.avail_in == 0) {
                return out;
            }
            inflateReset(&stream);  // another member follows
        } else if (result == Z_BUF_ERROR && stream.avail_in == 0) {
            throw ECompressionError("gzip data is cut short");
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            throw ECompressionError(std::string("gzip data is corrupt: ") +
                                    (stream.msg != nullptr ? stream.msg : "unknown error"));
        }
    }
}

}  // namespace nimbrel
