#include "text/unicode.h"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <stdexcept>

#include "text/icu_chunk.h"
#include "text/utf8.h"

namespace fennick::text {
namespace {

// ICU's handling of ill-formed UTF-8 is its own; U+FFFD in their place keeps the result defined.
template <class Transform>
std::string transform_pieces(std::string_view utf8, Transform transform) {
  std::string repaired;
  if (!is_valid_utf8(utf8)) {
    repaired = lossy_utf8(utf8);
    utf8 = repaired;
  }
  std::string out;
  out.reserve(utf8.size());
  icu::StringByteSink<std::string> sink(&out);
  while (!utf8.empty()) {
    const std::size_t length = icu_chunk_length(utf8, kIcuChunkBytes);
    UErrorCode status = U_ZERO_ERROR;
    transform(icu::StringPiece(utf8.data(), static_cast<int32_t>(length)), sink, status);
    if (U_FAILURE(status)) {
      // Only an ICU data or allocation failure lands here: a broken installation.
      throw std::runtime_error(std::string("ICU failed: ") + u_errorName(status));
    }
    utf8.remove_prefix(length);
  }
  return out;
}

}  // namespace

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string to_lower(std::string_view utf8) {
  if (is_ascii(utf8)) {
    std::string out(utf8);
    for (char& c : out) c = ascii_lower(c);
    return out;
  }
  return transform_pieces(utf8,
                          [](icu::StringPiece piece, icu::ByteSink& sink, UErrorCode& status) {
                            // "" is the root locale (nullptr would be the process's default
                            // locale).
                            icu::CaseMap::utf8ToLower("", 0, piece, sink, nullptr, status);
                          });
}

std::string nfc(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  return transform_pieces(
      utf8, [](icu::StringPiece piece, icu::ByteSink& sink, UErrorCode& status) {
        const icu::Normalizer2* const normalizer = icu::Normalizer2::getNFCInstance(status);
        if (U_SUCCESS(status)) normalizer->normalizeUTF8(0, piece, sink, nullptr, status);
      });
}

bool is_white_space(char32_t cp) {
  if (cp < 0x80) return cp == ' ' || (cp >= 0x09 && cp <= 0x0D);
  return cp <= 0x10FFFF && u_isUWhiteSpace(static_cast<UChar32>(cp));
}

bool is_alphabetic(char32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
  return cp <= 0x10FFFF && u_isUAlphabetic(static_cast<UChar32>(cp));
}

bool is_numeric(char32_t cp) {
  if (cp < 0x80) return cp >= '0' && cp <= '9';
  if (cp > 0x10FFFF) return false;
  const auto category = u_charType(static_cast<UChar32>(cp));
  return category == U_DECIMAL_DIGIT_NUMBER || category == U_LETTER_NUMBER ||
         category == U_OTHER_NUMBER;
}

bool is_alphanumeric(char32_t cp) { return is_alphabetic(cp) || is_numeric(cp); }

}  // namespace fennick::text
