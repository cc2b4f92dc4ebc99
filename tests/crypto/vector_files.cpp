#include "crypto/vector_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "support/files.h"

namespace fennick::crypto::testing {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue parse_document() {
    JsonValue value = parse_value();
    skip_space();
    if (pos_ != text_.size()) fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("vector JSON: " + what + " at byte " + std::to_string(pos_));
  }

  void skip_space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  char next() {
    if (pos_ >= text_.size()) fail("unexpected end");
    return text_[pos_++];
  }

  void expect(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) fail("expected " + std::string(word));
    pos_ += word.size();
  }

  JsonValue parse_value() {
    skip_space();
    if (pos_ >= text_.size()) fail("unexpected end");
    JsonValue value;
    const char c = text_[pos_];
    if (c == '{') {
      value.kind = JsonValue::Kind::kObject;
      ++pos_;
      skip_space();
      if (text_.substr(pos_, 1) == "}") return ++pos_, value;
      while (true) {
        skip_space();
        if (next() != '"') fail("expected a member name");
        value.names.push_back(parse_string_body());
        skip_space();
        if (next() != ':') fail("expected ':'");
        value.items.push_back(parse_value());
        skip_space();
        const char separator = next();
        if (separator == '}') return value;
        if (separator != ',') fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      value.kind = JsonValue::Kind::kArray;
      ++pos_;
      skip_space();
      if (text_.substr(pos_, 1) == "]") return ++pos_, value;
      while (true) {
        value.items.push_back(parse_value());
        skip_space();
        const char separator = next();
        if (separator == ']') return value;
        if (separator != ',') fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      ++pos_;
      value.kind = JsonValue::Kind::kString;
      value.text = parse_string_body();
      return value;
    }
    if (c == 't' || c == 'f') {
      value.kind = JsonValue::Kind::kBool;
      value.flag = c == 't';
      expect(value.flag ? "true" : "false");
      return value;
    }
    if (c == 'n') {
      expect("null");
      return value;
    }
    value.kind = JsonValue::Kind::kNumber;
    const std::size_t start = pos_;
    while (pos_ < text_.size() &&
           std::string_view("+-.0123456789eE").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
    if (pos_ == start) fail("unexpected character");
    value.text = std::string(text_.substr(start, pos_ - start));
    return value;
  }

  // The vector files use only ASCII and the escapes below.
  std::string parse_string_body() {
    std::string out;
    while (true) {
      const char c = next();
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      const char escaped = next();
      switch (escaped) {
        case '"':
        case '\\':
        case '/':
          out.push_back(escaped);
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        default:
          fail(std::string("unsupported escape \\") + escaped);
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::runtime_error("not a hex digit");
}

}  // namespace

const JsonValue& JsonValue::at(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return items[i];
  }
  ADD_FAILURE() << "vector JSON: no member \"" << name << "\"";
  static const JsonValue kMissing;
  return kMissing;
}

bool JsonValue::has(std::string_view name) const {
  for (const auto& n : names) {
    if (n == name) return true;
  }
  return false;
}

long long JsonValue::number() const { return std::stoll(text); }

JsonValue parse_json(std::string_view text) { return Parser(text).parse_document(); }

std::optional<std::string> read_external(std::string_view relative_path) {
  return test_support::read_file_bytes(std::filesystem::path(FENNICK_EXTERNAL_DIR) / relative_path);
}

std::string from_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd-length hex");
  std::string out(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(hex_digit(hex[2 * i]) * 16 + hex_digit(hex[2 * i + 1]));
  }
  return out;
}

}  // namespace fennick::crypto::testing
