#include "crypto/ed25519.h"

#include <sodium.h>

#include <stdexcept>

namespace fennick::crypto {

namespace {

constexpr std::string_view kCannotDecompress = "signature error: Cannot decompress Edwards point";
constexpr std::string_view kScalarHighBit = "signature error: Cannot use scalar with high-bit set";
constexpr std::string_view kEquationFailed =
    "signature error: Verification equation was not satisfied";

// The base point's encoding: y = 4/5, x positive.
constexpr PublicKey kBasePoint = {0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                                  0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                                  0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};

// The group order L = 2^252 + 27742317777372353535851937790883648493, little-endian.
constexpr std::array<std::uint8_t, 32> kGroupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

void ensure_sodium_ready() {
  // sodium_init is idempotent and thread-safe; the static only avoids calling it every time.
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

// s is the second half of the signature, a little-endian integer.
bool scalar_below_group_order(const SignatureBytes& sig) {
  for (std::size_t i = 32; i-- > 0;) {
    const std::uint8_t byte = sig[32 + i];
    if (byte != kGroupOrder[i]) return byte < kGroupOrder[i];
  }
  return false;
}

}  // namespace

std::optional<std::string> check_point_decodes(const PublicKey& key) {
  ensure_sodium_ready();
  // libsodium has no decompression-only call: addition decompresses both operands and fails
  // only when one does not decode, and unlike is_valid_point it accepts small-order points.
  std::array<unsigned char, crypto_core_ed25519_BYTES> sum{};
  if (crypto_core_ed25519_add(sum.data(), key.data(), kBasePoint.data()) != 0) {
    return std::string(kCannotDecompress);
  }
  return std::nullopt;
}

std::optional<std::string> verify_strict(const PublicKey& key, std::string_view message,
                                         const SignatureBytes& sig) {
  if (!scalar_below_group_order(sig)) return std::string(kScalarHighBit);
  if (auto error = check_point_decodes(key)) return error;
  static constexpr unsigned char kNoBytes = 0;
  const auto* const bytes =
      message.empty() ? &kNoBytes : reinterpret_cast<const unsigned char*>(message.data());
  if (crypto_sign_verify_detached(sig.data(), bytes, message.size(), key.data()) != 0) {
    return std::string(kEquationFailed);
  }
  return std::nullopt;
}

}  // namespace fennick::crypto
