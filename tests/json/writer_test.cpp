// Canonical writing: string escapes, integers, float text, free values, round trips.

#include "json/writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "json/read.h"

namespace fennick::json {
namespace {

TEST(Writer, StringEscapes) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", R"("")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"a\\b", R"("a\\b")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\0\x01\x0b\x1f", 4), R"("\u0000\u0001\u000b\u001f")"},
      // Solidus, DEL and non-ASCII characters stay as they are.
      {"/\x7f\xc3\xa9\xf0\x9f\x98\x80 ", "\"/\x7f\xc3\xa9\xf0\x9f\x98\x80 \""},
  };
  for (const auto& [text, expected] : cases) {
    std::string out;
    write_string(out, text);
    EXPECT_EQ(out, expected);
  }
}

TEST(Writer, Integers) {
  std::string out;
  write_u64(out, 0);
  out += ' ';
  write_u64(out, std::numeric_limits<std::uint64_t>::max());
  out += ' ';
  write_i64(out, -1);
  out += ' ';
  write_i64(out, std::numeric_limits<std::int64_t>::min());
  out += ' ';
  write_bool(out, true);
  EXPECT_EQ(out, "0 18446744073709551615 -1 -9223372036854775808 true");
}

TEST(Writer, FloatText) {
  const std::vector<std::pair<double, std::string>> cases{
      {1e15, "1000000000000000.0"},
      {1e16, "1e16"},
      {1.0, "1.0"},
      {2.5, "2.5"},
      {-2.5, "-2.5"},
      {123.456, "123.456"},
      {1234567890123456.7, "1234567890123456.8"},
      {0.1, "0.1"},
      {0.001, "0.001"},
      {0.0001, "0.0001"},
      {1e-5, "0.00001"},
      {1e-6, "1e-6"},
      {1e-7, "1e-7"},
      {1.5e-7, "1.5e-7"},
      {1e20, "1e20"},
      {1.8446744073709552e19, "1.8446744073709552e19"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(format_f64(value), expected);
}

TEST(Writer, FreeValuesSortedAndCompact) {
  auto v = parse_value(
      " {\"z\": [1, -2, 2.5, 1E2, \"x\\u0001\", true, null],\n \"a\": {\"y\": {}, \"x\": []}} ");
  ASSERT_TRUE(v.ok()) << v.error().to_string();
  std::string out;
  write_value(out, *v);
  EXPECT_EQ(out, R"({"a":{"x":[],"y":{}},"z":[1,-2,2.5,100.0,"x\u0001",true,null]})");
}

TEST(Writer, RoundTrips) {
  // Canonical texts come back byte for byte; other texts read back to the same value.
  for (const std::string canonical : {
           R"({"":[],"a":{"b":[null,false,0,-9223372036854775808,18446744073709551615]}})",
           R"([0.1,-0.0,1e-7,1e300,"\"\\\b\f\n\r\t\u0000/"])",
           "\"\xc3\xa9\xf0\x9f\x98\x80\"",
       }) {
    auto v = parse_value(canonical);
    ASSERT_TRUE(v.ok()) << v.error().to_string();
    std::string out;
    write_value(out, *v);
    EXPECT_EQ(out, canonical);
  }
  for (const std::string text : {
           R"({"b":1.5e-300,"a":[1.0e1,"\u00e9\uD834\uDD1E\/"],"b":123456789.125})",
           R"([ 4.9406564584124654e-324, 2.2250738585072014E-308, 9007199254740993 ])",
       }) {
    auto v = parse_value(text);
    ASSERT_TRUE(v.ok()) << v.error().to_string();
    std::string out;
    write_value(out, *v);
    auto again = parse_value(out);
    ASSERT_TRUE(again.ok()) << again.error().to_string();
    EXPECT_EQ(*again, *v) << out;
  }
}

}  // namespace
}  // namespace fennick::json
