#include "json/writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "json/scan.h"

namespace fennick::json {

namespace {
constexpr char kHex[] = "0123456789abcdef";
}

void write_string(Output& out, std::string_view text) {
  out += '"';
  std::size_t start = 0;
  std::size_t i = 0;
  while (text.size() - i >= 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, text.data() + i, 8);
    if (scan::has_string_special(w)) break;
    i += 8;
  }
  for (; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out += text.substr(start, i - start);
    start = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
  }
  out += text.substr(start);
  out += '"';
}

void write_u64(Output& out, std::uint64_t n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  out += std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

void write_i64(Output& out, std::int64_t n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  out += std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

void write_bool(Output& out, bool b) { out += b ? "true" : "false"; }

void write_f64(Output& out, double d) {
  if (!std::isfinite(d)) {
    // Reading never yields these; a JSON writer has no text for them.
    out += "null";
    return;
  }
  if (d == 0.0) {
    out += std::signbit(d) ? "-0.0" : "0.0";
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
  if (sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  // sci is "d[.ddd]e[+-]xx": collect the digits and the decimal exponent.
  std::size_t e_pos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exp10 = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  const int n = static_cast<int>(digits.size());
  const int k = exp10 + 1;  // value = 0.d1..dn x 10^k
  if (k > 0 && k <= 16) {
    const std::string_view all = digits;
    if (n <= k) {
      out += all;
      for (int z = n; z < k; ++z) out += '0';
      out += ".0";
    } else {
      out += all.substr(0, static_cast<std::size_t>(k));
      out += '.';
      out += all.substr(static_cast<std::size_t>(k));
    }
  } else if (k > -5 && k <= 0) {
    out += "0.";
    for (int z = k; z < 0; ++z) out += '0';
    out += digits;
  } else {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out += std::string_view(digits).substr(1);
    }
    out += 'e';
    write_i64(out, k - 1);
  }
}

std::string format_f64(double d) {
  std::string out;
  write_f64(out, d);
  return out;
}

void write_value(Output& out, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull:
      out += "null";
      return;
    case Value::Kind::kBool:
      write_bool(out, *v.as_bool());
      return;
    case Value::Kind::kUnsigned:
      write_u64(out, *v.as_u64());
      return;
    case Value::Kind::kSigned:
      write_i64(out, *v.as_negative());
      return;
    case Value::Kind::kFloat:
      write_f64(out, *v.as_f64());
      return;
    case Value::Kind::kString:
      write_string(out, *v.as_string());
      return;
    case Value::Kind::kArray: {
      out += '[';
      bool first = true;
      for (const Value& e : *v.as_array()) {
        if (!first) out += ',';
        first = false;
        write_value(out, e);
      }
      out += ']';
      return;
    }
    case Value::Kind::kObject: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : *v.as_object()) {
        if (!first) out += ',';
        first = false;
        write_string(out, key);
        out += ':';
        write_value(out, member);
      }
      out += '}';
      return;
    }
  }
}

// The string overloads: the same text through a window drained into the string.

void write_string(std::string& out, std::string_view text) {
  write_into(out, [&](Output& o) { write_string(o, text); });
}
void write_u64(std::string& out, std::uint64_t n) {
  write_into(out, [&](Output& o) { write_u64(o, n); });
}
void write_i64(std::string& out, std::int64_t n) {
  write_into(out, [&](Output& o) { write_i64(o, n); });
}
void write_f64(std::string& out, double d) {
  write_into(out, [&](Output& o) { write_f64(o, d); });
}
void write_bool(std::string& out, bool b) {
  write_into(out, [&](Output& o) { write_bool(o, b); });
}
void write_value(std::string& out, const Value& v) {
  write_into(out, [&](Output& o) { write_value(o, v); });
}

}  // namespace fennick::json
