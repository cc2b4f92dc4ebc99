// Writes the inputs of bench/whole_binary.sh: a sealed, countersigned certificate with many
// stages (each with one artifact on disk) and a long inter-stage chain, its key set, and an SBOM
// directory whose BOM holds a large tree of nested components, bound by the certificate.
//
//   make_bench_inputs OUTPUT_DIR [STAGES] [MANIFESTS] [COMPONENTS]
//   (defaults 10000, 2000, 100000)

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "certificate/records.h"
#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace {

namespace fs = std::filesystem;
namespace ts = fennick::test_support;
namespace cert = fennick::certificate;

constexpr std::string_view kRunId = "run-bench";
// Components hang in chains of this depth below the BOM root: deep enough to exercise the
// walk, well inside the depth at which the posture scan stops looking.
constexpr std::size_t kChainDepth = 10;

using ts::write_file;

// A 32-byte seed derived from a counter, so that every stage key differs.
ts::Ed25519KeyPair numbered_key(std::size_t n) {
  const std::array<std::uint8_t, 32> digest =
      fennick::crypto::sha256("bench key " + std::to_string(n));
  return ts::key_pair_from_seed(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string component(std::size_t n) {
  const std::string name = "pkg-" + std::to_string(n);
  return R"({"type":"library","name":")" + name + R"(","version":"1.0.)" + std::to_string(n % 97) +
         R"(","purl":"pkg:npm/)" + name + "@1.0." + std::to_string(n % 97) + "\"";
}

std::string make_bom(std::size_t components) {
  std::string bom = R"({"bomFormat":"CycloneDX","specVersion":"1.5","components":[)";
  std::size_t made = 0;
  bool first_chain = true;
  while (made < components) {
    if (!first_chain) bom += ',';
    first_chain = false;
    const std::size_t depth = std::min(kChainDepth, components - made);
    for (std::size_t level = 0; level < depth; ++level) {
      bom += component(made++);
      if (level + 1 < depth) bom += R"(,"components":[)";
    }
    for (std::size_t level = 0; level < depth; ++level) {
      bom += '}';
      if (level + 1 < depth) bom += ']';
    }
  }
  bom += "]}\n";
  return bom;
}

void make_inputs(const fs::path& out, std::size_t stages, std::size_t manifests,
                 std::size_t components) {
  const ts::Ed25519KeyPair certificate_key = ts::key_pair_from_fill(0x11);
  const ts::Ed25519KeyPair platform_key = ts::key_pair_from_fill(0x22);

  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  const std::string artifacts = (out / "artifacts").string();
  c.stages.reserve(stages);
  for (std::size_t i = 0; i < stages; ++i) {
    const std::string id = "stage-" + std::to_string(i);
    const ts::ArtifactContents contents = {{"output.txt", "output of " + id + "\n"}};
    c.stages.push_back(ts::stage_with_artifacts(id, contents));
    ts::write_stage_artifacts(artifacts, id, contents);
  }
  c.proof_chain.record_count = stages;

  std::vector<std::pair<std::string, ts::Ed25519KeyPair>> chain_stages;
  for (std::size_t i = 0; i <= manifests; ++i) {
    chain_stages.emplace_back("stage-" + std::to_string(i), numbered_key(i));
  }
  c.inter_stage_chain = ts::linear_chain(kRunId, chain_stages);

  const std::string bom = make_bom(components);
  const std::string audit = R"({"auditReportVersion":2,"vulnerabilities":{}})";
  c.sbom_artifact_binding =
      cert::SbomArtifactBinding{.bom_hash = fennick::crypto::sha256_hex(bom),
                                .audit_hash = fennick::crypto::sha256_hex(audit),
                                .bom_tool_version = "bench"};
  c.agentic_posture_binding =
      cert::AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};

  cert::GovernanceCertificate sealed = ts::seal_certificate(std::move(c), certificate_key).record;
  sealed.platform_countersign = ts::platform_countersign(
      ts::countersign_payload_json(sealed.certificate_hash, std::nullopt, kRunId,
                                   static_cast<std::int64_t>(manifests)),
      "bench", platform_key);

  write_file(out / "governance-certificate.json", ts::certificate_text(sealed));
  write_file(out / "platform-jwks.json", ts::jwks_json({{.kid = "bench", .x = platform_key.x()}}));
  write_file(out / "app" / ".factory" / "sbom.cdx.json", bom);
  write_file(out / "app" / ".factory" / "audit.json", audit);
}

std::size_t count_argument(int argc, char** argv, int index, std::size_t fallback) {
  return argc > index ? static_cast<std::size_t>(std::stoull(argv[index])) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) {
    std::cerr << "usage: make_bench_inputs OUTPUT_DIR [STAGES] [MANIFESTS] [COMPONENTS]\n";
    return 2;
  }
  try {
    make_inputs(argv[1], count_argument(argc, argv, 2, 10000), count_argument(argc, argv, 3, 2000),
                count_argument(argc, argv, 4, 100000));
  } catch (const std::exception& e) {
    std::cerr << "make_bench_inputs: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
