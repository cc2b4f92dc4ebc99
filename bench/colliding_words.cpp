// Prints capitalised 16-byte words, one a line, that all land in one probe run of the allowlist's
// corpus word-count table as it was before its hash was keyed: a fixed multiply-xor over the
// case-folded 8-byte words, whose table index is the low bits of that hash. Every such word's
// index falls in the first 1024 slots at every table size up to the one the words fill, so each
// insertion walks the whole run before it. With --random the words have the same shape but are
// not chosen: the yardstick that keyed hashing must match.
//
//   colliding_words [COUNT] [--random]        (COUNT defaults to 150000)
//
// The words are "Q" and 15 lower-case letters or digits; distinct, also after case folding, and
// the same on every run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "text/ascii_words.h"

namespace {

using fennick::text::fold_ascii_capitals;
using fennick::text::load_word;

constexpr std::size_t kWordBytes = 16;
// The run the words share: this many slots at the start of the table.
constexpr std::uint32_t kRunSlots = 1024;

// The table's former hash of a 16-byte spelling (two folded words), reduced to the 31 bits it
// kept per slot; the index was these bits under the table's mask.
std::uint32_t unkeyed_slot_hash(const char* word) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ kWordBytes;
  for (std::size_t pos = 0; pos < kWordBytes; pos += 8) {
    hash = (hash ^ fold_ascii_capitals(load_word(word + pos))) * 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 31;
  }
  hash ^= hash >> 30;
  hash *= 0x94D049BB133111EBULL;
  hash ^= hash >> 31;
  return static_cast<std::uint32_t>(hash ^ (hash >> 32)) & 0x7FFFFFFFU;
}

// The table's size once it holds `count` words: at least 1024 slots, doubled to stay at most 70%
// full.
std::uint64_t final_table_size(std::uint64_t count) {
  std::uint64_t size = 1024;
  while (count * 10 > size * 7) size *= 2;
  return size;
}

// Spells `n` in base 36 into the 15 bytes after the "Q", so that distinct numbers give distinct
// words.
void spell(std::uint64_t n, char* word) {
  constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
  word[0] = 'Q';
  for (std::size_t i = kWordBytes - 1; i >= 1; --i) {
    word[i] = kDigits[n % 36];
    n /= 36;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t count = 150000;
  bool random = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--random") {
      random = true;
    } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string_view::npos) {
      count = std::strtoull(argv[i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: colliding_words [COUNT] [--random]\n");
      return 2;
    }
  }
  const std::uint64_t mask = final_table_size(count) - 1;
  char word[kWordBytes + 1];
  word[kWordBytes] = '\n';
  // The candidates are spread over the number space by an odd multiplier, so that the random
  // words are not near-neighbours of each other either.
  std::uint64_t printed = 0;
  for (std::uint64_t n = 0; printed < count; ++n) {
    spell(n * 0x9E3779B97F4A7C15ULL, word);
    if (!random && (unkeyed_slot_hash(word) & mask) >= kRunSlots) continue;
    std::fwrite(word, 1, sizeof word, stdout);
    ++printed;
  }
  return 0;
}
