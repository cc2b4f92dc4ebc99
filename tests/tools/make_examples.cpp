// Writes the bundled verify-certificate example from fixed seeds: a sealed and countersigned
// certificate, the platform key set, the stage artifacts, the application's BOM and audit file,
// and the corpus attestation. Run by scripts/make-examples; the output is committed as is.
//
//   make_examples OUTPUT_DIR

#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "certificate/records.h"
#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace {

namespace fs = std::filesystem;
namespace ts = fennick::test_support;
namespace cert = fennick::certificate;

constexpr std::string_view kRunId = "run-2024-05-01-0042";

const ts::ArtifactContents kRequirements = {
    {"business-requirements-document.md",
     "# Business Requirements Document\n\n### BR-001: Sign in\nUsers sign in with a password.\n"}};
const ts::ArtifactContents kBuild = {
    {"app.tar", "portal application bundle 1.4.2\n"},
    {"build.log", "compiled 42 modules, 0 warnings\n"},
};
const ts::ArtifactContents kTest = {
    {"junit.xml", "<testsuite name=\"portal\" tests=\"57\" failures=\"0\"/>\n"}};

constexpr std::string_view kBom = R"({
  "bomFormat": "CycloneDX",
  "specVersion": "1.5",
  "version": 1,
  "metadata": {"component": {"type": "application", "name": "portal", "version": "1.4.2"}},
  "components": [
    {"type": "library", "name": "express", "version": "4.19.2", "purl": "pkg:npm/express@4.19.2",
     "components": [
       {"type": "library", "name": "body-parser", "version": "1.20.2",
        "purl": "pkg:npm/body-parser@1.20.2"}
     ]},
    {"type": "library", "name": "zod", "version": "3.23.8", "purl": "pkg:npm/zod@3.23.8"}
  ]
}
)";
constexpr std::string_view kAudit = R"({
  "auditReportVersion": 2,
  "vulnerabilities": {},
  "metadata": {"vulnerabilities": {"info": 0, "low": 0, "moderate": 0, "high": 0, "critical": 0}}
}
)";
constexpr std::string_view kAttestation = R"({
  "corpus": "portal-discovery-interviews",
  "documents": 12,
  "listingDigest": "5f1c0d7b9e2a4c6f8a0b1d3e5f7a9c2b4d6e8f0a1c3e5b7d9f1a3c5e7b9d1f3a"
}
)";

// Indents compact JSON, two spaces a level. Verification reads the parsed records, so the
// layout is for people only.
std::string indent_json(std::string_view compact) {
  std::string out;
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  const auto newline = [&] {
    out += '\n';
    out.append(static_cast<std::size_t>(2 * depth), ' ');
  };
  for (std::size_t i = 0; i < compact.size(); ++i) {
    const char c = compact[i];
    if (in_string) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        in_string = true;
        out += c;
        break;
      case '{':
      case '[':
        out += c;
        if (i + 1 < compact.size() && (compact[i + 1] == '}' || compact[i + 1] == ']')) break;
        ++depth;
        newline();
        break;
      case '}':
      case ']':
        if (i > 0 && (compact[i - 1] == '{' || compact[i - 1] == '[')) {
          out += c;
          break;
        }
        --depth;
        newline();
        out += c;
        break;
      case ',':
        out += c;
        newline();
        break;
      case ':':
        out += ": ";
        break;
      default:
        out += c;
    }
  }
  out += '\n';
  return out;
}

using ts::write_file;

cert::StageRecord stage(std::string_view id, const ts::ArtifactContents& artifacts,
                        std::uint32_t checks, std::uint64_t duration_ms) {
  cert::StageRecord record = ts::stage_with_artifacts(id, artifacts);
  record.gate_result =
      cert::GateResultRecord{.passed = true, .checks_run = checks, .checks_failed = 0};
  record.duration_ms = duration_ms;
  return record;
}

void make_examples(const fs::path& out) {
  const ts::Ed25519KeyPair certificate_key = ts::key_pair_from_fill(0x11);
  const ts::Ed25519KeyPair platform_key = ts::key_pair_from_fill(0x22);
  const std::string envelope_hash = fennick::crypto::sha256_hex("portal admission envelope v3");

  cert::GovernanceCertificate c = ts::minimal_certificate(kRunId);
  c.intent.spec_id = "portal-sign-in";
  c.intent.spec_hash = fennick::crypto::sha256_hex("portal sign-in design");
  c.stages = {stage("requirements", kRequirements, 4, 1200), stage("build", kBuild, 12, 84000),
              stage("test", kTest, 57, 42000)};
  c.proof_chain =
      cert::ProofChainSummary{.record_count = 3,
                              .first_record_hash = fennick::crypto::sha256_hex("proof record 1"),
                              .last_record_hash = fennick::crypto::sha256_hex("proof record 3"),
                              .chain_integrity = cert::ChainIntegrity::kVerified};
  c.inter_stage_chain = ts::linear_chain(kRunId, {{"requirements", ts::key_pair_from_fill(0x31)},
                                                  {"build", ts::key_pair_from_fill(0x32)},
                                                  {"test", ts::key_pair_from_fill(0x33)}});
  c.admitted_envelope_hash = envelope_hash;
  c.corpus_binding =
      cert::CorpusBinding{.corpus_attestation_hash = fennick::crypto::sha256_hex(kAttestation),
                          .keelson_version = "0.7.3"};
  c.sbom_artifact_binding =
      cert::SbomArtifactBinding{.bom_hash = fennick::crypto::sha256_hex(kBom),
                                .audit_hash = fennick::crypto::sha256_hex(kAudit),
                                .bom_tool_version = "cdxgen 10.9.4"};
  c.agentic_posture_binding =
      cert::AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};
  c.signing_attestation = cert::SigningAttestation{.kind = cert::SigningKind::kEphemeral,
                                                   .note = "per-run key held by the platform"};

  cert::GovernanceCertificate sealed = ts::seal_certificate(std::move(c), certificate_key).record;
  sealed.platform_countersign = ts::platform_countersign(
      ts::countersign_payload_json(sealed.certificate_hash, envelope_hash, "plat-7781", 2),
      "platform-2024-05", platform_key);

  write_file(out / "governance-certificate.json", indent_json(ts::certificate_text(sealed)));
  write_file(out / "platform-jwks.json",
             indent_json(ts::jwks_json({{.kid = "platform-2024-05", .x = platform_key.x()}})));
  write_file(out / "corpus-attestation.json", kAttestation);
  write_file(out / "app" / ".factory" / "sbom.cdx.json", kBom);
  write_file(out / "app" / ".factory" / "audit.json", kAudit);
  const std::string artifacts = (out / "artifacts").string();
  ts::write_stage_artifacts(artifacts, "requirements", kRequirements);
  ts::write_stage_artifacts(artifacts, "build", kBuild);
  ts::write_stage_artifacts(artifacts, "test", kTest);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_examples OUTPUT_DIR\n";
    return 2;
  }
  try {
    make_examples(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make_examples: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
