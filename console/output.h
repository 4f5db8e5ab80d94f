// Where the program's text goes. Every piece of text is written whole, under one lock, so a block
// the printer writes from the library's dispatch thread never interleaves with a line of the main
// thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vesk::console {

class Output {
  public:
    virtual ~Output() = default;
    virtual void Write(std::string_view text) = 0;

    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// A file descriptor (standard output in the program). Failed writes are dropped: a console that
// went away (a closed pipe, a hung-up terminal) must not stop the cleanup that follows.
class DescriptorOutput final : public Output {
  public:
    explicit DescriptorOutput(int descriptor) : descriptor_(descriptor) {}
    void Write(std::string_view text) override;

  private:
    std::mutex mutex_;
    int descriptor_;
};

// Collects everything written, for tests.
class StringOutput final : public Output {
  public:
    void Write(std::string_view text) override;
    std::string Text();
    void Clear();

  private:
    std::mutex mutex_;
    std::string text_;
};

// printf formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vesk::console
