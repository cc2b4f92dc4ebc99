#pragma once
// Splitting text at separator characters without copying.

#include <cstddef>
#include <string_view>

#include "text/utf8.h"

namespace fennick::text {

// Calls `visit` with every piece of `s` between characters for which `is_separator` holds, empty
// pieces included. ASCII bytes take a fast path; a byte sequence that does not decode is never a
// separator, so it stays inside its piece.
template <class IsSeparator, class Visit>
void for_each_piece(std::string_view s, IsSeparator is_separator, Visit visit) {
  std::size_t piece_start = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    const auto byte = static_cast<unsigned char>(s[pos]);
    bool separator = false;
    if (byte < 0x80) {
      ++pos;
      separator = is_separator(static_cast<char32_t>(byte));
    } else {
      char32_t cp = 0;
      separator = next_code_point(s, pos, cp) && is_separator(cp);
    }
    if (separator) {
      visit(s.substr(piece_start, start - piece_start));
      piece_start = pos;
    }
  }
  visit(s.substr(piece_start));
}

}  // namespace fennick::text
