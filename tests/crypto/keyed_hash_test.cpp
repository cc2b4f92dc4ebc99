#include "crypto/keyed_hash.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <array>
#include <cstdint>
#include <string>

namespace fennick::crypto {
namespace {

std::array<unsigned char, 16> counting_key_bytes(unsigned char first) {
  std::array<unsigned char, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(first + i);
  return bytes;
}

// Bytes 00, 01, 02, ... as the published SipHash vectors use them.
std::string counting_message(std::size_t length) {
  std::string message;
  for (std::size_t i = 0; i < length; ++i) message += static_cast<char>(i);
  return message;
}

std::uint64_t libsodium_siphash24(const std::array<unsigned char, 16>& key, std::string_view m) {
  std::array<unsigned char, crypto_shorthash_siphash24_BYTES> out{};
  crypto_shorthash_siphash24(out.data(), reinterpret_cast<const unsigned char*>(m.data()), m.size(),
                             key.data());
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < out.size(); ++i) value |= std::uint64_t{out[i]} << (8 * i);
  return value;
}

// SipHash through the word interface: whole little-endian words, then the tail.
template <class Hasher>
std::uint64_t hash_by_words(const HashKey& key, std::string_view m) {
  Hasher hasher(key);
  std::uint64_t word = 0;
  std::size_t filled = 0;
  for (const char c : m) {
    word |= std::uint64_t{static_cast<unsigned char>(c)} << (8 * filled);
    if (++filled < 8) continue;
    hasher.add_word(word);
    word = 0;
    filled = 0;
  }
  return hasher.finish_with(word, filled);
}

TEST(SipHash, PublishedVectors) {
  const HashKey key = hash_key_from_bytes(counting_key_bytes(0));
  EXPECT_EQ(siphash24(key, ""), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ(siphash24(key, counting_message(15)), 0xa129ca6149be45e5ULL);
  EXPECT_EQ(hash_by_words<SipHasher24>(key, counting_message(15)), 0xa129ca6149be45e5ULL);
  // SipHash-1-3 under the all-zero key.
  EXPECT_EQ(hash_by_words<SipHasher13>(HashKey{}, ""), 0xd1fba762150c532cULL);
  EXPECT_EQ(hash_by_words<SipHasher13>(HashKey{}, "siphash"), 0x8264ceeccb16bcbeULL);
  EXPECT_EQ(hash_by_words<SipHasher13>(HashKey{}, "digest-sip_hash"), 0xce31007e34130c0aULL);
}

// Every tail length and several whole blocks, under two keys, against libsodium; and the word
// stream against the byte string of the same words.
TEST(SipHash, AgreesWithLibsodiumAndTheWordStream) {
  for (const unsigned char first : std::array<unsigned char, 2>{0x00, 0xa7}) {
    const std::array<unsigned char, 16> key_bytes = counting_key_bytes(first);
    const HashKey key = hash_key_from_bytes(key_bytes);
    for (std::size_t length = 0; length < 64; ++length) {
      const std::string message = counting_message(length);
      EXPECT_EQ(siphash24(key, message), libsodium_siphash24(key_bytes, message))
          << "length " << length;
      EXPECT_EQ(hash_by_words<SipHasher24>(key, message), siphash24(key, message))
          << "length " << length;
    }
  }
}

TEST(HashKey, RunKeyIsDrawnOnceAndKeysTheTableHasher) {
  const HashKey& key = run_hash_key();
  EXPECT_EQ(&run_hash_key(), &key);
  EXPECT_NE(key, HashKey{});
  EXPECT_EQ(KeyedStringHash()("token"), KeyedStringHash(key)("token"));
  EXPECT_NE(KeyedStringHash(HashKey{1, 2})("token"), KeyedStringHash(HashKey{1, 3})("token"));
}

}  // namespace
}  // namespace fennick::crypto
