// Writes the certificates of bench/hostile_certificate.sh: small inputs shaped by a hostile
// producer to make one step's cost or output the product of two sizes.
//
//   make_hostile_certificates flood OUTPUT MANIFESTS RUN_ID_BYTES
//     a key chain whose run id has RUN_ID_BYTES bytes, and MANIFESTS manifests of another run:
//     every manifest's error names the chain's run id
//   make_hostile_certificates signers OUTPUT COUNT
//     COUNT stage keys and COUNT manifests, each signed by its own stage's key; sealed
//   make_hostile_certificates unknown-signers OUTPUT COUNT
//     COUNT stage keys and COUNT manifests whose signer names a fingerprint that no key has
//   make_hostile_certificates artifact-names OUTPUT NAMES STAGE_ID_BYTES
//     one stage whose id has STAGE_ID_BYTES bytes and that lists NAMES artifacts
//   make_hostile_certificates shared-artifact OUTPUT STAGES DIGEST
//     STAGES stages, each listing the artifact "a" with the digest DIGEST: the producer links
//     every stage's "a" to one large file

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate/records.h"
#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace {

namespace ts = fennick::test_support;
namespace cert = fennick::certificate;

constexpr std::string_view kRunId = "run-hostile";

std::size_t number(const char* text) { return static_cast<std::size_t>(std::stoull(text)); }

// Stage ids that sort in the order they are made, so that manifest i hands off from stage i.
std::string stage_id(std::size_t n) {
  std::string digits = std::to_string(n);
  return "stage-" + std::string(9 - std::min<std::size_t>(9, digits.size()), '0') + digits;
}

ts::Ed25519KeyPair numbered_key(std::size_t n) {
  const std::array<std::uint8_t, 32> digest =
      fennick::crypto::sha256("hostile key " + std::to_string(n));
  return ts::key_pair_from_seed(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

cert::InterStageManifest unsigned_manifest(std::string_view run_id, std::size_t from,
                                           std::string key_id) {
  cert::InterStageManifest m;
  m.run_id = run_id;
  m.from_stage = stage_id(from);
  m.to_stage = stage_id(from + 1);
  m.produced_at = ts::fixed_timestamp();
  m.signer = cert::ManifestSigner{.agent_id = "agent", .ephemeral_key_id = std::move(key_id)};
  m.signature = std::string(86, 'A') + "==";
  return m;
}

std::string flood(std::size_t manifests, std::size_t run_id_bytes) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  cert::InterStageChainRecord chain;
  chain.key_chain.run_id = std::string(run_id_bytes, 'R');
  for (std::size_t i = 0; i < manifests; ++i) {
    chain.manifests.push_back(unsigned_manifest(kRunId, i, "k"));
  }
  c.inter_stage_chain = std::move(chain);
  return ts::certificate_text(c);
}

std::string signers(std::size_t count) {
  std::vector<std::pair<std::string, ts::Ed25519KeyPair>> stages;
  stages.reserve(count + 1);
  for (std::size_t i = 0; i <= count; ++i) stages.emplace_back(stage_id(i), numbered_key(i));
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  c.inter_stage_chain = ts::linear_chain(kRunId, stages);
  return ts::seal_certificate(std::move(c), ts::key_pair_from_fill(0x11)).json;
}

std::string unknown_signers(std::size_t count) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  cert::InterStageChainRecord chain;
  chain.key_chain.run_id = kRunId;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string fingerprint = fennick::crypto::sha256_hex(stage_id(i)).substr(0, 43) + "=";
    chain.key_chain.stage_keys[stage_id(i)] =
        cert::StageKeyRecord{.stage_id = stage_id(i),
                             .ephemeral_public_key_b64 = std::string(43, 'A') + "=",
                             .key_fingerprint = fingerprint};
    chain.manifests.push_back(unsigned_manifest(kRunId, i, "unregistered-" + std::to_string(i)));
  }
  c.inter_stage_chain = std::move(chain);
  return ts::certificate_text(c);
}

std::string artifact_names(std::size_t names, std::size_t stage_id_bytes) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  cert::StageRecord stage = ts::stage_with_artifacts(std::string(stage_id_bytes, 's'), {});
  for (std::size_t i = 0; i < names; ++i) stage.artifact_hashes[std::to_string(i)] = "x";
  c.stages.push_back(std::move(stage));
  return ts::certificate_text(c);
}

std::string shared_artifact(std::size_t stages, std::string_view digest) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  for (std::size_t i = 0; i < stages; ++i) {
    cert::StageRecord stage = ts::stage_with_artifacts(stage_id(i), {});
    stage.artifact_hashes["a"] = std::string(digest);
    c.stages.push_back(std::move(stage));
  }
  return ts::certificate_text(c);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    std::string text;
    if (args.size() == 4 && args[0] == "flood") {
      text = flood(number(argv[3]), number(argv[4]));
    } else if (args.size() == 3 && args[0] == "signers") {
      text = signers(number(argv[3]));
    } else if (args.size() == 3 && args[0] == "unknown-signers") {
      text = unknown_signers(number(argv[3]));
    } else if (args.size() == 4 && args[0] == "artifact-names") {
      text = artifact_names(number(argv[3]), number(argv[4]));
    } else if (args.size() == 4 && args[0] == "shared-artifact") {
      text = shared_artifact(number(argv[3]), args[3]);
    } else {
      std::cerr << "usage: make_hostile_certificates flood OUTPUT MANIFESTS RUN_ID_BYTES\n"
                   "       make_hostile_certificates signers|unknown-signers OUTPUT COUNT\n"
                   "       make_hostile_certificates artifact-names OUTPUT NAMES STAGE_ID_BYTES\n"
                   "       make_hostile_certificates shared-artifact OUTPUT STAGES DIGEST\n";
      return 2;
    }
    ts::write_file(std::filesystem::path(argv[2]), text);
  } catch (const std::exception& e) {
    std::cerr << "make_hostile_certificates: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
