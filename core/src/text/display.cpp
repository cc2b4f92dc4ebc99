#include "text/display.h"

#include <cstdint>

#include "text/quote.h"
#include "text/utf8.h"

namespace fennick::text {

CutValue cut_for_display(std::string_view value) {
  if (value.size() <= kShownValueBytes) return CutValue{value, 0};
  std::size_t end = 0;
  std::size_t pos = 0;
  char32_t c = 0;
  while (pos < value.size()) {
    next_code_point(value, pos, c);  // an invalid sequence advances like one character
    if (pos > kShownValueBytes) break;
    end = pos;
  }
  return CutValue{value.substr(0, end), value.size() - end};
}

std::string omission_marker(std::size_t left_out) {
  if (left_out == 0) return {};
  return "...[" + std::to_string(left_out) + " byte(s) left out]";
}

bool is_escaped_in_display(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

std::string escaped_for_display(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 32);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t begin = pos;
    char32_t c = 0;
    if (!next_code_point(text, pos, c)) {
      append_utf8(out, U'\uFFFD');
      continue;
    }
    if (!is_escaped_in_display(c)) {
      out.append(text.substr(begin, pos - begin));
      continue;
    }
    append_debug_escape(out, c);
  }
  return out;
}

std::string shown_value(std::string_view value) {
  const CutValue cut = cut_for_display(value);
  return escaped_for_display(cut.kept) + omission_marker(cut.left_out);
}

std::string shown_quoted(std::string_view value) {
  const CutValue cut = cut_for_display(value);
  return debug_quote(cut.kept) + omission_marker(cut.left_out);
}

}  // namespace fennick::text
