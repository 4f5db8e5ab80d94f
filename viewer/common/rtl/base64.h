// Base64 in the MIME form (RFC 2045): the standard alphabet, "=" fill characters at the end,
// lines of at most 76 characters separated by CR LF (none after the last line).
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

std::string Base64Encode(std::string_view Bytes);

// Characters outside the alphabet (line breaks and anything else) are ignored, as RFC 2045 asks
// of decoders; decoding ends at the first "=". A trailing group of a single character carries
// less than a byte and is dropped.
std::string Base64Decode(std::string_view Text);

}  // namespace nimbrel
