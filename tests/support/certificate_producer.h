#pragma once
// Test-only producer of signed governance certificates: builds the records, signs inter-stage
// manifests with stage keys and seals the certificate (digest, then signature) with libsodium
// from fixed seeds, so that tests verify real signatures. The producer follows the sealing order
// of the certificate format on its own: it does not call the verifier's hash or signature code.
//
// Typical use:
//   GovernanceCertificate c = minimal_certificate("run-1");
//   c.stages.push_back(stage_with_artifacts("build", {{"app.tar", "bytes"}}));
//   c.inter_stage_chain = linear_chain("run-1", {{"build", key_pair_from_fill(2)},
//                                                {"test", key_pair_from_fill(3)}});
//   SealedCertificate sealed = seal_certificate(c, key_pair_from_fill(1));
//   // sealed.json is the certificate file; sealed.record is what reading it gives.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate/records.h"
#include "support/jws_producer.h"

namespace fennick::test_support {

// 2024-05-01T10:00:00Z: the producer's timestamps, so that outputs are reproducible.
text::Timestamp fixed_timestamp();

// An unsealed certificate with every required member: version "1.5.0", the run id, status
// complete, no stages, no chain, no bindings; certificateHash, signingPublicKey and certSignature
// empty.
certificate::GovernanceCertificate minimal_certificate(std::string_view run_id = "run-0001");

// Artifact name to content, as a stage leaves its artifacts on disk.
using ArtifactContents = std::map<std::string, std::string>;

// A passed stage whose artifactHashes are the digest texts of `artifacts`.
certificate::StageRecord stage_with_artifacts(std::string_view stage_id,
                                              const ArtifactContents& artifacts);

// Writes each artifact at artifact_dir/stage_id/name, creating directories as needed.
// Throws std::runtime_error on failure.
void write_stage_artifacts(const std::string& artifact_dir, std::string_view stage_id,
                           const ArtifactContents& artifacts);

// The public key in standard base64 with "=" padding (44 characters).
std::string public_key_b64(const Ed25519KeyPair& key);

// The stage key's fingerprint: standard base64 of the SHA-256 of the 32 raw key bytes.
std::string stage_key_fingerprint(const Ed25519KeyPair& key);

// A key chain record for `key`, registered under its true fingerprint.
certificate::StageKeyRecord stage_key_record(std::string_view stage_id, const Ed25519KeyPair& key);

// Sets the manifest's signer key id to the fingerprint of `key` and its signature to the
// signature of its canonical text with an empty signature member. Call again after changing a
// manifest to make it valid once more.
void sign_manifest(certificate::InterStageManifest& manifest, const Ed25519KeyPair& key);

// A manifest of `run_id` from one stage to the next, produced at fixed_timestamp(), signed by
// `key` (agent id "agent-" followed by the sending stage).
certificate::InterStageManifest signed_manifest(std::string_view run_id,
                                                std::string_view from_stage,
                                                std::string_view to_stage,
                                                const Ed25519KeyPair& key,
                                                certificate::StringMap artifact_hashes = {});

// A chain for `run_id` that registers every stage's key under its stage id and holds one
// manifest per hand-off (stage i to stage i+1), signed by the sending stage's key.
certificate::InterStageChainRecord linear_chain(
    std::string_view run_id, const std::vector<std::pair<std::string, Ed25519KeyPair>>& stages);

// The canonical JSON of a certificate (throws std::runtime_error if it cannot be written).
std::string certificate_text(const certificate::GovernanceCertificate& certificate);

struct SealedCertificate {
  certificate::GovernanceCertificate record;
  std::string json;  // certificate_text(record): a certificate file that reads back as `record`
};

// Seals the certificate with `key`: sets signingPublicKey, then certificateHash to the digest of
// the canonical text with certificateHash and certSignature empty and no platform countersign,
// then certSignature to the signature of the canonical text that carries that digest, an empty
// certSignature and no countersign. A platform countersign already present is kept (it lies
// outside both inputs).
SealedCertificate seal_certificate(certificate::GovernanceCertificate certificate,
                                   const Ed25519KeyPair& key);

// A platform countersign under `kid`: the compact JWS (alg EdDSA, the countersign typ, `kid`) of
// `payload_json` signed by `key`, countersigned at fixed_timestamp(). It lies outside both sealing
// inputs, so attaching it to a sealed certificate keeps the seal.
certificate::PlatformCountersign platform_countersign(std::string_view payload_json,
                                                      std::string_view kid,
                                                      const Ed25519KeyPair& key);

// The detached Ed25519 signature of `message` in standard base64 with "=" padding.
std::string sign_b64(std::string_view message, const Ed25519KeyPair& key);

}  // namespace fennick::test_support
