#include "json/parser.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>
#include <vector>

#include "json/scan.h"
#include "json/value.h"
#include "json/writer.h"
#include "text/display.h"
#include "text/utf8.h"

namespace fennick::json {

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Advances pos over plain string bytes (no quote, backslash or control character) and reports
// whether any of them was outside ASCII.
bool skip_plain(std::string_view in, std::size_t& pos) {
  const std::size_t n = in.size();
  std::uint64_t high = 0;
  while (n - pos >= 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, in.data() + pos, 8);
    if (scan::has_string_special(w)) break;
    high |= w;
    pos += 8;
  }
  bool non_ascii = (high & scan::kHighBits) != 0;
  while (pos < n) {
    auto b = static_cast<unsigned char>(in[pos]);
    if (b == '"' || b == '\\' || b < 0x20) break;
    non_ascii |= b >= 0x80;
    ++pos;
  }
  return non_ascii;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string describe_number(const Number& n) {
  switch (n.kind) {
    case Number::Kind::kUnsigned:
      return "integer `" + std::to_string(n.u) + "`";
    case Number::Kind::kNegative:
      return "integer `" + std::to_string(n.i) + "`";
    case Number::Kind::kFloat:
      break;
  }
  return "floating point `" + format_f64(n.f) + "`";
}

std::string describe_found(const Value& v) {
  Number n;
  switch (v.kind()) {
    case Value::Kind::kNull:
      return "null";
    case Value::Kind::kBool:
      return *v.as_bool() ? "boolean `true`" : "boolean `false`";
    case Value::Kind::kUnsigned:
      n.kind = Number::Kind::kUnsigned;
      n.u = *v.as_u64();
      return describe_number(n);
    case Value::Kind::kSigned:
      n.kind = Number::Kind::kNegative;
      n.i = *v.as_negative();
      return describe_number(n);
    case Value::Kind::kFloat:
      n.kind = Number::Kind::kFloat;
      n.f = *v.as_f64();
      return describe_number(n);
    case Value::Kind::kString:
      return "string " + text::shown_quoted(*v.as_string());
    case Value::Kind::kArray:
      return "sequence";
    case Value::Kind::kObject:
      return "map";
  }
  return "map";
}

int Parser::peek_ws() {
  while (pos_ < in_.size()) {
    char c = in_[pos_];
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
      return static_cast<unsigned char>(c);
    }
    ++pos_;
  }
  return -1;
}

