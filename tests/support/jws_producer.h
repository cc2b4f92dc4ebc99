#pragma once
// Test-only producer of platform countersigns: Ed25519 key pairs from fixed seeds, JWKS files and
// compact JWS texts signed with libsodium, so that tests verify real signatures.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::test_support {

inline constexpr std::string_view kCountersignTyp = "torvane-cert-countersign+jws";

struct Ed25519KeyPair {
  std::array<std::uint8_t, 32> public_key{};
  std::array<std::uint8_t, 64> secret_key{};  // libsodium's form: seed followed by public key

  // The public key as a JWK's `x`: base64url without padding.
  std::string x() const;
};

// Deterministic key pair from a 32-byte seed (throws std::invalid_argument on another length).
Ed25519KeyPair key_pair_from_seed(std::string_view seed);
// Shorthand for tests: the seed is 32 copies of `fill`.
Ed25519KeyPair key_pair_from_fill(std::uint8_t fill);

// A JSON string literal, quotes included, with the escapes JSON requires.
std::string json_string(std::string_view text);

// {"alg":...,"typ":...,"kid":...} in that order, compact.
std::string jws_header_json(std::string_view alg, std::string_view typ, std::string_view kid);

// The countersign claims as the platform writes them; absent claims are left out.
std::string countersign_payload_json(std::optional<std::string_view> certificate_sha256,
                                     std::optional<std::string_view> envelope_hash,
                                     std::optional<std::string_view> run_id,
                                     std::optional<std::int64_t> grant_count);

// The detached signature of `signing_input`, base64url without padding.
std::string sign_segment(std::string_view signing_input, const Ed25519KeyPair& key);

// header_segment + "." + payload_segment + "." + signature over the first two, as given.
std::string sign_segments(std::string_view header_segment, std::string_view payload_segment,
                          const Ed25519KeyPair& key);

// The compact JWS of a header and a payload given as JSON text (encoded byte for byte).
std::string sign_compact_jws(std::string_view header_json, std::string_view payload_json,
                             const Ed25519KeyPair& key);

struct JwkSpec {
  std::string kid;
  std::string x;
  std::string kty = "OKP";
  std::string crv = "Ed25519";
  std::optional<std::string> alg = "EdDSA";
  std::optional<std::string> use = "sig";
};

// One key as a JSON object (members kty, crv, x, kid, then alg and use when set).
std::string jwk_json(const JwkSpec& key);
// {"keys":[...]} of the given keys.
std::string jwks_json(const std::vector<JwkSpec>& keys);

}  // namespace fennick::test_support
