#pragma once
// Keyed hashing for the in-memory hash tables: SipHash under a 16-byte key that is drawn from the
// kernel once per run, so that no input can be crafted to pile its keys into one bucket. No output
// depends on a key: the tables are only read out into ordered results.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fennick::crypto {

// The key's 16 bytes as SipHash reads them: two little-endian 64-bit halves.
struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;

  bool operator==(const HashKey&) const = default;
};

HashKey hash_key_from_bytes(const std::array<unsigned char, 16>& bytes);

// The run's key: 16 bytes from getrandom(2), drawn on the first call and the same afterwards.
// Throws std::runtime_error when the kernel gives none, so that the caller fails closed.
const HashKey& run_hash_key();

// SipHash-c-d (c rounds per word, d to finish) over a stream of 64-bit words: the result is
// SipHash-c-d of the words' little-endian bytes, so a caller that already holds its text as words
// hashes them without copying.
template <int kWordRounds, int kFinalRounds>
class SipHasher {
 public:
  explicit SipHasher(const HashKey& key)
      : v0_(key.k0 ^ 0x736f6d6570736575ULL),
        v1_(key.k1 ^ 0x646f72616e646f6dULL),
        v2_(key.k0 ^ 0x6c7967656e657261ULL),
        v3_(key.k1 ^ 0x7465646279746573ULL) {}

  void add_word(std::uint64_t word) {
    v3_ ^= word;
    for (int i = 0; i < kWordRounds; ++i) round();
    v0_ ^= word;
    ++words_;
  }

  // The hash of the words added so far followed by the `tail_size` (below 8) low-order bytes of
  // `tail`; SipHash's last block.
  std::uint64_t finish_with(std::uint64_t tail, std::size_t tail_size) const {
    return SipHasher(*this).finish_block(tail |
                                         (std::uint64_t{(8 * words_ + tail_size) & 0xff} << 56));
  }

 private:
  void round() {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13);
    v1_ ^= v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17);
    v1_ ^= v2_;
    v2_ = std::rotl(v2_, 32);
  }

  std::uint64_t finish_block(std::uint64_t block) {
    v3_ ^= block;
    for (int i = 0; i < kWordRounds; ++i) round();
    v0_ ^= block;
    v2_ ^= 0xff;
    for (int i = 0; i < kFinalRounds; ++i) round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

  std::uint64_t v0_;
  std::uint64_t v1_;
  std::uint64_t v2_;
  std::uint64_t v3_;
  std::size_t words_ = 0;
};

// The standard strength, for tables off the hot paths.
using SipHasher24 = SipHasher<2, 4>;
// Fewer rounds for the corpus word counts, which hash every capitalised word of the corpus: the
// 2-4 rounds cost that scan a tenth of its time, 1-3 about half of that.
using SipHasher13 = SipHasher<1, 3>;

// SipHash-2-4 of `bytes`.
std::uint64_t siphash24(const HashKey& key, std::string_view bytes);

// The hasher of string-keyed std::unordered_* tables; by default under the run's key.
struct KeyedStringHash {
  using is_transparent = void;

  KeyedStringHash() : key(run_hash_key()) {}
  explicit KeyedStringHash(const HashKey& k) : key(k) {}

  std::size_t operator()(std::string_view s) const {
    return static_cast<std::size_t>(siphash24(key, s));
  }

  HashKey key;
};

}  // namespace fennick::crypto
