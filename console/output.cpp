#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace vesk::console {

namespace {

std::string FormatList(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = FormatList(format, arguments);
    va_end(arguments);
    return text;
}

void Output::Print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = FormatList(format, arguments);
    va_end(arguments);
    Write(text);
}

void DescriptorOutput::Write(std::string_view text) {
    std::lock_guard lock(mutex_);
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor_, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void StringOutput::Write(std::string_view text) {
    std::lock_guard lock(mutex_);
    text_.append(text);
}

std::string StringOutput::Text() {
    std::lock_guard lock(mutex_);
    return text_;
}

void StringOutput::Clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
}

}  // namespace vesk::console
