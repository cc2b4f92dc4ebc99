#include "crypto/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crypto/vector_files.h"

namespace fennick::crypto {
namespace {

using testing::from_hex;
using testing::parse_json;
using testing::read_external;

// The crate's no-padding engine uses the standard alphabet; ours is URL-safe and otherwise the
// same decoder, so its cases run with the two differing symbols swapped.
std::string to_url_alphabet(std::string text) {
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

void expect_error(const fennick::Result<std::string>& result, std::string_view message,
                  std::string_view input) {
  ASSERT_FALSE(result.ok()) << "accepted \"" << input << "\"";
  EXPECT_EQ(result.error(), message) << "input \"" << input << "\"";
}

void expect_bytes(const fennick::Result<std::string>& result, std::string_view bytes,
                  std::string_view input) {
  ASSERT_TRUE(result.ok()) << "input \"" << input << "\": " << result.error();
  EXPECT_EQ(*result, bytes) << "input \"" << input << "\"";
}

TEST(Base64, ExternalStrictDecodingCases) {
  const auto file = read_external("base64/rust-base64-v0.22.1-decode-cases.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto cases = parse_json(*file).at("cases");
  ASSERT_EQ(cases.items.size(), 93u);

  int accepted = 0;
  for (const auto& c : cases.items) {
    const std::string& engine = c.at("engine").text;
    const std::string& input = c.at("input").text;
    ASSERT_TRUE(engine == "STANDARD" || engine == "STANDARD_NO_PAD") << engine;
    const auto result = engine == "STANDARD" ? decode_base64_standard(input)
                                             : decode_base64_url(to_url_alphabet(input));
    SCOPED_TRACE(engine + " line " + c.at("source_line").text);
    if (c.has("decoded_hex")) {
      ++accepted;
      expect_bytes(result, from_hex(c.at("decoded_hex").text), input);
    } else {
      expect_error(result, c.at("message").text, input);
    }
  }
  EXPECT_EQ(accepted, 21);
}

TEST(Base64, ExternalRfc4648Vectors) {
  const auto file = read_external("base64/rfc4648-section10-base64.json");
  if (!file) GTEST_SKIP() << "external vectors absent: " << FENNICK_EXTERNAL_DIR;
  const auto vectors = parse_json(*file).at("vectors");
  ASSERT_EQ(vectors.items.size(), 7u);
  for (const auto& v : vectors.items) {
    const std::string& bytes = v.at("input").text;
    const std::string& padded = v.at("base64").text;
    const std::string unpadded = padded.substr(0, padded.find('='));
    EXPECT_EQ(encode_base64_standard(bytes), padded);
    EXPECT_EQ(encode_base64_url(bytes), unpadded);
    expect_bytes(decode_base64_standard(padded), bytes, padded);
    expect_bytes(decode_base64_url(unpadded), bytes, unpadded);
  }
}

TEST(Base64, DocumentedStandardExamples) {
  expect_error(decode_base64_standard("!QUJ!"), "Invalid symbol 33, offset 4.", "!QUJ!");
  expect_error(decode_base64_standard("QUJDRQ==x"), "Invalid symbol 61, offset 6.", "QUJDRQ==x");
  expect_error(decode_base64_standard("Q"), "Invalid input length: 1", "Q");
  expect_error(decode_base64_standard("QQ="), "Invalid padding", "QQ=");
  expect_error(decode_base64_standard("QR=="), "Invalid last symbol 82, offset 1.", "QR==");
}

TEST(Base64, DocumentedUrlSafeExamples) {
  expect_error(decode_base64_url("QUJDRA=="), "Invalid padding", "QUJDRA==");
  expect_error(decode_base64_url("QUJD="), "Invalid symbol 61, offset 4.", "QUJD=");
  expect_error(decode_base64_url("Q"), "Invalid input length: 1", "Q");
  expect_bytes(decode_base64_url("QUJD"), "ABC", "QUJD");
}

TEST(Base64, KeyLengthsAndAlphabets) {
  const std::string key(32, '\xfb');
  const std::string padded = encode_base64_standard(key);
  ASSERT_EQ(padded.size(), 44u);
  ASSERT_EQ(padded.back(), '=');
  // A key with its padding dropped is refused, not repaired.
  expect_error(decode_base64_standard(padded.substr(0, 43)), "Invalid padding", "43 chars");
  const std::string long_key = encode_base64_standard(std::string(36, '\x01'));
  ASSERT_EQ(long_key.size(), 48u);
  expect_bytes(decode_base64_standard(long_key), std::string(36, '\x01'), long_key);
  // Appending a group after the padding puts "=" inside the text.
  expect_error(decode_base64_standard(padded + "AAAA"), "Invalid symbol 61, offset 43.",
               "48 chars");

  // Each alphabet refuses the other's two symbols and all white space.
  const std::string url = encode_base64_url(key);
  ASSERT_EQ(url.size(), 43u);
  EXPECT_EQ(url.find_first_of("+/="), std::string::npos);
  EXPECT_NE(padded.find_first_of("+/"), std::string::npos);
  expect_error(decode_base64_url("ab+d"), "Invalid symbol 43, offset 2.", "ab+d");
  expect_error(decode_base64_url("ab/d"), "Invalid symbol 47, offset 2.", "ab/d");
  expect_error(decode_base64_standard("ab-d"), "Invalid symbol 45, offset 2.", "ab-d");
  expect_error(decode_base64_standard("ab_d"), "Invalid symbol 95, offset 2.", "ab_d");
  expect_error(decode_base64_standard("QUJD QUJD"), "Invalid symbol 32, offset 4.", "space");
  expect_error(decode_base64_url("QUJD\r\n"), "Invalid symbol 13, offset 4.", "CRLF");
  expect_error(decode_base64_standard(std::string("QU\0D", 4)), "Invalid symbol 0, offset 2.",
               "NUL");
  // Five bytes: the stray last byte is named before the group that precedes it.
  expect_error(decode_base64_standard("QUJ\xc3\xa9"), "Invalid symbol 169, offset 4.", "UTF-8");
}

TEST(Base64, RoundTripsEveryLengthAndByte) {
  std::mt19937 random(20240229);
  for (std::size_t length = 0; length <= 70; ++length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(random() & 0xFF));
    const std::string standard = encode_base64_standard(bytes);
    const std::string url = encode_base64_url(bytes);
    EXPECT_EQ(standard.size(), (length + 2) / 3 * 4);
    EXPECT_EQ(url, to_url_alphabet(standard.substr(0, standard.find('='))));
    expect_bytes(decode_base64_standard(standard), bytes, standard);
    expect_bytes(decode_base64_url(url), bytes, url);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  expect_bytes(decode_base64_standard(encode_base64_standard(all)), all, "all bytes");
  expect_bytes(decode_base64_url(encode_base64_url(all)), all, "all bytes");
}

TEST(Base64, EveryTextOfOneOrTwoGroupsHasOneReading) {
  // Canonical decoding means encode(decode(text)) == text for every accepted text. Check it
  // over all final groups built from a few symbols, "=" and a stray byte.
  const std::string pieces = "AQw/+=_-*";
  int accepted = 0;
  for (const char a : pieces) {
    for (const char b : pieces) {
      for (const char c : pieces) {
        for (const char d : pieces) {
          const std::string text = std::string("QUJD") + a + b + c + d;
          const auto standard = decode_base64_standard(text);
          if (standard.ok()) {
            ++accepted;
            EXPECT_EQ(encode_base64_standard(*standard), text);
          }
          const auto url = decode_base64_url(text);
          if (url.ok()) {
            ++accepted;
            EXPECT_EQ(encode_base64_url(*url), text);
          }
          const auto shorter = decode_base64_url(text.substr(0, 7));
          if (shorter.ok()) {
            ++accepted;
            EXPECT_EQ(encode_base64_url(*shorter), text.substr(0, 7));
          }
        }
      }
    }
  }
  EXPECT_GT(accepted, 100);
}

}  // namespace
}  // namespace fennick::crypto
