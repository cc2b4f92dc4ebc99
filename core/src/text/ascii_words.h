#pragma once
// ASCII text eight bytes at a time: loading a word and folding its capitals, for scans and hashes
// that must not copy or lower-case the text first.

#include <cstdint>
#include <cstring>

namespace fennick::text {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = kOnes * 0x80;

// Eight bytes with "A" to "Z" turned into "a" to "z"; every other byte, non-ASCII ones included,
// stays as it is.
constexpr std::uint64_t fold_ascii_capitals(std::uint64_t word) {
  const std::uint64_t low7 = word & ~kHighBits;
  const std::uint64_t at_least_a = low7 + kOnes * (0x80 - 'A');
  const std::uint64_t above_z = low7 + kOnes * (0x80 - 'Z' - 1);
  const std::uint64_t capitals = at_least_a & ~above_z & ~word & kHighBits;
  return word | (capitals >> 2);
}

// The eight bytes at p, in the machine's byte order.
inline std::uint64_t load_word(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace fennick::text
