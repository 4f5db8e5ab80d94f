// In-memory byte streams. The XML documents of the viewer are saved to and loaded from these.
// TBytesStream is the byte-array stream of clipboard transfers; the XML layer tells the two kinds
// apart, because volatile properties are left out of byte-array streams.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbrel {

class TMemoryStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string_view Bytes) : FData(Bytes) {}
    virtual ~TMemoryStream() = default;

    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    std::size_t Size() const { return FData.size(); }
    std::size_t Position() const { return FPosition; }
    void Seek(std::size_t Position) { FPosition = Position; }

    // Sets the size; the position stays where it was (it may lie past the end).
    void SetSize(std::size_t Size) { FData.resize(Size); }
    void Clear();

    // Writes at the position (growing the stream and filling any gap with zero bytes) and moves
    // the position past the written bytes.
    void Write(const void* Buffer, std::size_t Count);
    void Write(std::string_view Bytes) { Write(Bytes.data(), Bytes.size()); }

    // The whole content, independent of the position.
    std::string_view Bytes() const { return FData; }

  private:
    std::string FData;
    std::size_t FPosition = 0;
};

// The byte-array stream. It differs from TMemoryStream only in its kind.
class TBytesStream : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
};

}  // namespace nimbrel
