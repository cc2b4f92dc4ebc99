#include "text/quote.h"

#include <unicode/uchar.h>

#include <charconv>
#include <cstdint>

#include "text/utf8.h"

namespace fennick::text {

namespace {

bool is_printable(char32_t c) {
  if (c == U' ') return true;
  switch (u_charType(static_cast<UChar32>(c))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
      return false;
    default:
      return true;
  }
}

}  // namespace

void append_debug_escape(std::string& out, char32_t c) {
  switch (c) {
    case U'\0':
      out += "\\0";
      return;
    case U'\t':
      out += "\\t";
      return;
    case U'\r':
      out += "\\r";
      return;
    case U'\n':
      out += "\\n";
      return;
    default: {
      char digits[8];
      const auto r =
          std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c), 16);
      out += "\\u{";
      out.append(digits, r.ptr);
      out += '}';
    }
  }
}

void append_debug_quoted_character(std::string& out, std::string_view bytes, char32_t c,
                                   bool valid) {
  if (!valid) {
    append_utf8(out, U'\uFFFD');
    return;
  }
  switch (c) {
    case U'\\':
      out += "\\\\";
      return;
    case U'"':
      out += "\\\"";
      return;
    default:
      if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_GRAPHEME_EXTEND) || !is_printable(c)) {
        append_debug_escape(out, c);
      } else {
        out += bytes;
      }
  }
}

std::string debug_quote(std::string_view text) {
  std::string out = "\"";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t begin = pos;
    char32_t c = 0;
    const bool valid = next_code_point(text, pos, c);
    append_debug_quoted_character(out, text.substr(begin, pos - begin), c, valid);
  }
  out += '"';
  return out;
}

}  // namespace fennick::text
