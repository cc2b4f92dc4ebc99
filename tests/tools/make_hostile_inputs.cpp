// Writes certificates for the benchmarks that measure output and memory against input size
// (bench/hostile_certificate.sh, bench/json_values.sh): values made of escape-worthy characters
// repeated on many lines, free-form JSON of millions of elements, and runs binding a given BOM.
//
//   make_hostile_inputs escaped-flood OUTPUT MANIFESTS RUN_ID_CHARS
//     a key chain whose run id is RUN_ID_CHARS ESC characters, and MANIFESTS manifests of another
//     run: every manifest's error names the chain's run id
//   make_hostile_inputs escaped-artifact-names OUTPUT NAMES STAGE_ID_CHARS
//     one stage whose id is STAGE_ID_CHARS ESC characters and that lists NAMES artifacts
//   make_hostile_inputs metadata-array OUTPUT ELEMENTS
//     a sealed certificate whose one signed manifest carries metadata {"x":[0,0,...]} of ELEMENTS
//     elements; valid (VERIFIED with --allow-unsealed)
//   make_hostile_inputs bind-bom RUN_DIR
//     a sealed certificate RUN_DIR/governance-certificate.json binding the BOM already at
//     RUN_DIR/app/.factory/sbom.cdx.json and an audit file written beside it, with no agentic
//     surface, so that --sbom-dir RUN_DIR/app checks the binding and runs the cross-check
//   make_hostile_inputs posture-none OUTPUT
//     a sealed certificate that declares no agentic surface and binds no BOM: with --sbom-dir
//     the BOM is read by the posture cross-check alone

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace {

namespace fs = std::filesystem;
namespace ts = fennick::test_support;
namespace cert = fennick::certificate;

constexpr std::string_view kRunId = "run-hostile";

std::size_t number(const char* text) { return static_cast<std::size_t>(std::stoull(text)); }

std::string escapes(std::size_t count) { return std::string(count, '\x1b'); }

std::string stage_id(std::size_t n) { return "stage-" + std::to_string(n); }

ts::Ed25519KeyPair numbered_key(std::size_t n) {
  const std::array<std::uint8_t, 32> digest =
      fennick::crypto::sha256("hostile input key " + std::to_string(n));
  return ts::key_pair_from_seed(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string escaped_flood(std::size_t manifests, std::size_t run_id_chars) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  cert::InterStageChainRecord chain;
  chain.key_chain.run_id = escapes(run_id_chars);
  for (std::size_t i = 0; i < manifests; ++i) {
    // As small as a manifest gets: its one error, the foreign run, is what is measured.
    cert::InterStageManifest m;
    m.run_id = kRunId;
    m.from_stage = "s" + std::to_string(i);
    m.to_stage = "s" + std::to_string(i + 1);
    m.produced_at = ts::fixed_timestamp();
    m.signer = cert::ManifestSigner{.agent_id = "a", .ephemeral_key_id = "k"};
    chain.manifests.push_back(std::move(m));
  }
  c.inter_stage_chain = std::move(chain);
  return ts::certificate_text(c);
}

std::string escaped_artifact_names(std::size_t names, std::size_t stage_id_chars) {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  cert::StageRecord stage = ts::stage_with_artifacts(escapes(stage_id_chars), {});
  for (std::size_t i = 0; i < names; ++i) stage.artifact_hashes[std::to_string(i)] = "x";
  c.stages.push_back(std::move(stage));
  return ts::certificate_text(c);
}

// The metadata goes in as text and is read back by the certificate reader, so that the producer
// never holds the array as values of its own; the manifest is then signed and the whole sealed.
std::string metadata_array(std::size_t elements) {
  const ts::Ed25519KeyPair first = numbered_key(0);
  const ts::Ed25519KeyPair second = numbered_key(1);
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  c.inter_stage_chain = ts::linear_chain(kRunId, {{stage_id(0), first}, {stage_id(1), second}});
  const std::string plain = ts::certificate_text(c);
  // The canonical manifest writes its metadata right after its artifact digests.
  constexpr std::string_view kAnchor = "\"artifactHashes\":{},\"signer\":";
  const std::size_t at = plain.find(kAnchor);
  if (at == std::string::npos || plain.find(kAnchor, at + 1) != std::string::npos) {
    throw std::runtime_error("the manifest's artifact digests were not found once");
  }
  std::string text = plain.substr(0, at) + "\"artifactHashes\":{},\"metadata\":{\"x\":[";
  text.reserve(plain.size() + 2 * elements + 32);
  for (std::size_t i = 0; i < elements; ++i) text += i == 0 ? "0" : ",0";
  text += "]},\"signer\":";
  text.append(plain, at + kAnchor.size());
  auto read = cert::read_certificate_json(std::string_view(text));
  if (!read.ok()) throw std::runtime_error("the certificate with its metadata does not read back");
  cert::GovernanceCertificate record = std::move(read).value();
  ts::sign_manifest(record.inter_stage_chain->manifests.front(), first);
  return ts::seal_certificate(std::move(record), ts::key_pair_from_fill(0x11)).json;
}

void bind_bom(const fs::path& run) {
  const fs::path factory = run / "app" / ".factory";
  const std::optional<std::string> bom = ts::read_file_bytes(factory / "sbom.cdx.json");
  if (!bom) throw std::runtime_error("no BOM at " + (factory / "sbom.cdx.json").string());
  const std::string audit = R"({"auditReportVersion":2,"vulnerabilities":{}})";
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  c.sbom_artifact_binding =
      cert::SbomArtifactBinding{.bom_hash = fennick::crypto::sha256_hex(*bom),
                                .audit_hash = fennick::crypto::sha256_hex(audit),
                                .bom_tool_version = "bench"};
  c.agentic_posture_binding =
      cert::AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};
  ts::write_file(factory / "audit.json", audit);
  ts::write_file(run / "governance-certificate.json",
                 ts::seal_certificate(std::move(c), ts::key_pair_from_fill(0x11)).json);
}

std::string posture_none() {
  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  c.agentic_posture_binding =
      cert::AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};
  return ts::seal_certificate(std::move(c), ts::key_pair_from_fill(0x11)).json;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && args[0] == "bind-bom") {
      bind_bom(argv[2]);
      return 0;
    }
    std::string text;
    if (args.size() == 4 && args[0] == "escaped-flood") {
      text = escaped_flood(number(argv[3]), number(argv[4]));
    } else if (args.size() == 4 && args[0] == "escaped-artifact-names") {
      text = escaped_artifact_names(number(argv[3]), number(argv[4]));
    } else if (args.size() == 3 && args[0] == "metadata-array") {
      text = metadata_array(number(argv[3]));
    } else if (args.size() == 2 && args[0] == "posture-none") {
      text = posture_none();
    } else {
      std::cerr << "usage: make_hostile_inputs escaped-flood OUTPUT MANIFESTS RUN_ID_CHARS\n"
                   "       make_hostile_inputs escaped-artifact-names OUTPUT NAMES STAGE_ID_CHARS\n"
                   "       make_hostile_inputs metadata-array OUTPUT ELEMENTS\n"
                   "       make_hostile_inputs bind-bom RUN_DIR\n"
                   "       make_hostile_inputs posture-none OUTPUT\n";
      return 2;
    }
    ts::write_file(fs::path(argv[2]), text);
  } catch (const std::exception& e) {
    std::cerr << "make_hostile_inputs: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
