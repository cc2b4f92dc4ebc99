#include "crypto/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/digests.h"

namespace fennick::crypto {
namespace {

// Known answers from the FIPS 180-2 examples.
using test_support::kEmptySha256;
constexpr std::string_view kAbcDigest =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr std::string_view kTwoBlockInput =
    "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr std::string_view kTwoBlockDigest =
    "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
constexpr std::string_view kMillionADigest =
    "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

TEST(Sha256, KnownAnswers) {
  EXPECT_EQ(sha256_hex(""), kEmptySha256);
  EXPECT_EQ(sha256_hex("abc"), kAbcDigest);
  EXPECT_EQ(sha256_hex(kTwoBlockInput), kTwoBlockDigest);
  EXPECT_EQ(sha256_hex(std::string(1'000'000, 'a')), kMillionADigest);
}

TEST(Sha256, RawDigestMatchesItsText) {
  const auto digest = sha256("abc");
  EXPECT_EQ(digest[0], 0xba);
  EXPECT_EQ(digest[31], 0xad);
  EXPECT_EQ(hex_lower(digest), kAbcDigest);
}

TEST(Sha256, HexIsLowerCaseAndKeepsLeadingZeros) {
  const std::array<std::uint8_t, 5> bytes = {0x00, 0x0f, 0xa0, 0xff, 0x09};
  EXPECT_EQ(hex_lower(bytes), "000fa0ff09");
  EXPECT_EQ(hex_lower(std::span<const std::uint8_t>()), "");
}

TEST(Sha256, IncrementalInOddChunksEqualsOneShot) {
  // Bytes of every value, embedded zeros included, across several block boundaries.
  std::string input;
  for (int i = 0; i < 5000; ++i) input.push_back(static_cast<char>((i * 131 + 7) % 256));
  const std::string expected = sha256_hex(input);

  for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{63}, std::size_t{64},
                                  std::size_t{65}, std::size_t{1021}}) {
    Sha256 hasher;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
      hasher.update(std::string_view(input).substr(at, chunk));
    }
    EXPECT_EQ(hasher.finish_hex(), expected) << "chunk size " << chunk;
  }

  Sha256 million;
  const std::string piece(997, 'a');
  std::size_t fed = 0;
  for (; fed + piece.size() <= 1'000'000; fed += piece.size()) million.update(piece);
  million.update(std::string(1'000'000 - fed, 'a'));
  EXPECT_EQ(million.finish_hex(), kMillionADigest);
}

TEST(Sha256, StartsOverAfterFinishAndSurvivesMove) {
  Sha256 hasher;
  EXPECT_EQ(hasher.finish_hex(), kEmptySha256);
  hasher.update("ab");
  Sha256 moved = std::move(hasher);
  moved.update("");
  moved.update("c");
  EXPECT_EQ(moved.finish_hex(), kAbcDigest);
  moved.update("abc");
  EXPECT_EQ(hex_lower(moved.finish()), kAbcDigest);
}

}  // namespace
}  // namespace fennick::crypto
