#include "text/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "text/icu_chunk.h"
#include "text/utf8.h"

namespace fennick::text {
namespace {

TEST(ToLower, FullMappingInTheRootLocale) {
  EXPECT_EQ(to_lower("HeLLo, World 42"), "hello, world 42");
  EXPECT_EQ(to_lower("\u0130"), "i\u0307");  // one code point becomes two
  EXPECT_EQ(to_lower("I"), "i");             // no Turkish dotless i
  EXPECT_EQ(to_lower("\u00C9COLE \u0394\u0395\u039B\u03A4\u0391"),
            "\u00E9cole \u03B4\u03B5\u03BB\u03C4\u03B1");
  EXPECT_EQ(to_lower("\u01C5"), "\u01C6");  // title-case digraph
  EXPECT_EQ(to_lower("\u2160"), "\u2170");  // Roman numeral one
}

TEST(ToLower, FinalSigmaDependsOnTheWholeWord) {
  EXPECT_EQ(to_lower("\u039F\u0394\u039F\u03A3"), "\u03BF\u03B4\u03BF\u03C2");
  EXPECT_EQ(to_lower("\u039F\u0394\u039F\u03A3 \u039F\u03A3\u039F"),
            "\u03BF\u03B4\u03BF\u03C2 \u03BF\u03C3\u03BF");
  EXPECT_EQ(to_lower("\u03A3"), "\u03C3");  // no cased letter before it
  // ASCII letters before the sigma are cased context too.
  EXPECT_EQ(to_lower("ABC\u03A3."), "abc\u03C2.");
}

TEST(ToLower, InvalidInputIsReadAsReplacementCharacters) {
  EXPECT_EQ(to_lower("A\xFF\u03A3"), "a\uFFFD\u03C3");
  EXPECT_EQ(to_lower("\xE2\x82"), "\uFFFD");
}

TEST(Nfc, ComposesCanonicallyButNotCompatibly) {
  EXPECT_EQ(nfc("cafe\u0301"), "caf\u00E9");
  EXPECT_EQ(nfc("caf\u00E9"), "caf\u00E9");
  EXPECT_EQ(nfc("\u212B"), "\u00C5");  // Angstrom sign: singleton
  EXPECT_EQ(nfc("A\u030A"), "\u00C5");
  EXPECT_EQ(nfc("\u1100\u1161"), "\uAC00");          // Hangul jamo
  EXPECT_EQ(nfc("q\u0307\u0323"), "q\u0323\u0307");  // reordered, nothing to compose
  EXPECT_EQ(nfc("\uFB01"), "\uFB01");                // ligature kept: not NFKC
  EXPECT_EQ(nfc("plain"), "plain");
  EXPECT_EQ(nfc(""), "");
  EXPECT_EQ(nfc("e\xC0\u0301"), "e\uFFFD\u0301");
}

TEST(Properties, WhiteSpaceIsExactlyTheWhiteSpaceProperty) {
  // PropList.txt (Unicode 15.0), White_Space.
  const char32_t kWhiteSpace[] = {0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085,
                                  0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                  0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                  0x2029, 0x202F, 0x205F, 0x3000};
  for (const char32_t cp : kWhiteSpace)
    EXPECT_TRUE(is_white_space(cp)) << std::hex << static_cast<unsigned>(cp);
  std::size_t count = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) count += is_white_space(cp) ? 1 : 0;
  EXPECT_EQ(count, std::size(kWhiteSpace));
  // Neighbours that look like spaces but are not White_Space.
  for (const char32_t cp : {0x0008, 0x000E, 0x001C, 0x001F, 0x0021, 0x0084, 0x00A1, 0x180E, 0x200B,
                            0x2027, 0x202A, 0x2060, 0xFEFF}) {
    EXPECT_FALSE(is_white_space(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  EXPECT_FALSE(is_white_space(0x110000));
  EXPECT_FALSE(is_white_space(0xFFFFFFFF));
}

TEST(Properties, AlphabeticNumericAndAlphanumeric) {
  for (const char32_t cp : {U'a', U'Z', U'\u00E9', U'\u0391', U'\u0345', U'\u4E00', U'\u2160'}) {
    EXPECT_TRUE(is_alphabetic(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  for (const char32_t cp : {U'1', U'-', U'_', U'\u00BD', U'\u0301', U'\u2013'}) {
    EXPECT_FALSE(is_alphabetic(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  // Nd, Nl and No.
  for (const char32_t cp : {U'0', U'9', U'\u0661', U'\u2160', U'\u3007', U'\u00B2', U'\u00BD',
                            U'\u0F33', U'\U0001D7CE'}) {
    EXPECT_TRUE(is_numeric(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  for (const char32_t cp : {U'a', U'/', U'\u00AA', U'\u2044', U'\u221E'}) {
    EXPECT_FALSE(is_numeric(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  EXPECT_TRUE(is_alphanumeric(U'\u00BD'));  // vulgar fraction one half: No
  EXPECT_TRUE(is_alphanumeric(U'\u00FC'));
  EXPECT_TRUE(is_alphanumeric(U'7'));
  for (const char32_t cp : {U'-', U'"', U'\u2014', U'\u201C', U'\u00AB', U'\u300C', U' '}) {
    EXPECT_FALSE(is_alphanumeric(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  EXPECT_FALSE(is_alphanumeric(0x110000));
}

std::vector<std::string_view> pieces(std::string_view text, std::size_t max) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    const std::size_t length = icu_chunk_length(text, max);
    if (length == 0) break;
    out.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return out;
}

// Lower-casing and NFC of the pieces must equal lower-casing and NFC of the whole text.
TEST(IcuChunk, CutsWhereNeitherFinalSigmaNorCompositionLooksAcross) {
  // The longest pieces that can be cut cleanly here are 8 bytes long.
  const std::string texts[] = {"\u039F\u03A3 \u039F\u03A3'\u039F e\u0301 \u0391\u03A3\u0391",
                               "\u03A3\u3000\u0391\u03A3\u3000e\u0301\u0301"};
  for (const std::string& text : texts) {
    for (std::size_t max = 8; max <= text.size() + 1; ++max) {
      std::string lower;
      std::string composed;
      std::size_t total = 0;
      for (const std::string_view piece : pieces(text, max)) {
        EXPECT_LE(piece.size(), max);
        total += piece.size();
        lower += to_lower(piece);
        composed += nfc(piece);
      }
      EXPECT_EQ(total, text.size());
      EXPECT_EQ(lower, to_lower(text)) << "max " << max;
      EXPECT_EQ(composed, nfc(text)) << "max " << max;
    }
  }
}

TEST(IcuChunk, TextWithoutCutPointsStillSplitsAtCodePoints) {
  const std::string texts[] = {"\u039F\u03A3\u039F\u03A3\u039F\u03A3\U0001D400\U0001D400",
                               "a\u0301\u0301\u0301\u0301\u0301\u0301"};
  for (const std::string& text : texts) {
    for (std::size_t max = 1; max <= text.size(); ++max) {
      std::size_t total = 0;
      for (const std::string_view piece : pieces(text, max)) {
        EXPECT_LE(piece.size(), std::max<std::size_t>(max, 4));
        EXPECT_TRUE(is_valid_utf8(piece)) << "max " << max;
        total += piece.size();
      }
      EXPECT_EQ(total, text.size());
    }
  }
}

}  // namespace
}  // namespace fennick::text
