#pragma once
// Digest texts that many tests expect literally.

#include <string>
#include <string_view>

namespace fennick::test_support {

// SHA-256 of the empty input (FIPS 180-2): an empty file, an empty corpus listing, no tokens.
inline constexpr std::string_view kEmptySha256 =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// The digest text with its hex letters in upper case: the same bytes, spelled another way, which
// digest comparisons must not accept.
inline std::string upper_hex(std::string hex) {
  for (char& c : hex) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return hex;
}

}  // namespace fennick::test_support
