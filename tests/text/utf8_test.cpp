#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fennick::text {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string repeat_fffd(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += kFffd;
  return out;
}

TEST(Utf8, ValidityFollowsTheWellFormedTable) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain ascii"));
  EXPECT_TRUE(
      is_valid_utf8("\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
  EXPECT_TRUE(is_valid_utf8(std::string("a\0b", 3)));
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(is_valid_utf8("\xE0\x9F\xBF"));      // overlong three-byte form
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // surrogate U+D800
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(is_valid_utf8("\xE2\x82"));          // truncated
  EXPECT_FALSE(is_valid_utf8("\x80"));              // lone continuation byte
  EXPECT_FALSE(is_valid_utf8("\xFF"));
}

TEST(Utf8, NextCodePointDecodesAndSkipsMaximalSubparts) {
  const std::string text =
      "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x82"
      "B\xF0\x80z";
  std::size_t pos = 0;
  char32_t cp = 0;
  std::vector<char32_t> decoded;
  std::vector<std::size_t> positions;
  while (pos < text.size()) {
    const bool ok = next_code_point(text, pos, cp);
    decoded.push_back(ok ? cp : 0xFFFFFFFF);
    positions.push_back(pos);
  }
  // "\xE2\x82" is one invalid subpart; "\xF0" alone is one because 0x80 cannot follow it.
  EXPECT_EQ(decoded, (std::vector<char32_t>{U'A', 0xE9, 0x20AC, 0x1F600, 0xFFFFFFFF, U'B',
                                            0xFFFFFFFF, 0xFFFFFFFF, U'z'}));
  EXPECT_EQ(positions, (std::vector<std::size_t>{1, 3, 6, 10, 12, 13, 14, 15, 16}));

  pos = text.size();
  EXPECT_FALSE(next_code_point(text, pos, cp));
  EXPECT_EQ(pos, text.size());
}

TEST(Utf8, AppendEncodesEveryLengthAndReplacesNonScalars) {
  std::string out;
  for (const char32_t cp :
       {U'\x7F', U'\x80', U'\x7FF', U'\x800', U'\xFFFF', U'\x10000', U'\x10FFFF'}) {
    append_utf8(out, cp);
  }
  EXPECT_EQ(out, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
  out.clear();
  append_utf8(out, 0xD800);
  append_utf8(out, 0x110000);
  EXPECT_EQ(out, repeat_fffd(2));
}

TEST(Utf8, LossyReplacesEachMaximalSubpartOnce) {
  // The example of the Unicode standard's U+FFFD practice (table 3-8).
  EXPECT_EQ(lossy_utf8("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
            "a" + repeat_fffd(3) + "b" + kFffd + "c" + repeat_fffd(2) + "d");
  EXPECT_EQ(lossy_utf8("Hello \xF0\x90\x80World"), "Hello " + kFffd + "World");
  // Truncated sequences at the end.
  EXPECT_EQ(lossy_utf8("ab\xE2\x82"), "ab" + kFffd);
  EXPECT_EQ(lossy_utf8("\xF0\x9F\x98"), kFffd);
  // Surrogates encoded in UTF-8: ED cannot be followed by A0..BF, so every byte stands alone.
  EXPECT_EQ(lossy_utf8("\xED\xA0\x80\xED\xBF\xBF"), repeat_fffd(6));
  // Overlong forms and bytes that never start a sequence.
  EXPECT_EQ(lossy_utf8("\xC0\xAF"), repeat_fffd(2));
  EXPECT_EQ(lossy_utf8("\xE0\x80\xAF"), repeat_fffd(3));
  EXPECT_EQ(lossy_utf8("\xF0\x80\x80\x80"), repeat_fffd(4));
  EXPECT_EQ(lossy_utf8("\xF4\x90\x80\x80"), repeat_fffd(4));
  EXPECT_EQ(lossy_utf8("\xF5\xFE\xFF"), repeat_fffd(3));
  // Valid text, NUL included, is unchanged.
  const std::string valid = std::string("x\0y", 3) + "\xC3\xA9\xF0\x9F\x98\x80";
  EXPECT_EQ(lossy_utf8(valid), valid);
}

}  // namespace
}  // namespace fennick::text
