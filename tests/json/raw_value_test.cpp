// Free-form values kept as text: reading, member access and the compact form must agree with the
// tree (Value, write_value) on every document, whatever its member order, repeats, numbers,
// escapes or faults.

#include "json/raw_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "json/read.h"
#include "json/writer.h"

namespace fennick::json {
namespace {

// Random documents: few distinct names so that members repeat and arrive out of order, every
// number form the reader treats apart, escapes, text outside ASCII and blanks anywhere.
class DocumentMaker {
 public:
  explicit DocumentMaker(std::uint32_t seed) : rng_(seed) {}

  std::string document() {
    std::string out;
    blank(out);
    value(out, 0);
    blank(out);
    return out;
  }

 private:
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  void blank(std::string& out) {
    static constexpr std::string_view kBlanks[] = {"", "", "", " ", "\n", "\t ", "\r\n  "};
    out += kBlanks[pick(std::size(kBlanks))];
  }

  void string(std::string& out, bool key) {
    static constexpr std::string_view kNames[] = {
        "a", "b", "B", "aa", "", "\\u00e9", "\xc3\xa9", "e\\u0301", "a\\u0000", "\\\"q", "z"};
    static constexpr std::string_view kPieces[] = {
        "plain",
        "\\n",
        "\\t",
        "\\b\\f\\r",
        "\\\"",
        "\\\\",
        "\\/",
        "\\u0001",
        "\\u001f",
        "\\u007f",
        "\xc3\xa9",
        "\xe2\x82\xac",
        "\xf0\x9f\x98\x80",
        "\\ud83d\\ude00",
        "\\u20ac",
        " ",
        "a long run of plain text that passes eight bytes at a time"};
    out += '"';
    if (key) {
      out += kNames[pick(std::size(kNames))];
    } else {
      for (std::size_t n = pick(4); n > 0; --n) out += kPieces[pick(std::size(kPieces))];
    }
    out += '"';
  }

  void number(std::string& out) {
    static constexpr std::string_view kNumbers[] = {"0",
                                                    "-0",
                                                    "1",
                                                    "-1",
                                                    "7",
                                                    "18446744073709551615",
                                                    "18446744073709551616",
                                                    "-9223372036854775808",
                                                    "-9223372036854775809",
                                                    "123456789012345678901234567890",
                                                    "1.5",
                                                    "-0.0",
                                                    "0.0",
                                                    "1e0",
                                                    "1E-7",
                                                    "2.5e+3",
                                                    "-1.25e-310",
                                                    "1e-400",
                                                    "0.1",
                                                    "100.000",
                                                    "1e20",
                                                    "1e16",
                                                    "123456789.123456789",
                                                    "-4.9e-324",
                                                    "1.7976931348623157e308"};
    if (pick(4) == 0) {
      out += std::to_string(std::uniform_int_distribution<std::int64_t>(-1000000, 1000000)(rng_));
    } else {
      out += kNumbers[pick(std::size(kNumbers))];
    }
  }

  void value(std::string& out, int depth) {
    const std::size_t kind = pick(depth >= 5 ? 4 : 7);
    switch (kind) {
      case 0:
        out += pick(3) == 0 ? "null" : pick(2) == 0 ? "true" : "false";
        return;
      case 1:
      case 2:
        number(out);
        return;
      case 3:
        string(out, false);
        return;
      case 4: {
        out += '[';
        for (std::size_t n = pick(5), i = 0; i < n; ++i) {
          if (i > 0) out += ',';
          blank(out);
          value(out, depth + 1);
          blank(out);
        }
        out += ']';
        return;
      }
      default: {
        out += '{';
        for (std::size_t n = pick(6), i = 0; i < n; ++i) {
          if (i > 0) out += ',';
          blank(out);
          string(out, true);
          blank(out);
          out += ':';
          blank(out);
          value(out, depth + 1);
        }
        out += '}';
      }
    }
  }

 public:
  // A fault somewhere: the text cut short, or one byte replaced by a byte the grammar cares about.
  std::string damaged(std::string text) {
    if (text.empty()) return text;
    if (pick(2) == 0) return text.substr(0, pick(text.size()));
    static constexpr char kBytes[] = {',', ']', '}', ':', '"', '\\',   'x',    '1',   '-',
                                      '.', 'e', ' ', '[', '{', '\x01', '\xff', '\xc3'};
    text[pick(text.size())] = kBytes[pick(sizeof kBytes)];
    return text;
  }

