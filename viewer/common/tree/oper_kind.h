// Kinds of recorded file operations, sets of them, and their display names.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace nimbrel {

// Streamed as the ordinal. A server may send an ordinal this viewer does not know; it is kept
// as it is (the underlying type is fixed, so every 32-bit value is a valid TOperKind).
enum TOperKind : std::int32_t {
    okNone,
    okCreate,
    okRead,
    okWrite,
    okDelete,
    okMove,
    okLink,
    okSecurity,
    okAttributes,
};

inline constexpr int kOperKindCount = 9;

// "Any", "Create", ... "Attributes" by ordinal; the empty text for an unknown ordinal.
std::string_view OperKindName(TOperKind Kind);

// A set of operation kinds, streamed as its bit mask (bit n for the kind of ordinal n).
class TOperKinds {
  public:
    constexpr TOperKinds() = default;
    constexpr TOperKinds(std::initializer_list<TOperKind> Kinds) {
        for (const TOperKind kind : Kinds) {
            Include(kind);
        }
    }

    constexpr bool Contains(TOperKind Kind) const {
        return Kind >= 0 && Kind < 32 && (FMask >> Kind & 1) != 0;
    }
    constexpr void Include(TOperKind Kind) {
        if (Kind >= 0 && Kind < 32) {
            FMask |= std::uint32_t{1} << Kind;
        }
    }
    constexpr void Exclude(TOperKind Kind) {
        if (Kind >= 0 && Kind < 32) {
            FMask &= ~(std::uint32_t{1} << Kind);
        }
    }
    constexpr bool Empty() const { return FMask == 0; }

    // Bits beyond the known kinds are kept, so a set read from the server is written back as it
    // came.
    constexpr std::int32_t Mask() const { return static_cast<std::int32_t>(FMask); }
    static constexpr TOperKinds FromMask(std::int32_t Mask) {
        TOperKinds kinds;
        kinds.FMask = static_cast<std::uint32_t>(Mask);
        return kinds;
    }

    friend constexpr bool operator==(TOperKinds, TOperKinds) = default;

  private:
    std::uint32_t FMask = 0;
};

}  // namespace nimbrel
