#include "text/rfc3339.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

namespace fennick::text {
namespace {

// The canonical text of what the input reads as, or the error message.
std::string canonical(std::string_view input) {
  const auto parsed = parse_rfc3339(input);
  if (!parsed.ok()) return "error: " + parsed.error();
  std::string out;
  write_rfc3339(out, *parsed);
  return out;
}

std::string written(Timestamp t) {
  std::string out;
  write_rfc3339(out, t);
  return out;
}

TEST(Rfc3339, ReadsToUtcInstants) {
  const auto noon_plus_two = parse_rfc3339("2024-05-01T12:00:00+02:00");
  const auto ten_z = parse_rfc3339("2024-05-01T10:00:00Z");
  ASSERT_TRUE(noon_plus_two.ok());
  ASSERT_TRUE(ten_z.ok());
  EXPECT_EQ(*noon_plus_two, *ten_z);
  EXPECT_EQ(*ten_z, (Timestamp{1714557600, 0}));
  EXPECT_EQ(*parse_rfc3339("1970-01-01T00:00:00Z"), (Timestamp{0, 0}));
  EXPECT_EQ(*parse_rfc3339("1969-12-31T23:59:59.5Z"), (Timestamp{-1, 500'000'000}));
  // A leap second survives the offset; 1991-01-01T00:00:00Z is Unix second 662688000.
  EXPECT_EQ(*parse_rfc3339("1990-12-31T23:59:60Z"), (Timestamp{662687999, 1'000'000'000}));
  // Years outside four digits are written with a sign.
  EXPECT_EQ(written({-62167219200, 0}), "0000-01-01T00:00:00Z");
  EXPECT_EQ(written({253402300799, 0}), "9999-12-31T23:59:59Z");
  EXPECT_EQ(written({253402300800, 0}), "+10000-01-01T00:00:00Z");
}

TEST(Rfc3339, CanonicalTextOfWhatIsRead) {
  const std::pair<std::string, const char*> cases[] = {
      {"2024-05-01T12:00:00+02:00", "2024-05-01T10:00:00Z"},
      // Relaxed forms: separators, case, digit counts, white space, offsets.
      {"2024-05-01 10:00:00Z", "2024-05-01T10:00:00Z"},
      {"2024-05-01t10:00:00z", "2024-05-01T10:00:00Z"},
      {"2024-5-1T1:2:3Z", "2024-05-01T01:02:03Z"},
      {"24-05-01T10:00:00Z", "0024-05-01T10:00:00Z"},
      {"+02024-05-01T10:00:00Z", "2024-05-01T10:00:00Z"},
      {" 2024 -\t05 - 01T10 : 00\u00A0: 00 Z  ", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00Z\u3000\n", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00UTC", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00utc", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00uTc", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00 UTC", "2024-05-01T10:00:00Z"},
      {"2024-05-01T12:00:00+0200", "2024-05-01T10:00:00Z"},
      {"2024-05-01T12:00:00+02 00", "2024-05-01T10:00:00Z"},
      {"2024-05-01T12:00:00+02::00", "2024-05-01T10:00:00Z"},
      {"2024-05-01T08:00:00\u221202:00", "2024-05-01T10:00:00Z"},
      {"2024-05-01T08:00:00-02:00", "2024-05-01T10:00:00Z"},
      {"2024-05-01T00:00:00+23:59", "2024-04-30T00:01:00Z"},
      // Fractions keep nine digits and are written with three, six or nine.
      {"2024-05-01T10:00:00.5Z", "2024-05-01T10:00:00.500Z"},
      {"2024-05-01T10:00:00.500000000Z", "2024-05-01T10:00:00.500Z"},
      {"2024-05-01T10:00:00.1234Z", "2024-05-01T10:00:00.123400Z"},
      {"2024-05-01T10:00:00.000000001Z", "2024-05-01T10:00:00.000000001Z"},
      {"2024-05-01T10:00:00.0Z", "2024-05-01T10:00:00Z"},
      {"2024-05-01T10:00:00.1234567899999Z", "2024-05-01T10:00:00.123456789Z"},
      {"2024-05-01T10:00:00.Z", "error: input contains invalid characters"},
      {"2024-05-01T10:00:00,5Z", "error: input contains invalid characters"},
      {"2024-05-01T10:00:00.", "error: premature end of input"},
      // A leap second survives the offset.
      {"2024-05-01T10:30:60+02:00", "2024-05-01T08:30:60Z"},
      {"2024-05-01T10:30:60.25Z", "2024-05-01T10:30:60.250Z"},
      {"1990-12-31T23:59:60+00:00", "1990-12-31T23:59:60Z"},
      // Years outside four digits get a sign.
      {"0000-01-01T00:00:00+01:00", "-0001-12-31T23:00:00Z"},
      {"9999-12-31T23:00:00-02:00", "+10000-01-01T01:00:00Z"},
      {"0000-01-01T00:00:00Z", "0000-01-01T00:00:00Z"},
      {"9999-12-31T23:59:59Z", "9999-12-31T23:59:59Z"},
      {"-0001-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"},
      {"-1-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"},
      // Beyond the 400-year cycles of std::chrono's year type: 40000 is a leap year, 30100 is
      // not.
      {"+40000-02-29T00:00:00Z", "+40000-02-29T00:00:00Z"},
      {"+30100-02-29T00:00:00Z", "error: input is out of range"},
      {"-40001-03-01T00:00:00Z", "-40001-03-01T00:00:00Z"},
      // Year bounds.
      {"+262142-12-31T23:59:59Z", "+262142-12-31T23:59:59Z"},
      {"-262143-01-01T00:00:00Z", "-262143-01-01T00:00:00Z"},
      {"+262143-01-01T00:00:00Z", "error: input is out of range"},
      {"-262144-12-31T23:59:59Z", "error: input is out of range"},
      {"+262144-01-01T00:00:00Z", "error: input is out of range"},
      {"-262145-12-31T00:00:00Z", "error: input is out of range"},
      {"+2147483648-01-01T00:00:00Z", "error: input is out of range"},
      {"+99999999999999999999999999-01-01T00:00:00Z", "error: input is out of range"},
      {"-99999999999999999999999999-01-01T00:00:00Z", "error: input is out of range"},
      // A representable local time whose UTC instant falls outside the range.
      {"+262142-12-31T23:59:59-01:00", "error: no possible date and time matching input"},
      {"-262143-01-01T00:00:00+00:01", "error: no possible date and time matching input"},
      {"+262142-12-31T23:59:60-00:01", "error: no possible date and time matching input"},
      {"+262142-12-31T23:59:59+01:00", "+262142-12-31T22:59:59Z"},
  };
  for (const auto& [input, expected] : cases) {
    SCOPED_TRACE(input);
    EXPECT_EQ(canonical(input), expected);
  }
}

TEST(Rfc3339, WritingNeverFailsOnExtremeValues) {
  for (const std::int64_t seconds :
       {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
    const std::string text = written({seconds, 999'999'999});
    EXPECT_EQ(text.back(), 'Z');
    EXPECT_EQ(canonical(text), "error: input is out of range") << text;
  }
}

TEST(Rfc3339, ErrorMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "premature end of input"},
      {"2024", "premature end of input"},
      {"2024-05-01", "premature end of input"},
      {"2024-05-01T10:00", "premature end of input"},
      {"2024-05-01T10:00:00", "premature end of input"},
      {"2024-05-01T10:00:00 ", "premature end of input"},
      {"2024-05-01T10:00:00+02", "premature end of input"},
      {"2024-05-01T10:00:00+02:0", "premature end of input"},
      {"2024-05-01T10:00:00+", "premature end of input"},
      {"02024-05-01T10:00:00Z", "input contains invalid characters"},
      {"2024-105-01T10:00:00Z", "input contains invalid characters"},
      {"2024/05/01T10:00:00Z", "input contains invalid characters"},
      {"2024-05-01\t10:00:00Z", "input contains invalid characters"},
      {"2024-05-01 T10:00:00Z", "input contains invalid characters"},
      {"2024-05-01T10:00:00+2:00", "input contains invalid characters"},
      {"2024-05-01T10:00:00+02:6x", "input contains invalid characters"},
      {"2024-05-01T10:00:00UT", "input contains invalid characters"},
      {"2024-05-01T10:00:00GMT", "input contains invalid characters"},
      {"x2024-05-01T10:00:00Z", "input contains invalid characters"},
      {"2024-05-01T10:00:00Z x", "trailing input"},
      {"2024-05-01T10:00:00+02:00:00", "trailing input"},
      {"2024-05-01T10:00:00ZZ", "trailing input"},
      {"2024-13-01T10:00:00Z", "input is out of range"},
      {"2024-00-01T10:00:00Z", "input is out of range"},
      {"2024-05-32T10:00:00Z", "input is out of range"},
      {"2023-02-30T10:00:00Z", "input is out of range"},
      {"2023-02-29T10:00:00Z", "input is out of range"},
      {"2024-05-01T24:00:00Z", "input is out of range"},
      {"2024-05-01T10:60:00Z", "input is out of range"},
      {"2024-05-01T10:00:61Z", "input is out of range"},
      {"2024-05-01T10:00:00+24:00", "input is out of range"},
      {"2024-05-01T10:00:00-99:59", "input is out of range"},
      {"2024-05-01T10:00:00+02:60", "input is out of range"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(canonical(input), std::string("error: ") + expected) << input;
  }
  EXPECT_EQ(canonical("2024-02-29T10:00:00Z"), "2024-02-29T10:00:00Z");
  EXPECT_EQ(canonical("2000-02-29T10:00:00Z"), "2000-02-29T10:00:00Z");
}

TEST(Rfc3339, WrittenTextReadsBackToTheSameInstant) {
  for (const Timestamp t : {Timestamp{0, 1}, Timestamp{-1, 999'999'999},
                            Timestamp{1714557600, 123'000}, Timestamp{662687999, 1'500'000'000},
                            Timestamp{-62167219201, 0}, Timestamp{253402300800, 10}}) {
    const auto back = parse_rfc3339(written(t));
    ASSERT_TRUE(back.ok()) << written(t) << ": " << back.error();
    EXPECT_EQ(*back, t) << written(t);
  }
}

}  // namespace
}  // namespace fennick::text
