#pragma once
// The fixed platform key set of the countersign fuzz targets: one sound Ed25519 key (seed 32 x
// 0x01, kid "k1", the key the seed inputs are signed with), a small-order key, a key that is no OKP
// key, a key whose x is not a key, and a repeated kid whose first key is not Ed25519.

#include <sodium.h>

#include <array>
#include <optional>
#include <string>

#include "certificate/countersign.h"
#include "check.h"
#include "crypto/base64.h"

namespace fennick::fuzz {

inline certificate::PlatformJwks fixed_key_set() {
  using certificate::PlatformJwk;

  FENNICK_FUZZ_CHECK(sodium_init() >= 0);
  std::array<unsigned char, crypto_sign_SEEDBYTES> seed{};
  seed.fill(0x01);
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> public_key{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_key{};
  crypto_sign_seed_keypair(public_key.data(), secret_key.data(), seed.data());
  const std::string x = fennick::crypto::encode_base64_url(
      std::string_view(reinterpret_cast<const char*>(public_key.data()), public_key.size()));
  // The identity point: it decodes, but strict verification refuses it.
  std::string identity(32, '\0');
  identity[0] = '\x01';
  const std::string small = fennick::crypto::encode_base64_url(identity);

  certificate::PlatformJwks jwks;
  jwks.keys.push_back(PlatformJwk{"OKP", "Ed25519", x, "k1", "EdDSA", "sig"});
  jwks.keys.push_back(PlatformJwk{"OKP", "Ed25519", small, "small", std::nullopt, std::nullopt});
  jwks.keys.push_back(PlatformJwk{"EC", "P-256", x, "ec", std::nullopt, std::nullopt});
  jwks.keys.push_back(PlatformJwk{"OKP", "Ed25519", "AAAA", "short", std::nullopt, std::nullopt});
  jwks.keys.push_back(PlatformJwk{"OKP", "Ed448", x, "dup", std::nullopt, std::nullopt});
  jwks.keys.push_back(PlatformJwk{"OKP", "Ed25519", x, "dup", std::nullopt, std::nullopt});
  return jwks;
}

}  // namespace fennick::fuzz
