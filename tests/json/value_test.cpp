// Free-form values: member order, number kinds, kept-string checks, nesting and pruning.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "json/read.h"
#include "json/writer.h"

namespace fennick::json {
namespace {

std::string error_of(std::string_view input) {
  auto result = parse_value(input);
  return result.ok() ? "ok" : result.error().to_string();
}

std::string nested_arrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(Values, ObjectMembersSortedByBytesLastRepeatWins) {
  auto v = parse_value(R"({"b":1,"a":2,"b":3,"aa":4,"B":5,"\u00e9":6,"e\u0301":7})");
  ASSERT_TRUE(v.ok()) << v.error().to_string();
  std::vector<std::string> keys;
  for (const auto& [key, member] : *v->as_object()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "aa", "b", "e\xcc\x81", "\xc3\xa9"}));
  EXPECT_EQ(v->get("b")->as_u64(), 3u);
}

TEST(Values, IntegersAndFloatsKeptApart) {
  auto v = parse_value(
      "[1,-1,1.0,1e0,-0,18446744073709551615,18446744073709551616,-9223372036854775808,"
      "-9223372036854775809]");
  ASSERT_TRUE(v.ok()) << v.error().to_string();
  const Value::Array& a = *v->as_array();
  using K = Value::Kind;
  const std::vector<K> kinds{K::kUnsigned, K::kSigned, K::kFloat,  K::kFloat, K::kFloat,
                             K::kUnsigned, K::kFloat,  K::kSigned, K::kFloat};
  ASSERT_EQ(a.size(), kinds.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].kind(), kinds[i]) << "element " << i;
  EXPECT_TRUE(std::signbit(*a[4].as_f64()));  // -0 is the floating-point -0.0
  EXPECT_EQ(a[5].as_u64(), 18446744073709551615u);
  EXPECT_EQ(a[7].as_negative(), INT64_MIN);
  EXPECT_EQ(a[6].as_f64(), 18446744073709551616.0);
}

TEST(Values, KeptStringsAndKeysAreCheckedUtf8) {
  for (const auto& [input, expected] : std::vector<std::pair<std::string, std::string>>{
           {"[\"\xc3\xa9\xf0\x9f\x98\x80\"]", "ok"},
           {"\"\xff\"", "invalid unicode code point at line 1 column 3"},
           {"{\"\xc3\":1}", "invalid unicode code point at line 1 column 4"},
           {"[\"ok\",\"\xe2\x82\"]", "invalid unicode code point at line 1 column 10"},
           {"\"\xc0\xaf\"", "invalid unicode code point at line 1 column 4"},      // overlong
           {"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 5"},  // surrogate
           {"\"\xf4\x90\x80\x80\"", "invalid unicode code point at line 1 column 6"},
           // Escaped surrogates: pairs decode, anything else is rejected.
           {R"("\uDC00")", "lone leading surrogate in hex escape at line 1 column 7"},
           {R"("\uD800\u0041")", "lone leading surrogate in hex escape at line 1 column 13"},
           {R"("\uD800")", "unexpected end of hex escape at line 1 column 8"},
           {R"("\uD800\n")", "unexpected end of hex escape at line 1 column 9"},
           {R"("\uD800)", "EOF while parsing a string at line 1 column 7"},
           {R"("\u12)", "EOF while parsing a string at line 1 column 5"},
           {R"("\uD83D\uDE00")", "ok"},
       }) {
    EXPECT_EQ(error_of(input), expected) << "input: " << input;
  }
  EXPECT_EQ(*parse_value(R"("\uD83D\uDE00\u00e9\/")")->as_string(), "\xf0\x9f\x98\x80\xc3\xa9/");
}

TEST(Values, NestingLimit) {
  EXPECT_EQ(error_of(nested_arrays(127)), "ok");
  EXPECT_EQ(error_of(nested_arrays(128)), "recursion limit exceeded at line 1 column 128");
  EXPECT_EQ(error_of(std::string(127, '[') + "{}" + std::string(127, ']')),
            "recursion limit exceeded at line 1 column 128");
  EXPECT_EQ(error_of(std::string(10'000'000, '[')),
            "recursion limit exceeded at line 1 column 128");
}

TEST(Values, PrunedKeepsLevelsAndHoldsDeeperAsNull) {
  auto v = parse_value_pruned(R"([[[1]],{"a":{"b":2},"c":3},4])", 2);
  ASSERT_TRUE(v.ok()) << v.error().to_string();
  std::string text;
  write_value(text, *v);
  EXPECT_EQ(text, R"([[null],{"a":null,"c":3},4])");

  // No depth limit, and nothing deeper than the kept levels costs stack.
  constexpr std::size_t kDeep = 10'000'000;
  v = parse_value_pruned(nested_arrays(kDeep), 3);
  ASSERT_TRUE(v.ok()) << v.error().to_string();
  text.clear();
  write_value(text, *v);
  EXPECT_EQ(text, "[[[null]]]");
  EXPECT_TRUE(parse_value_pruned(nested_arrays(300), 300).ok());

  // Pruned values are still checked for syntax (strings are not kept, so not for UTF-8).
  EXPECT_TRUE(parse_value_pruned("[[\"\xff\"]]", 1).ok());
  EXPECT_EQ(parse_value_pruned("[[[[1 2]]]]", 1).error().to_string(),
            "expected `,` or `]` at line 1 column 7");
  EXPECT_EQ(parse_value_pruned(std::string(kDeep, '['), 2).error().to_string(),
            "EOF while parsing a list at line 1 column " + std::to_string(kDeep));
}

}  // namespace
}  // namespace fennick::json
