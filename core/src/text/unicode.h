#pragma once
// Unicode text rules of the provenance audit: full lower-casing, NFC and character properties
// (Unicode 15.0 through ICU). Input is expected to be valid UTF-8; invalid sequences are read as
// U+FFFD rather than trusted.

#include <string>
#include <string_view>

namespace fennick::text {

// True when every byte is below 0x80.
bool is_ascii(std::string_view s);

// "A" to "Z" lowered, every other byte kept: for ASCII text this is the whole lower-case mapping.
constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool is_ascii_alphanumeric(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9');
}

// Full lower-case mapping of the root locale: final sigma applies, U+0130 becomes "i\u0307", no
// language-specific rules.
std::string to_lower(std::string_view utf8);

// Canonical composition (NFC, not NFKC).
std::string nfc(std::string_view utf8);

bool is_white_space(char32_t cp);   // White_Space property
bool is_alphabetic(char32_t cp);    // Alphabetic property
bool is_numeric(char32_t cp);       // general category Nd, Nl or No
bool is_alphanumeric(char32_t cp);  // alphabetic or numeric

}  // namespace fennick::text
