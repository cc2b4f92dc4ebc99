#include "text/icu_chunk.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include "text/utf8.h"

namespace fennick::text {
namespace {

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// ASCII that is neither cased nor case-ignorable: final sigma does not look past it, and no
// composition involves it.
bool is_ascii_cut_point(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 0x80) return false;
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) return false;
  return c != '\'' && c != '.' && c != ':' && c != '^' && c != '`';
}

}  // namespace

std::size_t icu_chunk_length(std::string_view text, std::size_t max_bytes) {
  const std::size_t limit = max_bytes < 4 ? 4 : max_bytes;  // room for one whole code point
  if (text.size() <= limit) return text.size();

  for (std::size_t p = limit; p > 0; --p) {
    if (is_ascii_cut_point(text[p])) return p;
  }

  // Text without any such ASCII: cut before a code point that starts a composition segment and
  // that final sigma neither reads nor looks past.
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* const nfc = icu::Normalizer2::getNFCInstance(status);
  for (std::size_t p = limit; p > 0; --p) {
    if (is_continuation(text[p])) continue;
    std::size_t next = p;
    char32_t cp = 0xFFFD;
    next_code_point(text, next, cp);
    const auto c = static_cast<UChar32>(cp);
    if (U_SUCCESS(status) && nfc->hasBoundaryBefore(c) && !u_hasBinaryProperty(c, UCHAR_CASED) &&
        !u_hasBinaryProperty(c, UCHAR_CASE_IGNORABLE)) {
      return p;
    }
  }

  // Last resort: any code point boundary (or any byte, in text that is not UTF-8).
  for (std::size_t p = limit; p > 0; --p) {
    if (!is_continuation(text[p])) return p;
  }
  return limit;
}

}  // namespace fennick::text
