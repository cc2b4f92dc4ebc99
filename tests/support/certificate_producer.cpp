#include "support/certificate_producer.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "certificate/canonical.h"
#include "crypto/base64.h"
#include "crypto/sha256.h"
#include "support/files.h"

namespace fennick::test_support {

using certificate::GovernanceCertificate;
using certificate::InterStageManifest;

namespace {

std::string_view as_chars(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

text::Timestamp fixed_timestamp() { return text::Timestamp{1714557600, 0}; }

GovernanceCertificate minimal_certificate(std::string_view run_id) {
  GovernanceCertificate c;
  c.certificate_version = "1.5.0";
  c.pipeline_run_id = std::string(run_id);
  c.timestamp = fixed_timestamp();
  c.status = certificate::CertificateStatus::kComplete;
  c.intent.requirements_hash = crypto::sha256_hex("requirements");
  c.build_spec.hash = crypto::sha256_hex("build recipe");
  c.proof_chain.record_count = 0;
  c.proof_chain.chain_integrity = certificate::ChainIntegrity::kEmpty;
  return c;
}

certificate::StageRecord stage_with_artifacts(std::string_view stage_id,
                                              const ArtifactContents& artifacts) {
  certificate::StageRecord stage;
  stage.stage_id = std::string(stage_id);
  stage.status = certificate::StageStatus::kPassed;
  for (const auto& [name, content] : artifacts) {
    stage.artifact_hashes[name] = crypto::sha256_hex(content);
  }
  return stage;
}

void write_stage_artifacts(const std::string& artifact_dir, std::string_view stage_id,
                           const ArtifactContents& artifacts) {
  const std::filesystem::path stage_dir = std::filesystem::path(artifact_dir) / stage_id;
  for (const auto& [name, content] : artifacts) write_file(stage_dir / name, content);
}

std::string public_key_b64(const Ed25519KeyPair& key) {
  return crypto::encode_base64_standard(as_chars(key.public_key.data(), key.public_key.size()));
}

std::string stage_key_fingerprint(const Ed25519KeyPair& key) {
  const std::array<std::uint8_t, 32> digest =
      crypto::sha256(as_chars(key.public_key.data(), key.public_key.size()));
  return crypto::encode_base64_standard(as_chars(digest.data(), digest.size()));
}

certificate::StageKeyRecord stage_key_record(std::string_view stage_id, const Ed25519KeyPair& key) {
  return {std::string(stage_id), public_key_b64(key), stage_key_fingerprint(key)};
}

certificate::PlatformCountersign platform_countersign(std::string_view payload_json,
                                                      std::string_view kid,
                                                      const Ed25519KeyPair& key) {
  return certificate::PlatformCountersign{
      .countersign_jws =
          sign_compact_jws(jws_header_json("EdDSA", kCountersignTyp, kid), payload_json, key),
      .kid = std::string(kid),
      .countersigned_at = fixed_timestamp()};
}

std::string sign_b64(std::string_view message, const Ed25519KeyPair& key) {
  std::array<std::uint8_t, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                       key.secret_key.data());
  return crypto::encode_base64_standard(as_chars(signature.data(), signature.size()));
}

void sign_manifest(InterStageManifest& manifest, const Ed25519KeyPair& key) {
  manifest.signer.ephemeral_key_id = stage_key_fingerprint(key);
  manifest.signature.clear();
  std::string text;
  certificate::write_manifest_json(manifest, text);
  manifest.signature = sign_b64(text, key);
}

InterStageManifest signed_manifest(std::string_view run_id, std::string_view from_stage,
                                   std::string_view to_stage, const Ed25519KeyPair& key,
                                   certificate::StringMap artifact_hashes) {
  InterStageManifest manifest;
  manifest.run_id = std::string(run_id);
  manifest.from_stage = std::string(from_stage);
  manifest.to_stage = std::string(to_stage);
  manifest.produced_at = fixed_timestamp();
  manifest.artifact_hashes = std::move(artifact_hashes);
  manifest.signer.agent_id = "agent-" + std::string(from_stage);
  sign_manifest(manifest, key);
  return manifest;
}

certificate::InterStageChainRecord linear_chain(
    std::string_view run_id, const std::vector<std::pair<std::string, Ed25519KeyPair>>& stages) {
  certificate::InterStageChainRecord chain;
  chain.key_chain.run_id = std::string(run_id);
  chain.key_chain.root_public_key_b64 = public_key_b64(key_pair_from_fill(0xA0));
  for (const auto& [stage_id, key] : stages) {
    chain.key_chain.stage_keys[stage_id] = stage_key_record(stage_id, key);
  }
  for (std::size_t i = 0; i + 1 < stages.size(); ++i) {
    chain.manifests.push_back(
        signed_manifest(run_id, stages[i].first, stages[i + 1].first, stages[i].second));
  }
  return chain;
}

std::string certificate_text(const GovernanceCertificate& certificate) {
  fennick::Result<std::string> text = certificate::write_certificate_json(certificate);
  if (!text.ok()) throw std::runtime_error("certificate cannot be written: " + text.error());
  return std::move(text).value();
}

SealedCertificate seal_certificate(GovernanceCertificate certificate, const Ed25519KeyPair& key) {
  certificate.signing_public_key = public_key_b64(key);

  GovernanceCertificate unsealed = certificate;
  unsealed.certificate_hash.clear();
  unsealed.cert_signature.clear();
  unsealed.platform_countersign.reset();
  certificate.certificate_hash = crypto::sha256_hex(certificate_text(unsealed));

  unsealed.certificate_hash = certificate.certificate_hash;
  certificate.cert_signature = sign_b64(certificate_text(unsealed), key);

  std::string json = certificate_text(certificate);
  return {std::move(certificate), std::move(json)};
}

}  // namespace fennick::test_support
