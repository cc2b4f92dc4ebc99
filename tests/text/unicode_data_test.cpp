// Conformance against the Unicode 15.0 data files (Debian's unicode-data package) and the
// lower-casing pairs kept under the external acceptance folder.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::text {
namespace {

constexpr char kUcdDir[] = "/usr/share/unicode";
constexpr char32_t kMaxCodePoint = 0x10FFFF;

// The file's text; callers check first that it exists.
std::string read_text(const std::filesystem::path& path) {
  return test_support::read_file_bytes(path).value_or("");
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

char32_t hex(std::string_view digits) {
  return static_cast<char32_t>(std::stoul(std::string(digits), nullptr, 16));
}

// "0041 0301" -> UTF-8
std::string code_points_to_utf8(std::string_view field) {
  std::string out;
  for (const std::string_view item : split(trim(field), ' ')) {
    if (!item.empty()) append_utf8(out, hex(item));
  }
  return out;
}

// Code points of a property in a "range ; Property # comment" file (PropList, DerivedCore...).
std::vector<bool> property_set(const std::string& text, std::string_view property) {
  std::vector<bool> set(kMaxCodePoint + 1, false);
  for (std::string_view line : split(text, '\n')) {
    line = line.substr(0, line.find('#'));
    const auto fields = split(line, ';');
    if (fields.size() < 2 || trim(fields[1]) != property) continue;
    const std::string_view range = trim(fields[0]);
    const std::size_t dots = range.find("..");
    const char32_t first = hex(range.substr(0, dots));
    const char32_t last = dots == std::string_view::npos ? first : hex(range.substr(dots + 2));
    for (char32_t cp = first; cp <= last; ++cp) set[cp] = true;
  }
  return set;
}

bool ucd_present(const char* file) {
  return std::filesystem::exists(std::filesystem::path(kUcdDir) / file);
}

TEST(UnicodeData, WhiteSpaceMatchesPropList) {
  if (!ucd_present("PropList.txt")) GTEST_SKIP() << "unicode-data is not installed";
  const auto expected =
      property_set(read_text(std::filesystem::path(kUcdDir) / "PropList.txt"), "White_Space");
  for (char32_t cp = 0; cp <= kMaxCodePoint; ++cp) {
    ASSERT_EQ(is_white_space(cp), expected[cp]) << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(UnicodeData, AlphabeticMatchesDerivedCoreProperties) {
  if (!ucd_present("DerivedCoreProperties.txt")) GTEST_SKIP() << "unicode-data is not installed";
  const auto expected = property_set(
      read_text(std::filesystem::path(kUcdDir) / "DerivedCoreProperties.txt"), "Alphabetic");
  for (char32_t cp = 0; cp <= kMaxCodePoint; ++cp) {
    ASSERT_EQ(is_alphabetic(cp), expected[cp]) << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(UnicodeData, NumericIsTheNumberCategoriesOfUnicodeData) {
  if (!ucd_present("UnicodeData.txt")) GTEST_SKIP() << "unicode-data is not installed";
  std::vector<bool> expected(kMaxCodePoint + 1, false);
  const std::string data = read_text(std::filesystem::path(kUcdDir) / "UnicodeData.txt");
  char32_t range_start = 0;
  for (const std::string_view line : split(data, '\n')) {
    const auto fields = split(line, ';');
    if (fields.size() < 3) continue;
    const char32_t cp = hex(fields[0]);
    const bool number = fields[2] == "Nd" || fields[2] == "Nl" || fields[2] == "No";
    if (fields[1].ends_with(", First>")) {
      range_start = cp;
      continue;
    }
    const char32_t first = fields[1].ends_with(", Last>") ? range_start : cp;
    for (char32_t c = first; c <= cp; ++c) expected[c] = number;
  }
  for (char32_t cp = 0; cp <= kMaxCodePoint; ++cp) {
    ASSERT_EQ(is_numeric(cp), expected[cp]) << std::hex << static_cast<unsigned>(cp);
    ASSERT_EQ(is_alphanumeric(cp), expected[cp] || is_alphabetic(cp));
  }
}

// NFC(c1) = NFC(c2) = NFC(c3) = c2 and NFC(c4) = NFC(c5) = c4 on every line; code points that
// Part 1 does not list are unchanged.
TEST(UnicodeData, NfcMatchesNormalizationTest) {
  const std::filesystem::path plain = std::filesystem::path(kUcdDir) / "NormalizationTest.txt";
  const std::filesystem::path packed = std::filesystem::path(kUcdDir) / "NormalizationTest.txt.bz2";
  std::string text;
  if (std::filesystem::exists(plain)) {
    text = read_text(plain);
  } else if (std::filesystem::exists(packed)) {
    const std::string command = "bzcat '" + packed.string() + "'";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe) << command;
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) text.append(buffer, n);
  } else {
    GTEST_SKIP() << "NormalizationTest.txt of unicode-data is not installed";
  }
  ASSERT_NE(text.find("NormalizationTest-15.0.0.txt"), std::string::npos);

  std::vector<bool> listed_in_part1(kMaxCodePoint + 1, false);
  std::string part;
  std::size_t lines = 0;
  for (std::string_view line : split(text, '\n')) {
    if (line.starts_with("@")) {
      part = std::string(trim(line.substr(0, line.find('#'))));
      continue;
    }
    line = line.substr(0, line.find('#'));
    const auto fields = split(line, ';');
    if (fields.size() < 5) continue;
    std::string c[5];
    for (int i = 0; i < 5; ++i) c[i] = code_points_to_utf8(fields[static_cast<std::size_t>(i)]);
    ++lines;
    EXPECT_EQ(nfc(c[0]), c[1]) << line;
    EXPECT_EQ(nfc(c[1]), c[1]) << line;
    EXPECT_EQ(nfc(c[2]), c[1]) << line;
    EXPECT_EQ(nfc(c[3]), c[3]) << line;
    EXPECT_EQ(nfc(c[4]), c[3]) << line;
    if (part == "@Part1") listed_in_part1[hex(trim(fields[0]))] = true;
  }
  EXPECT_EQ(lines, 19074u);

  for (char32_t cp = 0; cp <= kMaxCodePoint; ++cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || listed_in_part1[cp]) continue;
    std::string one;
    append_utf8(one, cp);
    ASSERT_EQ(nfc(one), one) << std::hex << static_cast<unsigned>(cp);
  }
}

// Reads the JSON string that starts at the quote at `pos`.
std::string json_string(std::string_view json, std::size_t& pos) {
  std::string out;
  ++pos;
  while (pos < json.size() && json[pos] != '"') {
    if (json[pos] != '\\') {
      out += json[pos++];
      continue;
    }
    const char escape = json[pos + 1];
    pos += 2;
    if (escape == 'u') {
      char32_t cp = hex(json.substr(pos, 4));
      pos += 4;
      if (cp >= 0xD800 && cp <= 0xDBFF && json.substr(pos, 2) == "\\u") {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (hex(json.substr(pos + 2, 4)) - 0xDC00);
        pos += 6;
      }
      append_utf8(out, cp);
    } else {
      const std::string_view from = "\"\\/bfnrt";
      const std::string_view to = "\"\\/\b\f\n\r\t";
      out += to[from.find(escape)];
    }
  }
  ++pos;
  return out;
}

std::string json_member(std::string_view json, std::string_view key, std::size_t& pos) {
  pos = json.find("\"" + std::string(key) + "\"", pos);
  if (pos == std::string_view::npos) return {};
  pos = json.find('"', json.find(':', pos));
  return json_string(json, pos);
}

TEST(UnicodeData, LowerCasingPairs) {
  const std::filesystem::path file =
      std::filesystem::path(FENNICK_EXTERNAL_DIR) / "unicode" / "rust-std-to_lowercase.json";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "external folder absent: " << file;
  const std::string json = read_text(file);
  std::size_t pos = json.find("\"cases\"");
  ASSERT_NE(pos, std::string::npos);
  std::vector<std::pair<std::string, std::string>> cases;
  while (true) {
    std::string input = json_member(json, "input", pos);
    if (pos == std::string::npos) break;
    std::string expected = json_member(json, "expected", pos);
    ASSERT_NE(pos, std::string::npos);
    cases.emplace_back(std::move(input), std::move(expected));
  }
  ASSERT_EQ(cases.size(), 26u);
  for (const auto& [input, expected] : cases) EXPECT_EQ(to_lower(input), expected) << input;
}

}  // namespace
}  // namespace fennick::text
