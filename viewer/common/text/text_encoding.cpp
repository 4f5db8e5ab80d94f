#include "text/text_encoding.h"

#include <iconv.h>
#include <langinfo.h>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace nimbrel {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool IsUtf8Codeset(std::string_view codeset) {
    return codeset == "UTF-8" || codeset == "utf-8" || codeset == "UTF8" || codeset == "utf8";
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 1 when it is broken,
// so that a broken byte is replaced alone and a whole character is replaced as one.
std::size_t SequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
            return 1;
        }
    }
    return length;
}

}  // namespace

std::string SystemCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

TTextEncoder::TTextEncoder(TTextEncoding encoding) {
    switch (encoding) {
        case TTextEncoding::Ansi:
            Open(SystemCodeset());
            break;
        case TTextEncoding::Utf8:
            FByteOrderMark = "\xEF\xBB\xBF";
            break;
        case TTextEncoding::Utf16LE:
            Open("UTF-16LE");
            FReplacement = std::string_view("\xFD\xFF", 2);
            FByteOrderMark = "\xFF\xFE";
            break;
        default:
            throw std::invalid_argument("Unknown text encoding");
    }
}

TTextEncoder::TTextEncoder(const std::string& codeset) {
    Open(codeset);
}

TTextEncoder::TTextEncoder(TTextEncoder&& other) noexcept
    : FConverter(other.FConverter),
      FReplacement(other.FReplacement),
      FByteOrderMark(other.FByteOrderMark) {
    other.FConverter = nullptr;
}

TTextEncoder::~TTextEncoder() {
    if (FConverter != nullptr) {
        iconv_close(static_cast<iconv_t>(FConverter));
    }
}

void TTextEncoder::Open(const std::string& codeset) {
    if (IsUtf8Codeset(codeset)) {
        return;
    }
    iconv_t converter = iconv_open(codeset.c_str(), "UTF-8");
    if (converter == kNoConverter) {
        throw std::system_error(errno, std::generic_category(),
                                "Cannot convert text to " + codeset);
    }
    FConverter = converter;
}

std::string TTextEncoder::Encode(std::string_view utf8) {
    if (FConverter == nullptr) {
        return std::string(utf8);
    }
    auto converter = static_cast<iconv_t>(FConverter);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);

    std::string out(utf8.size() * 2 + 16, '\0');
    std::size_t used = 0;
    // Makes room for at least `needed` more bytes of output.
    auto reserve = [&](std::size_t needed) {
        if (out.size() - used < needed) {
            out.resize(out.size() * 2 + needed);
        }
    };
    while (!utf8.empty()) {
        char* in = const_cast<char*>(utf8.data());  // iconv does not write through it
        std::size_t in_left = utf8.size();
        char* target = out.data() + used;
        std::size_t target_left = out.size() - used;
        const std::size_t result = iconv(converter, &in, &in_left, &target, &target_left);
        const int error = errno;
        used = static_cast<std::size_t>(target - out.data());
        utf8.remove_prefix(utf8.size() - in_left);
        if (result != static_cast<std::size_t>(-1)) {
            break;
        }
        if (error == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        // EILSEQ or EINVAL: a character the target lacks, or a broken or cut sequence.
        reserve(FReplacement.size());
        out.replace(used, FReplacement.size(), FReplacement);
        used += FReplacement.size();
        utf8.remove_prefix(SequenceLength(utf8));
    }
    out.resize(used);
    return out;
}

}  // namespace nimbrel
