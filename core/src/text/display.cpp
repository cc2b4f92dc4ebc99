#include "text/display.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "text/quote.h"
#include "text/utf8.h"

namespace fennick::text {

namespace {

bool is_printable_ascii(char byte) { return byte >= 0x20 && byte < 0x7F; }

}  // namespace

std::string omission_marker(std::size_t left_out) {
  if (left_out == 0) return {};
  return "...[" + std::to_string(left_out) + " byte(s) left out]";
}

bool is_escaped_in_display(char32_t c) {
  if (c < 0x80) return c < 0x20 || c == 0x7F;
  if (c <= 0x9F) return true;
  switch (u_charType(static_cast<UChar32>(c))) {
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return true;
    default:
      return false;
  }
}

void append_display_character(std::string& out, std::string_view bytes, char32_t c, bool valid) {
  if (!valid) {
    append_utf8(out, U'\uFFFD');
  } else if (is_escaped_in_display(c)) {
    append_debug_escape(out, c);
  } else {
    out += bytes;
  }
}

std::size_t append_shown(std::string& out, std::string_view value, ShowCharacter show) {
  const std::size_t start = out.size();
  std::size_t pos = 0;
  while (pos < value.size()) {
    const std::size_t begin = pos;
    char32_t c = 0;
    const bool valid = next_code_point(value, pos, c);
    const std::size_t before = out.size();
    show(out, value.substr(begin, pos - begin), c, valid);
    if (out.size() - start > kShownValueBytes) {
      // The character whose shown form crosses the limit is left out whole, escape and all.
      out.resize(before);
      return value.size() - begin;
    }
  }
  return 0;
}

std::string shown_value(std::string_view value) {
  // Ordinary values (ids, digests, versions) are short printable ASCII and pass as they stand.
  if (value.size() <= kShownValueBytes &&
      std::all_of(value.begin(), value.end(), is_printable_ascii)) {
    return std::string(value);
  }
  std::string out;
  out.reserve(std::min(value.size(), kShownValueBytes) + 32);
  const std::size_t left_out = append_shown(out, value, append_display_character);
  out += omission_marker(left_out);
  return out;
}

std::string shown_quoted(std::string_view value) {
  std::string out = "\"";
  const std::size_t left_out = append_shown(out, value, append_debug_quoted_character);
  out += '"';
  out += omission_marker(left_out);
  return out;
}

}  // namespace fennick::text
