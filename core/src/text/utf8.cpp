#include "text/utf8.h"

namespace fennick::text {
namespace {

// What a lead byte announces: the sequence length and the range its second byte must lie in.
// The narrowed ranges after E0, ED, F0 and F4 exclude overlong forms, surrogates and values
// above U+10FFFF (Unicode table 3-7). Length 0 means the byte cannot start a sequence.
struct Lead {
  int length;
  unsigned char low;
  unsigned char high;
};

Lead classify(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

bool next_code_point(std::string_view s, std::size_t& pos, char32_t& cp) {
  if (pos >= s.size()) return false;
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  const Lead lead = classify(b0);
  if (lead.length == 0) {
    ++pos;
    return false;
  }
  char32_t value = b0 & (0x7Fu >> lead.length);
  std::size_t i = pos + 1;
  for (int k = 1; k < lead.length; ++k, ++i) {
    const unsigned char low = k == 1 ? lead.low : 0x80;
    const unsigned char high = k == 1 ? lead.high : 0xBF;
    if (i >= s.size()) {
      pos = i;
      return false;
    }
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < low || b > high) {
      pos = i;
      return false;
    }
    value = (value << 6) | (b & 0x3Fu);
  }
  pos = i;
  cp = value;
  return true;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t pos = 0;
  char32_t cp = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
    } else if (!next_code_point(bytes, pos, cp)) {
      return false;
    }
  }
  return true;
}

void append_utf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
    out += kReplacement;
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t valid_from = 0;
  std::size_t pos = 0;
  char32_t cp = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
    } else if (!next_code_point(bytes, pos, cp)) {
      out.append(bytes.substr(valid_from, start - valid_from));
      out += kReplacement;
      valid_from = pos;
    }
  }
  out.append(bytes.substr(valid_from));
  return out;
}

}  // namespace fennick::text
