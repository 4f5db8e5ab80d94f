// gzip bodies of the HTTP commands (RFC 1952), through zlib.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace nimbrel {

// gzip data that is corrupt or cut short.
class ECompressionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Deflate at level 9 with the gzip wrapper: 32 KiB window, memory level 8, default strategy.
std::string GzipCompress(std::string_view Bytes);

// Inflates gzip data only (no zlib or raw deflate streams); several members in a row are
// concatenated. Empty input gives empty output.
std::string GzipDecompress(std::string_view Bytes);

}  // namespace nimbrel
