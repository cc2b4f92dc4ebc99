#include "text/display.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
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
       "\\u{202a}\\u{202e}\\u{2066}\\u{2069}\\u{200f}"},
      // Line and paragraph separators break the line in renderers that follow the Unicode
      // line-breaking rules; format characters are invisible.
      {"evil-run, status: Complete)\u2028governance certificate VERIFIED (pipeline: prod-run-42",
       "evil-run, status: Complete)\\u{2028}governance certificate VERIFIED (pipeline: "
       "prod-run-42"},
      {"a\u2029b", "a\\u{2029}b"},
      {"prod-run-42\u200B", "prod-run-42\\u{200b}"},
      {"\uFEFFrun|soft\u00ADhyphen|\u2060|\u061C|\U000E0041",
       "\\u{feff}run|soft\\u{ad}hyphen|\\u{2060}|\\u{61c}|\\u{e0041}"},
      {"\U0001F469\u200D\U0001F4BB", "\U0001F469\\u{200d}\U0001F4BB"},  // the joiner is Cf too
      // Printable non-ASCII text stands as it is: accents, CJK, emoji, the variation selector.
      {"caf\u00E9 na\u0131ve \u65E5\u672C\u8A9E \U0001F600\u2764\uFE0F \u3000|\u00A0",
       "caf\u00E9 na\u0131ve \u65E5\u672C\u8A9E \U0001F600\u2764\uFE0F \u3000|\u00A0"},
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

  EXPECT_EQ(shown_quoted(long_value), "\"" + exact + "\"...[5000 byte(s) left out]");
  EXPECT_EQ(shown_quoted("a\nb"), "\"a\\nb\"");
}

std::string repeated(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// The limit holds for the shown text, escapes included: a value of controls cannot reach six
// times the limit. The marker counts the bytes of the value that are not shown.
TEST(ShownValue, TheLimitBoundsTheEscapedTextAndNeverSplitsAnEscape) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // 170 escapes of six bytes fit in 1,024; the 854 ESC after them are left out.
      {std::string(1024, '\x1b'), repeated("\\u{1b}", 170) + "...[854 byte(s) left out]"},
      {std::string(kShownValueBytes + 1, '\n'), repeated("\\n", 512) + "...[513 byte(s) left out]"},
      // An escape that would cross the limit is left out whole, with what follows it.
      {std::string(1020, 'a') + "\x1b" + "bc", std::string(1020, 'a') + "...[3 byte(s) left out]"},
      {std::string(1018, 'a') + "\x1b" + "bc",
       std::string(1018, 'a') + "\\u{1b}...[2 byte(s) left out]"},
      // A three-byte character escaped in eight bytes: 127 fit after the "a".
      {"a" + repeated("\u2028", 200),
       "a" + repeated("\\u{2028}", 127) + "...[219 byte(s) left out]"},
      // An invalid byte is shown as the three bytes of U+FFFD and counted as one.
      {std::string(400, '\xFF'), repeated("\uFFFD", 341) + "...[59 byte(s) left out]"},
      // A value whose escaped form just fits is shown whole, with no marker.
      {std::string(1016, 'a') + "\u202E", std::string(1016, 'a') + "\\u{202e}"},
  };
  for (const auto& [value, shown] : cases) EXPECT_EQ(shown_value(value), shown) << value.size();

  // The quoted form: escapes such as \" count, the two framing quotes do not.
  EXPECT_EQ(shown_quoted(std::string(600, '"')),
            "\"" + repeated("\\\"", 512) + "\"...[88 byte(s) left out]");
  EXPECT_EQ(shown_quoted(std::string(1022, 'q') + "\\x"),
            "\"" + std::string(1022, 'q') + "\\\\\"...[1 byte(s) left out]");
  EXPECT_EQ(shown_quoted(std::string(1021, 'q') + "\x1b"),
            "\"" + std::string(1021, 'q') + "\"...[1 byte(s) left out]");
}

}  // namespace
}  // namespace fennick::text
