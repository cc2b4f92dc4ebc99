#include "certificate/chain.h"

#include <algorithm>
#include <array>
#include <utility>

#include "certificate/canonical.h"
#include "crypto/base64.h"
#include "crypto/sha256.h"
#include "text/display.h"

namespace fennick::certificate {
namespace {

using Kind = ManifestVerifyError::Kind;

ManifestVerifyError error(Kind kind, std::string first, std::string second = {}) {
  return ManifestVerifyError{kind, std::move(first), std::move(second)};
}

// An error that names values of the certificate carries them as shown: a megabyte run id is
// never copied into every failing manifest's error, only its first kShownValueBytes.
ManifestVerifyError naming(Kind kind, std::string_view first, std::string_view second = {}) {
  return error(kind, text::shown_value(first), text::shown_value(second));
}

}  // namespace

std::string ManifestVerifyError::to_string() const {
  switch (kind) {
    case Kind::kSignature:
      return "manifest signature verification failed: " + first;
    case Kind::kUnknownSigner:
      return "signer's ephemeral_key_id " + first + " is not registered in run " + second +
             "'s key chain";
    case Kind::kRunMismatch:
      return "manifest's run_id " + first + " does not match expected run " + second +
             " (cross-run swap)";
    case Kind::kToStageMismatch:
      return "manifest's to_stage " + first + " does not match expected receiver " + second;
    case Kind::kForgedFingerprint:
      return "key " + first +
             " is registered under a fingerprint that is not the SHA-256 of its own public key "
             "(forged key-chain entry)";
    case Kind::kInvalidKeyMaterial:
      return "invalid key material: " + first;
    case Kind::kSerialization:
      return "serialization failed: " + first;
  }
  return {};
}

std::string key_fingerprint(const crypto::PublicKey& key) {
  const std::array<std::uint8_t, 32> digest =
      crypto::sha256({reinterpret_cast<const char*>(key.data()), key.size()});
  return crypto::encode_base64_standard(
      {reinterpret_cast<const char*>(digest.data()), digest.size()});
}

std::string manifest_signing_input(const InterStageManifest& manifest) {
  InterStageManifest copy = manifest;
  copy.signature.clear();
  std::string out;
  write_manifest_json(copy, out);
  return out;
}

fennick::Result<crypto::PublicKey, ManifestVerifyError> resolve_manifest_signer(
    const RunKeyChain& key_chain, std::string_view key_id) {
  // Only the first match counts: a later record under the same fingerprint never rescues a
  // malformed earlier one, so the outcome cannot depend on which duplicate an attacker adds.
  const auto match =
      std::find_if(key_chain.stage_keys.begin(), key_chain.stage_keys.end(),
                   [&](const auto& entry) { return entry.second.key_fingerprint == key_id; });
  if (match == key_chain.stage_keys.end()) {
    return Err(naming(Kind::kUnknownSigner, key_id, key_chain.run_id));
  }
  const StageKeyRecord& record = match->second;

  const fennick::Result<std::string> bytes =
      crypto::decode_base64_standard(record.ephemeral_public_key_b64);
  if (!bytes.ok()) return Err(error(Kind::kInvalidKeyMaterial, "base64: " + bytes.error()));
  if (bytes->size() != 32) {
    return Err(error(Kind::kInvalidKeyMaterial,
                     "ephemeral_public_key length " + std::to_string(bytes->size()) + " != 32"));
  }
  const crypto::PublicKey key = crypto::to_byte_array<32>(*bytes);
  if (key_fingerprint(key) != record.key_fingerprint) {
    return Err(naming(Kind::kForgedFingerprint, key_id));
  }
  if (std::optional<std::string> bad = crypto::check_point_decodes(key)) {
    return Err(error(Kind::kInvalidKeyMaterial, "not Ed25519: " + *bad));
  }
  return key;
}

std::optional<ManifestVerifyError> verify_inter_stage_manifest(
    const InterStageManifest& manifest, const RunKeyChain& key_chain,
    std::optional<std::string_view> expected_receiver) {
  if (manifest.run_id != key_chain.run_id) {
    return naming(Kind::kRunMismatch, manifest.run_id, key_chain.run_id);
  }
  if (expected_receiver && manifest.to_stage != *expected_receiver) {
    return naming(Kind::kToStageMismatch, manifest.to_stage, *expected_receiver);
  }

  fennick::Result<crypto::PublicKey, ManifestVerifyError> key =
      resolve_manifest_signer(key_chain, manifest.signer.ephemeral_key_id);
  if (!key.ok()) return std::move(key).error();

  const fennick::Result<std::string> bytes = crypto::decode_base64_standard(manifest.signature);
  if (!bytes.ok()) return error(Kind::kSignature, "base64: " + bytes.error());
  if (bytes->size() != 64) {
    return error(Kind::kSignature, "signature length " + std::to_string(bytes->size()) + " != 64");
  }
  // The manifest writer cannot fail (every key is a string, every number finite), so the
  // serialization error has no path here.
  const std::string message = manifest_signing_input(manifest);
  if (std::optional<std::string> failed =
          crypto::verify_strict(*key, message, crypto::to_byte_array<64>(*bytes))) {
    return error(Kind::kSignature, "Ed25519: " + *failed);
  }
  return std::nullopt;
}

}  // namespace fennick::certificate
