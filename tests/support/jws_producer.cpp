#include "support/jws_producer.h"

#include <sodium.h>

#include <stdexcept>

#include "crypto/base64.h"
#include "json/writer.h"

namespace fennick::test_support {

namespace {

std::string_view as_chars(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

std::string Ed25519KeyPair::x() const {
  return crypto::encode_base64_url(as_chars(public_key.data(), public_key.size()));
}

Ed25519KeyPair key_pair_from_seed(std::string_view seed) {
  if (seed.size() != crypto_sign_SEEDBYTES) {
    throw std::invalid_argument("an Ed25519 seed has 32 bytes");
  }
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
  Ed25519KeyPair pair;
  crypto_sign_seed_keypair(pair.public_key.data(), pair.secret_key.data(),
                           reinterpret_cast<const unsigned char*>(seed.data()));
  return pair;
}

Ed25519KeyPair key_pair_from_fill(std::uint8_t fill) {
  return key_pair_from_seed(std::string(crypto_sign_SEEDBYTES, static_cast<char>(fill)));
}

std::string json_string(std::string_view text) {
  std::string out;
  json::write_string(out, text);
  return out;
}

std::string jws_header_json(std::string_view alg, std::string_view typ, std::string_view kid) {
  return "{\"alg\":" + json_string(alg) + ",\"typ\":" + json_string(typ) +
         ",\"kid\":" + json_string(kid) + "}";
}

std::string countersign_payload_json(std::optional<std::string_view> certificate_sha256,
                                     std::optional<std::string_view> envelope_hash,
                                     std::optional<std::string_view> run_id,
                                     std::optional<std::int64_t> grant_count) {
  std::string members;
  const auto add = [&](std::string_view key, const std::string& value) {
    if (!members.empty()) members += ',';
    members += json_string(key) + ":" + value;
  };
  if (certificate_sha256) add("certificate_sha256", json_string(*certificate_sha256));
  if (envelope_hash) add("envelope_hash", json_string(*envelope_hash));
  if (run_id) add("run_id", json_string(*run_id));
  if (grant_count) add("grant_count", std::to_string(*grant_count));
  return "{" + members + "}";
}

std::string sign_segment(std::string_view signing_input, const Ed25519KeyPair& key) {
  std::array<std::uint8_t, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(signing_input.data()),
                       signing_input.size(), key.secret_key.data());
  return crypto::encode_base64_url(as_chars(signature.data(), signature.size()));
}

std::string sign_segments(std::string_view header_segment, std::string_view payload_segment,
                          const Ed25519KeyPair& key) {
  std::string signing_input = std::string(header_segment) + "." + std::string(payload_segment);
  const std::string signature = sign_segment(signing_input, key);
  return signing_input + "." + signature;
}

std::string sign_compact_jws(std::string_view header_json, std::string_view payload_json,
                             const Ed25519KeyPair& key) {
  return sign_segments(crypto::encode_base64_url(header_json),
                       crypto::encode_base64_url(payload_json), key);
}

std::string jwk_json(const JwkSpec& key) {
  std::string out = "{\"kty\":" + json_string(key.kty) + ",\"crv\":" + json_string(key.crv) +
                    ",\"x\":" + json_string(key.x) + ",\"kid\":" + json_string(key.kid);
  if (key.alg) out += ",\"alg\":" + json_string(*key.alg);
  if (key.use) out += ",\"use\":" + json_string(*key.use);
  return out + "}";
}

std::string jwks_json(const std::vector<JwkSpec>& keys) {
  std::string out = "{\"keys\":[";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) out += ',';
    out += jwk_json(keys[i]);
  }
  return out + "]}";
}

}  // namespace fennick::test_support