bool Parser::set_error(std::string message, std::size_t index, bool placed) {
  if (failed_) return false;
  failed_ = true;
  placed_ = placed;
  error_.message = std::move(message);
  if (placed) {
    std::string_view before = in_.substr(0, index);
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (before[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    error_.line = line;
    error_.column = index - line_start;
  }
  return false;
}

bool Parser::fail_here(std::string message) { return set_error(std::move(message), pos_, true); }

bool Parser::fail_peek(std::string message) {
  return set_error(std::move(message), std::min(in_.size(), pos_ + 1), true);
}

bool Parser::fail_unplaced(std::string message) { return set_error(std::move(message), 0, false); }

void Parser::place_error() {
  if (!failed_ || placed_) return;
  std::string message = std::move(error_.message);
  failed_ = false;
  fail_here(std::move(message));
}

bool Parser::fail_invalid_type(std::string_view expected) {
  std::string found;
  switch (peek()) {
    case 'n':
      eat();
      if (!parse_ident("ull")) return false;
      found = "null";
      break;
    case 't':
      eat();
      if (!parse_ident("rue")) return false;
      found = "boolean `true`";
      break;
    case 'f':
      eat();
      if (!parse_ident("alse")) return false;
      found = "boolean `false`";
      break;
    case '-': {
      eat();
      Number n;
      if (!parse_number(false, n)) return false;
      found = describe_number(n);
      break;
    }
    case '"': {
      eat();
      std::string s;
      if (!parse_string(s)) return false;
      found = "string " + text::shown_quoted(s);
      break;
    }
    case '[':
      found = "sequence";
      break;
    case '{':
      found = "map";
      break;
    default:
      if (is_digit(peek())) {
        Number n;
        if (!parse_number(true, n)) return false;
        found = describe_number(n);
        break;
      }
      return fail_peek("expected value");
  }
  std::string message = "invalid type: ";
  message += found;
  message += ", expected ";
  message += expected;
  return fail_here(std::move(message));
}

bool Parser::parse_ident(std::string_view rest) {
  for (char expected : rest) {
    if (pos_ >= in_.size()) return fail_here("EOF while parsing a value");
    char c = in_[pos_++];
    if (c != expected) return fail_here("expected ident");
  }
  return true;
}

bool Parser::decode_hex_escape(std::uint16_t& out) {
  if (in_.size() - pos_ < 4) {
    pos_ = in_.size();
    return fail_here("EOF while parsing a string");
  }
  int value = 0;
  bool valid = true;
  for (int k = 0; k < 4; ++k) {
    int h = hex_value(in_[pos_ + static_cast<std::size_t>(k)]);
    if (h < 0) valid = false;
    value = value * 16 + (h < 0 ? 0 : h);
  }
  pos_ += 4;
  if (!valid) return fail_here("invalid escape");
  out = static_cast<std::uint16_t>(value);
  return true;
}

bool Parser::parse_escape(std::string& out, bool validate) {
  if (pos_ >= in_.size()) return fail_here("EOF while parsing a string");
  char c = in_[pos_++];
  switch (c) {
    case '"':
      out += '"';
      return true;
    case '\\':
      out += '\\';
      return true;
    case '/':
      out += '/';
      return true;
    case 'b':
      out += '\b';
      return true;
    case 'f':
      out += '\f';
      return true;
    case 'n':
      out += '\n';
      return true;
    case 'r':
      out += '\r';
      return true;
    case 't':
      out += '\t';
      return true;
    case 'u':
      break;
    default:
      return fail_here("invalid escape");
  }
  std::uint16_t n1 = 0;
  if (!decode_hex_escape(n1)) return false;
  if (!validate) return true;
  if (n1 >= 0xDC00 && n1 <= 0xDFFF) return fail_here("lone leading surrogate in hex escape");
  if (n1 < 0xD800 || n1 > 0xDBFF) {
    text::append_utf8(out, n1);
    return true;
  }
  for (char want : {'\\', 'u'}) {
    if (pos_ >= in_.size()) return fail_here("EOF while parsing a string");
    if (in_[pos_] != want) {
      ++pos_;
      return fail_here("unexpected end of hex escape");
    }
    ++pos_;
  }
  std::uint16_t n2 = 0;
  if (!decode_hex_escape(n2)) return false;
  if (n2 < 0xDC00 || n2 > 0xDFFF) return fail_here("lone leading surrogate in hex escape");
  char32_t cp = ((static_cast<char32_t>(n1 - 0xD800) << 10) | (n2 - 0xDC00u)) + 0x10000;
  text::append_utf8(out, cp);
  return true;
}

bool Parser::parse_string(std::string& out) {
  out.clear();
  std::size_t start = pos_;
  const std::size_t n = in_.size();
  bool non_ascii = false;
  for (;;) {
    non_ascii |= skip_plain(in_, pos_);
    if (pos_ == n) return fail_here("EOF while parsing a string");
    char b = in_[pos_];
    if (b == '"') {
      out.append(in_.substr(start, pos_ - start));
      ++pos_;
      // Escapes always yield valid UTF-8; only raw bytes outside ASCII need the check.
      if (non_ascii && !text::is_valid_utf8(out)) return fail_here("invalid unicode code point");
      return true;
    }
    if (b == '\\') {
      out.append(in_.substr(start, pos_ - start));
      ++pos_;
      if (!parse_escape(out, true)) return false;
      start = pos_;
      continue;
    }
    ++pos_;
    return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
  }
}

bool Parser::parse_text(Text& out) {
  const std::size_t start = pos_;
  const bool non_ascii = skip_plain(in_, pos_);
  if (pos_ < in_.size() && in_[pos_] == '"') {
    const std::string_view body = in_.substr(start, pos_ - start);
    ++pos_;
    if (non_ascii && !text::is_valid_utf8(body)) return fail_here("invalid unicode code point");
    out = Text::view_of(kept_, body);
    return true;
  }
  // An escape, or an error: read again from the start the way every kept string is read.
  pos_ = start;
  std::string decoded;
  if (!parse_string(decoded)) return false;
  out = Text(std::move(decoded));
  return true;
}

Parser::Extent Parser::count_elements() const {
  const std::size_t n = in_.size();
  std::size_t pos = pos_;
  while (pos < n && (in_[pos] == ' ' || in_[pos] == '\n' || in_[pos] == '\t' || in_[pos] == '\r')) {
    ++pos;
  }
  if (pos >= n || (in_[pos] != '[' && in_[pos] != '{')) return {};
  const std::size_t start = pos++;
  std::size_t depth = 1;
  std::size_t commas = 0;
  bool any = false;
  const auto extent = [&] { return Extent{commas + (any ? 1 : 0), pos - start}; };
  while (pos < n) {
    const char c = in_[pos++];
    switch (c) {
      case '"':
        // To the closing quote, over escaped characters.
        for (;;) {
          skip_plain(in_, pos);
          if (pos >= n) return extent();
          const char d = in_[pos++];
          if (d == '"') break;
          if (d == '\\' && pos < n) ++pos;
        }
        any = true;
        break;
      case '[':
      case '{':
        ++depth;
        any = true;
        break;
      case ']':
      case '}':
        if (--depth == 0) return extent();
        break;
      case ',':
        if (depth == 1) ++commas;
        break;
      case ' ':
      case '\n':
      case '\t':
      case '\r':
        break;
      default:
        any = true;
        break;
    }
  }
  return extent();
}

bool Parser::ignore_string() {
  const std::size_t n = in_.size();
  std::string unused;
  for (;;) {
    skip_plain(in_, pos_);
    if (pos_ == n) return fail_here("EOF while parsing a string");
    char b = in_[pos_];
    if (b == '"') {
      ++pos_;
      return true;
    }
    if (b == '\\') {
      ++pos_;
      if (!parse_escape(unused, false)) return false;
      unused.clear();
      continue;
    }
    // Unlike a kept string, the position stays before the control character.
    return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
  }
}

bool Parser::parse_number(bool positive, Number& out) {
  const std::size_t start = positive ? pos_ : pos_ - 1;
  if (pos_ >= in_.size()) return fail_here("EOF while parsing a value");
  char first = in_[pos_++];
  std::uint64_t significand = 0;
  bool long_integer = false;
  if (first == '0') {
    if (is_digit(peek())) return fail_peek("invalid number");
  } else if (first >= '1' && first <= '9') {
    significand = static_cast<std::uint64_t>(first - '0');
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    while (is_digit(peek())) {
      auto digit = static_cast<std::uint64_t>(peek() - '0');
      if (!long_integer &&
          (significand > kMax / 10 || (significand == kMax / 10 && digit > kMax % 10))) {
        long_integer = true;
      }
      if (!long_integer) significand = significand * 10 + digit;
      eat();
    }
  } else {
    return fail_here("invalid number");
  }
  int next = peek();
  if (next == '.' || next == 'e' || next == 'E' || long_integer) {
    out.u = significand;  // only whether it is zero matters for exponent overflow
    return parse_decimal_or_exponent(positive, start, out);
  }
  if (positive) {
    out.kind = Number::Kind::kUnsigned;
    out.u = significand;
  } else if (significand != 0 && significand <= (std::uint64_t{1} << 63)) {
    out.kind = Number::Kind::kNegative;
    out.i = significand == (std::uint64_t{1} << 63) ? std::numeric_limits<std::int64_t>::min()
                                                    : -static_cast<std::int64_t>(significand);
  } else {
    // "-0" and integers below the signed range are floating point.
    out.kind = Number::Kind::kFloat;
    out.f = -static_cast<double>(significand);
  }
  return true;
}

bool Parser::parse_decimal_or_exponent(bool positive, std::size_t start, Number& out) {
  const bool zero_significand = out.u == 0 && [&] {
    // A long integer is never zero; a decimal's significand counts every digit.
    for (std::size_t i = start; i < pos_; ++i) {
      if (in_[i] >= '1' && in_[i] <= '9') return false;
    }
    return true;
  }();
  bool significand_zero = zero_significand;
  if (peek() == '.') {
    eat();
    bool any = false;
    while (is_digit(peek())) {
      if (peek() != '0') significand_zero = false;
      eat();
      any = true;
    }
    if (!any) {
      if (peek() >= 0) return fail_peek("invalid number");
      return fail_peek("EOF while parsing a value");
    }
  }
  if (peek() == 'e' || peek() == 'E') {
    eat();
    bool positive_exp = true;
    if (peek() == '+') {
      eat();
    } else if (peek() == '-') {
      eat();
      positive_exp = false;
    }
    if (pos_ >= in_.size()) return fail_here("EOF while parsing a value");
    char c = in_[pos_++];
    if (!is_digit(static_cast<unsigned char>(c))) return fail_here("invalid number");
    std::int64_t exp = c - '0';
    while (is_digit(peek())) {
      exp = exp * 10 + (peek() - '0');
      eat();
      if (exp > std::numeric_limits<std::int32_t>::max()) {
        if (!significand_zero && positive_exp) return fail_here("number out of range");
        while (is_digit(peek())) eat();
        out.kind = Number::Kind::kFloat;
        out.f = positive ? 0.0 : -0.0;
        return true;
      }
    }
  }
  const char* begin = in_.data() + start;
  const char* end = in_.data() + pos_;
  double value = 0.0;
  auto result = std::from_chars(begin, end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value unset: strtod tells overflow from underflow.
    std::string copy(begin, end);
    errno = 0;
    value = std::strtod(copy.c_str(), nullptr);
    if (value == std::numeric_limits<double>::infinity() ||
        value == -std::numeric_limits<double>::infinity()) {
      return fail_here("number out of range");
    }
  } else if (result.ec != std::errc() || value == std::numeric_limits<double>::infinity() ||
             value == -std::numeric_limits<double>::infinity()) {
    return fail_here("number out of range");
  }
  out.kind = Number::Kind::kFloat;
  out.f = value;
  return true;
}

bool Parser::ignore_number() {
  int c = pos_ < in_.size() ? static_cast<unsigned char>(in_[pos_++]) : 0;
  if (c == '0') {
    if (is_digit(peek())) return fail_peek("invalid number");
  } else if (c >= '1' && c <= '9') {
    while (is_digit(peek())) eat();
  } else {
    return fail_here("invalid number");
  }
  if (peek() == '.') return ignore_decimal();
  if (peek() == 'e' || peek() == 'E') return ignore_exponent();
  return true;
}

bool Parser::ignore_decimal() {
  eat();
  bool any = false;
  while (is_digit(peek())) {
    eat();
    any = true;
  }
  if (!any) return fail_peek("invalid number");
  if (peek() == 'e' || peek() == 'E') return ignore_exponent();
  return true;
}

bool Parser::ignore_exponent() {
  eat();
  if (peek() == '+' || peek() == '-') eat();
  int c = pos_ < in_.size() ? static_cast<unsigned char>(in_[pos_++]) : 0;
  if (!is_digit(c)) return fail_here("invalid number");
  while (is_digit(peek())) eat();
  return true;
}

bool Parser::check_scalar(std::string& scratch) {
  const int c = peek_ws();
  switch (c) {
    case -1:
      return fail_peek("EOF while parsing a value");
    case 'n':
      eat();
      return parse_ident("ull");
    case 't':
      eat();
      return parse_ident("rue");
    case 'f':
      eat();
      return parse_ident("alse");
    case '"':
      eat();
      return parse_string(scratch);
    default:
      break;
  }
  Number n;
  if (c == '-') {
    eat();
    return parse_number(false, n);
  }
  if (is_digit(c)) return parse_number(true, n);
  return fail_peek("expected value");
}

bool Parser::ignore_value() {
  // An explicit stack of open brackets: nesting of any depth costs heap, never stack.
  std::vector<char> stack;
  for (;;) {
    int c = peek_ws();
    bool opened = false;
    switch (c) {
      case -1:
        return fail_peek("EOF while parsing a value");
      case 'n':
        eat();
        if (!parse_ident("ull")) return false;
        break;
      case 't':
        eat();
        if (!parse_ident("rue")) return false;
        break;
      case 'f':
        eat();
        if (!parse_ident("alse")) return false;
        break;
      case '-':
        eat();
        if (!ignore_number()) return false;
        break;
      case '"':
        eat();
        if (!ignore_string()) return false;
        break;
      case '[':
      case '{':
        stack.push_back(static_cast<char>(c));
        eat();
        opened = true;
        break;
      default:
        if (is_digit(c)) {
          if (!ignore_number()) return false;
          break;
        }
        return fail_peek("expected value");
    }
    if (stack.empty()) return true;
    bool accept_comma = !opened;
    char frame = stack.back();
    for (;;) {
      int d = peek_ws();
      if (d == ',' && accept_comma) {
        eat();
        break;
      }
      if ((d == ']' && frame == '[') || (d == '}' && frame == '{')) {
        eat();
        stack.pop_back();
        if (stack.empty()) return true;
        frame = stack.back();
        accept_comma = true;
        continue;
      }
      if (d == -1) {
        return fail_peek(frame == '[' ? "EOF while parsing a list" : "EOF while parsing an object");
      }
      if (accept_comma) {
        return fail_peek(frame == '[' ? "expected `,` or `]`" : "expected `,` or `}`");
      }
      break;
    }
    if (frame == '{') {
      int d = peek_ws();
      if (d == '"') {
        eat();
      } else if (d == -1) {
        return fail_peek("EOF while parsing an object");
      } else {
        return fail_peek("key must be a string");
      }
      if (!ignore_string()) return false;
      if (!parse_colon()) return false;
    }
  }
}

bool Parser::end_document() {
  if (peek_ws() >= 0) return fail_peek("trailing characters");
  return true;
}

bool Parser::enter() {
  if (!depth_limit_) return true;
  if (--remaining_depth_ == 0) return fail_peek("recursion limit exceeded");
  return true;
}

bool Parser::end_seq(bool ok) {
  int c = peek_ws();
  if (c == ']') {
    eat();
    return ok;
  }
  if (!ok) {
    if (c == ',') {
      eat();
      peek_ws();
    }
    return false;
  }
  if (c == ',') {
    eat();
    return fail_peek(peek_ws() == ']' ? "trailing comma" : "trailing characters");
  }
  if (c >= 0) return fail_peek("trailing characters");
  return fail_peek("EOF while parsing a list");
}

bool Parser::end_map(bool ok) {
  int c = peek_ws();
  if (c == '}') {
    eat();
    return ok;
  }
  if (!ok) return false;
  if (c == ',') return fail_peek("trailing comma");
  if (c >= 0) return fail_peek("trailing characters");
  return fail_peek("EOF while parsing an object");
}

bool Parser::next_element(bool& first, bool& done) {
  int c = peek_ws();
  done = false;
  if (c == ']') {
    done = true;
    return true;
  }
  if (c == ',' && !first) {
    eat();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail_peek("expected `,` or `]`");
    first = false;
  } else {
    return fail_peek("EOF while parsing a list");
  }
  if (c == ']') return fail_peek("trailing comma");
  if (c < 0) return fail_peek("EOF while parsing a value");
  return true;
}

bool Parser::next_key(bool& first, bool& done) {
  int c = peek_ws();
  done = false;
  if (c == '}') {
    done = true;
    return true;
  }
  if (c == ',' && !first) {
    eat();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail_peek("expected `,` or `}`");
    first = false;
  } else {
    return fail_peek("EOF while parsing an object");
  }
  if (c == '"') return true;
  if (c == '}') return fail_peek("trailing comma");
  if (c < 0) return fail_peek("EOF while parsing a value");
  return fail_peek("key must be a string");
}

bool Parser::parse_colon() {
  int c = peek_ws();
  if (c == ':') {
    eat();
    return true;
  }
  if (c >= 0) return fail_peek("expected `:`");
  return fail_peek("EOF while parsing an object");
}

}  // namespace fennick::json
