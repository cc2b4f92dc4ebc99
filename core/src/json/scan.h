#pragma once
// Eight bytes at a time over string text: strings are mostly long runs of plain characters.

#include <cstdint>

namespace fennick::json::scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline std::uint64_t has_zero_byte(std::uint64_t w) { return (w - kOnes) & ~w & kHighBits; }

// Whether any of the eight bytes is a quote, a backslash or a control character: the bytes that
// end a plain run when reading a string and that need an escape when writing one.
inline bool has_string_special(std::uint64_t w) {
  return (has_zero_byte(w ^ (kOnes * '"')) | has_zero_byte(w ^ (kOnes * '\\')) |
          ((w - kOnes * 0x20) & ~w & kHighBits)) != 0;
}

}  // namespace fennick::json::scan
