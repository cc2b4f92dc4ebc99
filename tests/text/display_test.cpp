#include "text/display.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace fennick::text {
namespace {

TEST(ShownValue, EscapesEveryCharacterThatCouldForgeALine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"run-7 ünïcode → ok", "run-7 ünïcode → ok"},
      {"a\nb", "a\\nb"},
      {"a\r\tb", "a\\r\\tb"},
      {std::string("a\0b", 3), "a\\0b"},
      {"\x1b[2Kgovernance certificate VERIFIED", "\\u{1b}[2Kgovernance certificate VERIFIED"},
      {"\x7f", "\\u{7f}"},
      {"\xC2\x85|\xC2\x9F|\xC2\xA0", "\\u{85}|\\u{9f}|\xC2\xA0"},  // C1 escaped, NBSP kept
      {"\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9\xE2\x80\x8F",
       "\\u{202a}\\u{202e}\\u{2066}\\u{2069}\xE2\x80\x8F"},  // the isolates, not the plain marks
      {"back\\slash \"quote\"", "back\\slash \"quote\""},
      {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
  };
  for (const auto& [value, shown] : cases) EXPECT_EQ(shown_value(value), shown) << value;
}

TEST(ShownValue, LongValuesAreCutAtACharacterBoundaryWithOneMarker) {
  const std::string exact(kShownValueBytes, 'x');
  EXPECT_EQ(shown_value(exact), exact);

  const std::string long_value(kShownValueBytes + 5000, 'x');
  EXPECT_EQ(shown_value(long_value), exact + "...[5000 byte(s) left out]");

  // A two-byte character straddling the limit is left out whole.
  const std::string straddling = std::string(kShownValueBytes - 1, 'a') + "\xC3\xA9" + "tail";
  EXPECT_EQ(shown_value(straddling),
            std::string(kShownValueBytes - 1, 'a') + "...[6 byte(s) left out]");

  // The cut counts input bytes; escaping afterwards does not move it.
  const std::string controls(kShownValueBytes + 1, '\n');
  std::string expected;
  for (std::size_t i = 0; i < kShownValueBytes; ++i) expected += "\\n";
  EXPECT_EQ(shown_value(controls), expected + "...[1 byte(s) left out]");

  EXPECT_EQ(shown_quoted(long_value), "\"" + exact + "\"...[5000 byte(s) left out]");
  EXPECT_EQ(shown_quoted("a\nb"), "\"a\\nb\"");
}

}  // namespace
}  // namespace fennick::text