 private:
  std::mt19937 rng_;
};

std::string tree_compact(const Value& v) {
  std::string out;
  write_value(out, v);
  return out;
}

std::string raw_compact(const RawValue& v) {
  std::string out;
  write_raw_value(out, v);
  return out;
}

// Both readers accept the same documents with the same compact form, and refuse the others with
// the same message and position.
void expect_same_reading(const std::string& text) {
  const auto tree = parse_value(text);
  const auto raw = parse_raw_value(text);
  ASSERT_EQ(raw.ok(), tree.ok()) << text;
  if (!tree.ok()) {
    EXPECT_EQ(raw.error().to_string(), tree.error().to_string()) << text;
    return;
  }
  EXPECT_EQ(raw_compact(*raw), tree_compact(*tree)) << text;
  // Every member name the document may hold reads as the tree's member.
  for (const std::string_view name : {"a", "b", "B", "aa", "", "\xc3\xa9", "\"q", "z"}) {
    const std::optional<RawValue> member = raw->get(name);
    const Value* expected = tree->get(name);
    ASSERT_EQ(member.has_value(), expected != nullptr) << text << " member " << name;
    if (expected != nullptr) {
      EXPECT_EQ(raw_compact(*member), tree_compact(*expected)) << text;
    }
  }
}

TEST(RawValues, RandomDocumentsReadAndWriteAsTheTree) {
  DocumentMaker maker(20261210);
  for (int i = 0; i < 3000; ++i) {
    const std::string text = maker.document();
    expect_same_reading(text);
    expect_same_reading(maker.damaged(text));
  }
}

TEST(RawValues, FixedDocumentsReadAndWriteAsTheTree) {
  for (const std::string& text :
       {std::string("1e400"), std::string("[1,-1e400]"),
        std::string(R"({"b":1,"a":{"d":[],"c":{}},"b":{"y":1,"x":2}})"),
        std::string(128, '[') + std::string(128, ']'),
        std::string(129, '[') + std::string(129, ']'), std::string(R"(["\ud800"])"),
        std::string(R"({"\udc00":1})"), std::string("[\"\xed\xa0\x80\"]"),
        std::string("{\"a\":1,\"a\":2,\"a\":3}"), std::string(" "), std::string("[1] [2]"),
        std::string(R"({"a" 1})"), std::string("[1,]"), std::string("{\"a\":1,}")}) {
    expect_same_reading(text);
  }
}

// A value set by code holds its compact text, member access and comparison included.
TEST(RawValues, SetFromAValueKeepsItsCompactText) {
  const Value tree = Value::object({{"z", Value::array({Value::floating(-0.0)})},
                                    {"a", Value::string("x\n")},
                                    {"n", Value::unsigned_integer(3)}});
  const RawValue raw = tree;
  EXPECT_EQ(raw.text(), R"({"a":"x\n","n":3,"z":[-0.0]})");
  EXPECT_EQ(raw, tree);
  EXPECT_EQ(raw.get("n")->as_u64(), 3u);
  EXPECT_EQ(raw.get("a")->as_string(), "x\n");
  EXPECT_FALSE(raw.get("y").has_value());
  EXPECT_EQ(raw.to_value(), tree);
  EXPECT_TRUE(RawValue().is_null());
  EXPECT_EQ(RawValue(), Value::null());
  // Read text and set text compare by their compact forms.
  const auto read = parse_raw_value(R"( { "z" : [ -0.0 ] , "n":3, "a":"x\u000a" } )");
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, raw);
}

// A map read as text answers as its entries would, and setting a member keeps what was read.
TEST(RawValues, MapReadAsTextThenSetByCode) {
  Parser p(R"( {"b":1, "a":{"y":[2]}, "b":3} )");
  RawMap map;
  ASSERT_TRUE(read_raw_map(p, map));
  EXPECT_FALSE(map.empty());
  EXPECT_EQ(map.count("b"), 1u);
  EXPECT_EQ(map.at("b").as_u64(), 3u);
  EXPECT_EQ(map.count("c"), 0u);
  const RawMap same = {{"a", Value::object({{"y", Value::array({Value::unsigned_integer(2)})}})},
                       {"b", Value::unsigned_integer(3)}};
  EXPECT_EQ(map, same);
  map["c"] = Value::boolean(true);
  std::string text;
  write_into(text, [&](Output& o) { write_raw_map(o, map); });
  EXPECT_EQ(text, R"({"a":{"y":[2]},"b":3,"c":true})");

  Parser blank("{ }");
  ASSERT_TRUE(read_raw_map(blank, map));
  EXPECT_TRUE(map.empty());
  Parser not_a_map("[1]");
  EXPECT_FALSE(read_raw_map(not_a_map, map));
  EXPECT_EQ(not_a_map.error().message, "invalid type: sequence, expected a map");
}

}  // namespace
}  // namespace fennick::json
