#include "certificate/countersign.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "crypto/base64.h"
#include "crypto/ed25519.h"
#include "text/display.h"

namespace fennick::certificate {

namespace {

constexpr std::string_view kEdDsa = "EdDSA";

}  // namespace

const json::RecordSpec& json_record(json::Tag<PlatformJwk>) {
  static const json::RecordSpec table(
      "PlatformJwk", {json::field<&PlatformJwk::kty>("kty", json::kRequired),
                      json::field<&PlatformJwk::crv>("crv", json::kRequired),
                      json::field<&PlatformJwk::x>("x", json::kRequired),
                      json::field<&PlatformJwk::kid>("kid", json::kRequired),
                      json::field<&PlatformJwk::alg>("alg", json::kOptionalDefaulted),
                      json::field<&PlatformJwk::use>("use", json::kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<PlatformJwks>) {
  static const json::RecordSpec table("PlatformJwks",
                                      {json::field<&PlatformJwks::keys>("keys", json::kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<JwsHeader>) {
  static const json::RecordSpec table("JwsHeader",
                                      {json::field<&JwsHeader::alg>("alg", json::kRequired),
                                       json::field<&JwsHeader::typ>("typ", json::kRequired),
                                       json::field<&JwsHeader::kid>("kid", json::kRequired)});
  return table;
}

JwsError JwsError::malformed(std::string text) {
  return JwsError{Kind::kMalformed, std::move(text), {}};
}
JwsError JwsError::typ_mismatch(std::string_view got, std::string expected) {
  return JwsError{Kind::kTypMismatch, text::shown_value(got), std::move(expected)};
}
JwsError JwsError::unexpected_alg(std::string_view alg) {
  return JwsError{Kind::kUnexpectedAlg, text::shown_value(alg), {}};
}
JwsError JwsError::no_key_matches_kid(std::string_view kid) {
  return JwsError{Kind::kNoKeyMatchesKid, text::shown_value(kid), {}};
}
JwsError JwsError::not_ed25519_okp(std::string_view kid, std::string_view reason) {
  std::string text = text::shown_value(kid);
  if (!reason.empty()) {
    text += ": ";
    text += reason;
  }
  return JwsError{Kind::kNotEd25519Okp, std::move(text), {}};
}
JwsError JwsError::signature_failed(std::string text) {
  return JwsError{Kind::kSignatureFailed, std::move(text), {}};
}

std::string JwsError::to_string() const {
  switch (kind) {
    case Kind::kMalformed:
      return "malformed compact JWS: " + text;
    case Kind::kTypMismatch:
      return "JWS typ mismatch: got '" + text + "', expected '" + expected +
             "' (domain separation)";
    case Kind::kUnexpectedAlg:
      return "unexpected JWS alg '" + text + "' (expected EdDSA)";
    case Kind::kNoKeyMatchesKid:
      return "no JWKS key matches kid '" + text + "'";
    case Kind::kNotEd25519Okp:
      return "JWKS key '" + text + "' is not an Ed25519 OKP key";
    case Kind::kSignatureFailed:
      return "JWS signature verification failed: " + text;
  }
  return "malformed compact JWS: " + text;
}

fennick::Result<PlatformJwks, json::Error> read_platform_jwks_json(std::string_view text) {
  return json::from_json<PlatformJwks>(text);
}

fennick::Result<std::string, JwsError> decode_segment(std::string_view segment,
                                                      std::string_view name) {
  auto bytes = crypto::decode_base64_url(segment);
  if (!bytes) {
    return Err(JwsError::malformed(std::string(name) + ": " + bytes.error()));
  }
  return std::move(bytes).value();
}

fennick::Result<VerifiedJws, JwsError> verify_compact_jws(std::string_view jws,
                                                          const PlatformJwks& jwks,
                                                          std::string_view expected_typ) {
  // Exactly two dots; empty segments are kept and fail at their own step.
  const std::size_t first_dot = jws.find('.');
  const std::size_t second_dot =
      first_dot == std::string_view::npos ? first_dot : jws.find('.', first_dot + 1);
  if (second_dot == std::string_view::npos ||
      jws.find('.', second_dot + 1) != std::string_view::npos) {
    return Err(JwsError::malformed("expected 3 segments"));
  }
  const std::string_view header_segment = jws.substr(0, first_dot);
  const std::string_view payload_segment = jws.substr(first_dot + 1, second_dot - first_dot - 1);
  const std::string_view signature_segment = jws.substr(second_dot + 1);

  auto header_bytes = decode_segment(header_segment, "header");
  if (!header_bytes) return Err(std::move(header_bytes).error());
  auto parsed_header = json::from_json<JwsHeader>(*header_bytes);
  if (!parsed_header) {
    return Err(JwsError::malformed("header JSON: " + parsed_header.error().to_string()));
  }
  JwsHeader header = std::move(parsed_header).value();

  if (header.alg != kEdDsa) return Err(JwsError::unexpected_alg(header.alg));
  if (header.typ != expected_typ) {
    return Err(JwsError::typ_mismatch(header.typ, std::string(expected_typ)));
  }

  // Only the first key with the kid counts: a later duplicate must not rescue a bad first one.
  const auto key = std::find_if(jwks.keys.begin(), jwks.keys.end(),
                                [&](const PlatformJwk& k) { return k.kid == header.kid; });
  if (key == jwks.keys.end()) return Err(JwsError::no_key_matches_kid(header.kid));
  if (key->kty != "OKP" || key->crv != "Ed25519") {
    return Err(JwsError::not_ed25519_okp(key->kid));
  }
  auto x = decode_segment(key->x, "jwk.x");
  if (!x) return Err(std::move(x).error());
  if (x->size() != 32) return Err(JwsError::not_ed25519_okp(key->kid));
  const crypto::PublicKey public_key = crypto::to_byte_array<32>(*x);
  if (auto reason = crypto::check_point_decodes(public_key)) {
    return Err(JwsError::not_ed25519_okp(key->kid, *reason));
  }

  auto signature = decode_segment(signature_segment, "signature");
  if (!signature) return Err(std::move(signature).error());
  if (signature->size() != 64) return Err(JwsError::signature_failed("signature length != 64"));

  // The signature covers the segments as received, not a re-encoding of their content.
  const std::string_view signing_input = jws.substr(0, second_dot);
  if (auto reason =
          crypto::verify_strict(public_key, signing_input, crypto::to_byte_array<64>(*signature))) {
    return Err(JwsError::signature_failed("Ed25519: " + *reason));
  }

  auto payload_bytes = decode_segment(payload_segment, "payload");
  if (!payload_bytes) return Err(std::move(payload_bytes).error());
  auto payload = json::parse_raw_value(std::move(*payload_bytes));
  if (!payload) return Err(JwsError::malformed("payload JSON: " + payload.error().to_string()));

  return VerifiedJws{std::move(header), std::move(payload).value()};
}

}  // namespace fennick::certificate
