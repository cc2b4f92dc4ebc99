#include "certificate/chain.h"

#include <algorithm>
#include <array>
#include <utility>

#include "certificate/canonical.h"
#include "crypto/base64.h"
#include "crypto/sha256.h"
#include "json/writer.h"
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
  // Written as it stands, then its last member, the signature, is emptied in the text: the
  // manifest and its metadata are not copied for the sake of one blank member.
  std::string out;
  write_manifest_json(manifest, out);
  std::string signature;
  json::write_string(signature, manifest.signature);
  out.replace(out.size() - 1 - signature.size(), signature.size(), "\"\"");
  return out;
}

SignerIndex::SignerIndex(const RunKeyChain& key_chain) : key_chain_(key_chain) {
  by_fingerprint_.reserve(key_chain.stage_keys.size());
  for (const auto& [stage_id, record] : key_chain.stage_keys) {
    by_fingerprint_.push_back(Entry{record.key_fingerprint, &record});
  }
  // Stable: records under one fingerprint stay in stage id order, the first of them first.
  std::stable_sort(by_fingerprint_.begin(), by_fingerprint_.end(),
                   [](const Entry& a, const Entry& b) { return a.fingerprint < b.fingerprint; });
}

const StageKeyRecord* SignerIndex::find(std::string_view key_id) const {
  const auto match = std::lower_bound(
      by_fingerprint_.begin(), by_fingerprint_.end(), key_id,
      [](const Entry& entry, std::string_view id) { return entry.fingerprint < id; });
  if (match == by_fingerprint_.end() || match->fingerprint != key_id) return nullptr;
  return match->record;
}

fennick::Result<crypto::PublicKey, ManifestVerifyError> resolve_manifest_signer(
    const RunKeyChain& key_chain, std::string_view key_id) {
  return resolve_manifest_signer(SignerIndex(key_chain), key_id);
}

fennick::Result<crypto::PublicKey, ManifestVerifyError> resolve_manifest_signer(
    const SignerIndex& signers, std::string_view key_id) {
  // Only the first match counts: a later record under the same fingerprint never rescues a
  // malformed earlier one, so the outcome cannot depend on which duplicate an attacker adds.
  const StageKeyRecord* const match = signers.find(key_id);
  if (match == nullptr) {
    return Err(naming(Kind::kUnknownSigner, key_id, signers.key_chain().run_id));
  }
  const StageKeyRecord& record = *match;

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
  return verify_inter_stage_manifest(manifest, SignerIndex(key_chain), expected_receiver);
}

std::optional<ManifestVerifyError> verify_inter_stage_manifest(
    const InterStageManifest& manifest, const SignerIndex& signers,
    std::optional<std::string_view> expected_receiver) {
  const RunKeyChain& key_chain = signers.key_chain();
  if (manifest.run_id != key_chain.run_id) {
    return naming(Kind::kRunMismatch, manifest.run_id, key_chain.run_id);
  }
  if (expected_receiver && manifest.to_stage != *expected_receiver) {
    return naming(Kind::kToStageMismatch, manifest.to_stage, *expected_receiver);
  }

  fennick::Result<crypto::PublicKey, ManifestVerifyError> key =
      resolve_manifest_signer(signers, manifest.signer.ephemeral_key_id);
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
