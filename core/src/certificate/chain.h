#pragma once
// The inter-stage manifest chain: each hand-off between two stages of a run is a manifest signed
// by the sending stage's ephemeral key, and the run's key chain registers every stage key under
// the fingerprint of its own public key.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "certificate/records.h"
#include "crypto/ed25519.h"
#include "result.h"

namespace fennick::certificate {

// Why one manifest failed verification.
struct ManifestVerifyError {
  enum class Kind : std::uint8_t {
    kSignature,           // first: the detail text
    kUnknownSigner,       // first: the signer's key id; second: the key chain's run id
    kRunMismatch,         // first: the manifest's run id; second: the key chain's run id
    kToStageMismatch,     // first: the manifest's receiver; second: the expected receiver
    kForgedFingerprint,   // first: the signer's key id
    kInvalidKeyMaterial,  // first: the detail text
    kSerialization,       // first: the JSON writer's error text
  };

  // Values taken from the certificate (key ids, run ids, stage ids) are held as
  // text::shown_value shows them; detail texts are fennick's own.
  Kind kind = Kind::kSignature;
  std::string first;
  std::string second;

  // The line the user sees, e.g. "manifest signature verification failed: {first}".
  std::string to_string() const;

  bool operator==(const ManifestVerifyError&) const = default;
};

// Standard base64 (with "=" padding) of the SHA-256 of the 32 raw key bytes: 44 characters.
std::string key_fingerprint(const crypto::PublicKey& key);

// The bytes a stage key signs: the canonical manifest with its signature set to the empty string.
std::string manifest_signing_input(const InterStageManifest& manifest);

// A key chain's stage keys by fingerprint, built once for all the manifests of a chain: finding a
// signer costs a binary search instead of a walk over every stage key. Borrows the chain.
class SignerIndex {
 public:
  explicit SignerIndex(const RunKeyChain& key_chain);

  const RunKeyChain& key_chain() const { return key_chain_; }
  // The first record, in byte order of the stage id, whose keyFingerprint is `key_id`; null when
  // there is none.
  const StageKeyRecord* find(std::string_view key_id) const;

 private:
  struct Entry {
    std::string_view fingerprint;
    const StageKeyRecord* record;
  };
  const RunKeyChain& key_chain_;
  std::vector<Entry> by_fingerprint_;  // sorted by fingerprint, then by stage id
};

// The stage key registered under `key_id`: the first record, in byte order of the stage id, whose
// keyFingerprint equals it, checked to be a 32-byte key whose fingerprint it really is and that
// decodes as a curve point.
fennick::Result<crypto::PublicKey, ManifestVerifyError> resolve_manifest_signer(
    const SignerIndex& signers, std::string_view key_id);
fennick::Result<crypto::PublicKey, ManifestVerifyError> resolve_manifest_signer(
    const RunKeyChain& key_chain, std::string_view key_id);

// Nothing when the manifest belongs to the chain's run, goes to `expected_receiver` (when one is
// given) and carries a valid signature by the stage key its signer names; else the first failure.
std::optional<ManifestVerifyError> verify_inter_stage_manifest(
    const InterStageManifest& manifest, const SignerIndex& signers,
    std::optional<std::string_view> expected_receiver);
std::optional<ManifestVerifyError> verify_inter_stage_manifest(
    const InterStageManifest& manifest, const RunKeyChain& key_chain,
    std::optional<std::string_view> expected_receiver);

}  // namespace fennick::certificate
