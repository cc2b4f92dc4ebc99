#pragma once
// Strict Ed25519 verification (RFC 8032, cofactorless): s must be below the group order, and
// small-order public keys and small-order R are rejected. Failures are the detail texts that the
// verification messages embed after their own prefixes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fennick::crypto {

using PublicKey = std::array<std::uint8_t, 32>;
using SignatureBytes = std::array<std::uint8_t, 64>;

// Decoded key or signature bytes (held in a string) as a fixed-size array. The caller has checked
// the length; shorter input leaves the tail zero and longer input is cut.
template <std::size_t N>
std::array<std::uint8_t, N> to_byte_array(std::string_view bytes) {
  std::array<std::uint8_t, N> out{};
  for (std::size_t i = 0; i < N && i < bytes.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(bytes[i]);
  }
  return out;
}

// Whether the key decompresses to a curve point. Small-order and mixed-order points do decode:
// they are refused later, by verify_strict. Returns nullopt when the key decodes, else
// "signature error: Cannot decompress Edwards point".
std::optional<std::string> check_point_decodes(const PublicKey& key);

// nullopt when the signature (R followed by s) is valid for the message under the key; else
// "signature error: Cannot use scalar with high-bit set" (s not below the group order, checked
// first), "signature error: Cannot decompress Edwards point" (the key is not a curve point) or
// "signature error: Verification equation was not satisfied" (any other failure).
std::optional<std::string> verify_strict(const PublicKey& key, std::string_view message,
                                         const SignatureBytes& sig);

}  // namespace fennick::crypto
