#pragma once
// The platform countersign: the saved platform key set (JWKS) and the verification of a compact
// JWS made with one of its Ed25519 keys. The verifier holds no platform key of its own; the key
// is chosen from the user's key set by the `kid` of the JWS header.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/error.h"
#include "json/raw_value.h"
#include "json/read.h"
#include "json/value.h"
#include "result.h"

namespace fennick::certificate {

// One key of the set. Nothing is validated on reading: a wrong `kty`, `crv` or `x` only fails
// when a JWS selects the key.
struct PlatformJwk {
  std::string kty;
  std::string crv;
  std::string x;  // the 32-byte public key, base64url without padding
  std::string kid;
  std::optional<std::string> alg;  // never read
  std::optional<std::string> use;  // never read

  friend bool operator==(const PlatformJwk&, const PlatformJwk&) = default;
};

struct PlatformJwks {
  std::vector<PlatformJwk> keys;

  friend bool operator==(const PlatformJwks&, const PlatformJwks&) = default;
};

// The protected header: the JSON of the first segment.
struct JwsHeader {
  std::string alg;
  std::string typ;
  std::string kid;

  friend bool operator==(const JwsHeader&, const JwsHeader&) = default;
};

const json::RecordSpec& json_record(json::Tag<PlatformJwk>);
const json::RecordSpec& json_record(json::Tag<PlatformJwks>);
const json::RecordSpec& json_record(json::Tag<JwsHeader>);

struct VerifiedJws {
  JwsHeader header;
  json::RawValue payload;  // any JSON value; judging it is the caller's task
};

struct JwsError {
  enum class Kind {
    kMalformed,        // text: what is malformed
    kTypMismatch,      // text: the header's typ; expected: the expected typ
    kUnexpectedAlg,    // text: the header's alg
    kNoKeyMatchesKid,  // text: the header's kid
    kNotEd25519Okp,    // text: the key's kid, possibly followed by ": " and the reason
    kSignatureFailed,  // text: why
  };

  // Values of the header and the key set are held as text::shown_value shows them.
  Kind kind = Kind::kMalformed;
  std::string text;
  std::string expected;  // kTypMismatch only

  static JwsError malformed(std::string text);
  static JwsError typ_mismatch(std::string_view got, std::string expected);
  static JwsError unexpected_alg(std::string_view alg);
  static JwsError no_key_matches_kid(std::string_view kid);
  // The key's kid, then ": " and the reason when there is one.
  static JwsError not_ed25519_okp(std::string_view kid, std::string_view reason = {});
  static JwsError signature_failed(std::string text);

  // The text shown to the user, e.g. "no JWKS key matches kid 'k1'".
  std::string to_string() const;

  friend bool operator==(const JwsError&, const JwsError&) = default;
};

// The key-set file's text, read by the record rules (the file need hold nothing but `keys`).
fennick::Result<PlatformJwks, json::Error> read_platform_jwks_json(std::string_view text);

// One base64url segment (no padding); on failure kMalformed carrying the segment's name, ": " and
// the decoder's detail text. The names in use are "header", "jwk.x", "signature" and "payload".
fennick::Result<std::string, JwsError> decode_segment(std::string_view segment,
                                                      std::string_view name);

// Verifies a compact JWS (header.payload.signature) against the key set: the header must name
// alg "EdDSA" and exactly `expected_typ`, the first key with the header's kid must be an Ed25519
// OKP key, and the signature must verify strictly over the segments as received. The payload is
// decoded only once the signature holds. The first failing step decides the error.
fennick::Result<VerifiedJws, JwsError> verify_compact_jws(std::string_view jws,
                                                          const PlatformJwks& jwks,
                                                          std::string_view expected_typ);

}  // namespace fennick::certificate
