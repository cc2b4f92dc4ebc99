#include "certificate/hash.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "certificate/canonical.h"
#include "crypto/base64.h"
#include "crypto/ed25519.h"
#include "crypto/sha256.h"
#include "json/output.h"
#include "text/display.h"

namespace fennick::certificate {
namespace {

// The signing input: the claimed digest stays, the signature and the platform's seal go (the seal
// is added after signing and carries its own signature). Written whole: the signature is checked
// over one contiguous message.
fennick::Result<std::string> signing_input(const GovernanceCertificate& certificate) {
  return write_certificate_json(certificate, CertificateText::kSigningInput);
}

}  // namespace

std::string compute_certificate_hash(const GovernanceCertificate& certificate) {
  // The text goes to the digest window by window: no buffer of the whole text.
  crypto::Sha256 hasher;
  json::write_through([&hasher](std::string_view piece) { hasher.update(piece); },
                      [&](json::Output& o) {
                        write_certificate_json(certificate, CertificateText::kHashInput, o);
                      });
  return hasher.finish_hex();
}

std::optional<std::string> check_certificate_hash(const GovernanceCertificate& certificate) {
  std::string computed = compute_certificate_hash(certificate);
  if (computed == certificate.certificate_hash) return std::nullopt;
  return "certificate hash mismatch: expected " + std::move(computed) + ", got " +
         text::shown_value(certificate.certificate_hash);
}

std::optional<std::string> check_certificate_signature(const GovernanceCertificate& certificate) {
  if (certificate.signing_public_key.empty()) {
    return "certificate is unsigned (signing_public_key empty) -- rejected per FR-008.2";
  }
  if (certificate.cert_signature.empty()) {
    return "certificate is unsigned (cert_signature empty) -- rejected per FR-008.1";
  }

  const fennick::Result<std::string> key_bytes =
      crypto::decode_base64_standard(certificate.signing_public_key);
  if (!key_bytes.ok()) return "signing_public_key base64 decode: " + key_bytes.error();
  if (key_bytes->size() != 32) {
    return "signing_public_key length " + std::to_string(key_bytes->size()) + " != 32";
  }
  const crypto::PublicKey key = crypto::to_byte_array<32>(*key_bytes);
  if (std::optional<std::string> bad = crypto::check_point_decodes(key)) {
    return "signing_public_key not a valid Ed25519 point: " + *bad;
  }

  const fennick::Result<std::string> signature_bytes =
      crypto::decode_base64_standard(certificate.cert_signature);
  if (!signature_bytes.ok()) return "cert_signature base64 decode: " + signature_bytes.error();
  if (signature_bytes->size() != 64) {
    return "cert_signature length " + std::to_string(signature_bytes->size()) + " != 64";
  }
  const crypto::SignatureBytes signature = crypto::to_byte_array<64>(*signature_bytes);

  const fennick::Result<std::string> message = signing_input(certificate);
  if (!message.ok()) {
    return "certificate re-serialises to JSON for verification: " + message.error();
  }
  if (std::optional<std::string> failed = crypto::verify_strict(key, *message, signature)) {
    return "Ed25519 signature verification failed: " + *failed;
  }
  return std::nullopt;
}

}  // namespace fennick::certificate
