#pragma once
// Reading the third-party vector files: a minimal JSON tree (enough for the vector layouts, which
// are trusted test data) and hex decoding.

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::crypto::testing {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool flag = false;
  std::string text;                // string contents, or a number's text
  std::vector<JsonValue> items;    // array elements, or object member values
  std::vector<std::string> names;  // object member names, parallel to items

  // The member's value; fails the current test (and returns a null value) when it is missing.
  const JsonValue& at(std::string_view name) const;
  bool has(std::string_view name) const;
  long long number() const;
};

// Parses one JSON text; throws std::runtime_error on malformed input.
JsonValue parse_json(std::string_view text);

// The file's bytes under the external vectors folder, or nullopt when it is absent.
std::optional<std::string> read_external(std::string_view relative_path);

// Bytes from lower- or upper-case hex; throws std::runtime_error on odd length or a non-hex digit.
std::string from_hex(std::string_view hex);

template <std::size_t N>
std::array<std::uint8_t, N> to_array(std::string_view bytes) {
  std::array<std::uint8_t, N> out{};
  if (bytes.size() != N) throw std::runtime_error("wrong byte count for a fixed-size value");
  for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<std::uint8_t>(bytes[i]);
  return out;
}

}  // namespace fennick::crypto::testing
