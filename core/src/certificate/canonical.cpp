#include "certificate/canonical.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "json/raw_map.h"
#include "json/raw_value.h"
#include "json/writer.h"

namespace fennick::certificate {

namespace {

// Values without a record writer of their own, for the list and map helpers below.
void write_json(const json::Text& value, json::Output& out) { json::write_string(out, value); }

// Wire strings are plain lower-case words: nothing in them needs escaping.
void write_wire(std::string_view wire, json::Output& out) {
  out += '"';
  out += wire;
  out += '"';
}

template <class List>
void write_list(const List& list, json::Output& out) {
  out += '[';
  bool first = true;
  for (const auto& element : list) {
    if (!first) out += ',';
    first = false;
    write_json(element, out);
  }
  out += ']';
}

// Maps are held in ascending byte order of the key, which is the order they are written in.
template <class Map>
void write_map(const Map& map, json::Output& out) {
  out += '{';
  bool first = true;
  for (const auto& [key, value] : map) {
    if (!first) out += ',';
    first = false;
    json::write_string(out, key);
    out += ':';
    write_json(value, out);
  }
  out += '}';
}

// Each record writer below spells its keys with their separators: the first member of every
// record is always written (only ApprovalRecord starts with an optional one and handles it), so
// whether a comma precedes a key is known where the key is written.
void optional_string(const std::optional<json::Text>& value, std::string_view key,
                     json::Output& out) {
  if (!value) return;
  out += key;
  json::write_string(out, *value);
}

}  // namespace

fennick::Result<std::string> write_certificate_json(const GovernanceCertificate& certificate,
                                                    CertificateText text) {
  // A first pass counts the bytes, so the buffer is allocated once and never regrown or copied.
  const auto write = [&](json::Output& o) { write_certificate_json(certificate, text, o); };
  std::size_t size = 0;
  json::write_through([&size](std::string_view piece) { size += piece.size(); }, write);
  std::string out;
  out.reserve(size);
  json::write_into(out, write);
  return out;
}

void write_manifest_json(const InterStageManifest& manifest, std::string& out) {
  write_json(manifest, out);
}

// ---- enumerations and timestamps ------------------------------------------------------------

void write_json(CertificateStatus value, json::Output& out) { write_wire(wire_name(value), out); }
void write_json(StageStatus value, json::Output& out) { write_wire(wire_name(value), out); }
void write_json(CheckStatus value, json::Output& out) { write_wire(wire_name(value), out); }
void write_json(ChainIntegrity value, json::Output& out) { write_wire(wire_name(value), out); }
void write_json(SigningKind value, json::Output& out) { write_wire(wire_name(value), out); }

void write_json(const text::Timestamp& value, json::Output& out) {
  std::array<char, text::kRfc3339MaxChars> buffer;
  out += '"';
  out += text::format_rfc3339(buffer, value);
  out += '"';
}

// ---- the root and its main records ------------------------------------------------------------

void write_json(const GovernanceCertificate& record, json::Output& out) {
  write_certificate_json(record, CertificateText::kWhole, out);
}

void write_certificate_json(const GovernanceCertificate& r, CertificateText text,
                            json::Output& out) {
  out += "{\"certificateVersion\":";
  json::write_string(out, r.certificate_version);
  out += ",\"pipelineRunId\":";
  json::write_string(out, r.pipeline_run_id);
  out += ",\"timestamp\":";
  write_json(r.timestamp, out);
  out += ",\"status\":";
  write_json(r.status, out);
  out += ",\"intent\":";
  write_json(r.intent, out);
  out += ",\"buildSpec\":";
  write_json(r.build_spec, out);
  out += ",\"stages\":";
  write_list(r.stages, out);
  out += ",\"verification\":";
  write_json(r.verification, out);
  out += ",\"proofChain\":";
  write_json(r.proof_chain, out);
  if (r.compliance) {
    out += ",\"compliance\":";
    write_json(*r.compliance, out);
  }
  if (r.signer) {
    out += ",\"signer\":";
    write_json(*r.signer, out);
  }
  if (r.inter_stage_chain) {
    out += ",\"interStageChain\":";
    write_json(*r.inter_stage_chain, out);
  }
  optional_string(r.admitted_envelope_hash, ",\"admittedEnvelopeHash\":", out);
  optional_string(r.goal_id, ",\"goalId\":", out);
  optional_string(r.intent_capsule_hash, ",\"intentCapsuleHash\":", out);
  if (!r.consumed_overrides.empty()) {
    out += ",\"consumedOverrides\":";
    write_list(r.consumed_overrides, out);
  }
  if (r.corpus_binding) {
    out += ",\"corpusBinding\":";
    write_json(*r.corpus_binding, out);
  }
  if (r.sbom_artifact_binding) {
    out += ",\"sbomArtifactBinding\":";
    write_json(*r.sbom_artifact_binding, out);
  }
  if (r.agentic_posture_binding) {
    out += ",\"agenticPostureBinding\":";
    write_json(*r.agentic_posture_binding, out);
  }
  out += ",\"certificateHash\":";
  json::write_string(out, text == CertificateText::kHashInput
                              ? std::string_view()
                              : std::string_view(r.certificate_hash));
  out += ",\"signingPublicKey\":";
  json::write_string(out, r.signing_public_key);
  out += ",\"certSignature\":";
  json::write_string(out, text == CertificateText::kWhole ? std::string_view(r.cert_signature)
                                                          : std::string_view());
  out += ",\"signingAttestation\":";
  write_json(r.signing_attestation, out);
  if (r.platform_countersign && text == CertificateText::kWhole) {
    out += ",\"platformCountersign\":";
    write_json(*r.platform_countersign, out);
  }
  out += '}';
}

void write_json(const IntentRecord& r, json::Output& out) {
  out += "{\"requirementsHash\":";
  json::write_string(out, r.requirements_hash);
  optional_string(r.spec_id, ",\"specId\":", out);
  optional_string(r.spec_hash, ",\"specHash\":", out);
  out += '}';
}

void write_json(const BuildSpecRecord& r, json::Output& out) {
  out += "{\"hash\":";
  json::write_string(out, r.hash);
  if (r.approval_record) {
    out += ",\"approvalRecord\":";
    write_json(*r.approval_record, out);
  }
  out += '}';
}

void write_json(const ApprovalRecord& r, json::Output& out) {
  out += '{';
  if (r.approved_by) {
    out += "\"approvedBy\":";
    json::write_string(out, *r.approved_by);
    out += ',';
  }
  out += "\"approvedAt\":";
  write_json(r.approved_at, out);
  out += ",\"gateType\":";
  json::write_string(out, r.gate_type);
  out += '}';
}

void write_json(const StageRecord& r, json::Output& out) {
  out += "{\"stageId\":";
  json::write_string(out, r.stage_id);
  out += ",\"status\":";
  write_json(r.status, out);
  out += ",\"artifactHashes\":";
  write_map(r.artifact_hashes, out);
  // The one absent member that is written rather than left out.
  out += ",\"gateResult\":";
  if (r.gate_result) {
    write_json(*r.gate_result, out);
  } else {
    out += "null";
  }
  if (r.duration_ms) {
    out += ",\"durationMs\":";
    json::write_u64(out, *r.duration_ms);
  }
  if (r.sandbox_execution) {
    out += ",\"sandboxExecution\":";
    write_json(*r.sandbox_execution, out);
  }
  out += '}';
}

void write_json(const GateResultRecord& r, json::Output& out) {
  out += "{\"passed\":";
  json::write_bool(out, r.passed);
  out += ",\"checksRun\":";
  json::write_u64(out, r.checks_run);
  out += ",\"checksFailed\":";
  json::write_u64(out, r.checks_failed);
  out += '}';
}

void write_json(const SandboxExecutionRecord& r, json::Output& out) {
  out += "{\"command\":";
  write_list(r.command, out);
  out += ",\"inputArtifactHashes\":";
  write_map(r.input_artifact_hashes, out);
  out += ",\"outputArtifactHashes\":";
  write_map(r.output_artifact_hashes, out);
  out += ",\"resourcePeak\":";
  write_json(r.resource_peak, out);
  out += ",\"isolationTier\":";
  json::write_u64(out, r.isolation_tier);
  out += ",\"runtimeDescriptor\":";
  json::write_string(out, r.runtime_descriptor);
  out += ",\"deadlineHit\":";
  json::write_bool(out, r.deadline_hit);
  out += ",\"exitCode\":";
  json::write_i64(out, r.exit_code);
  out += '}';
}

void write_json(const SandboxResourcePeak& r, json::Output& out) {
  out += "{\"cpuMilliPeak\":";
  json::write_u64(out, r.cpu_milli_peak);
  out += ",\"memoryBytesPeak\":";
  json::write_u64(out, r.memory_bytes_peak);
  out += ",\"pidPeak\":";
  json::write_u64(out, r.pid_peak);
  out += '}';
}

void write_json(const VerificationRecord& r, json::Output& out) {
  out += "{\"compile\":";
  write_json(r.compile, out);
  out += ",\"test\":";
  write_json(r.test, out);
  out += ",\"lint\":";
  write_json(r.lint, out);
  out += ",\"typecheck\":";
  write_json(r.typecheck, out);
  out += ",\"securityScan\":";
  write_json(r.security_scan, out);
  out += '}';
}

void write_json(const ProofChainSummary& r, json::Output& out) {
  out += "{\"recordCount\":";
  json::write_u64(out, r.record_count);
  optional_string(r.first_record_hash, ",\"firstRecordHash\":", out);
  optional_string(r.last_record_hash, ",\"lastRecordHash\":", out);
  out += ",\"chainIntegrity\":";
  write_json(r.chain_integrity, out);
  out += '}';
}

void write_json(const ComplianceRecord& r, json::Output& out) {
  out += "{\"frameworks\":";
  write_list(r.frameworks, out);
  if (!r.mappings.empty()) {
    out += ",\"mappings\":";
    write_list(r.mappings, out);
  }
  out += '}';
}

void write_json(const ComplianceMapping& r, json::Output& out) {
  out += "{\"control\":";
  json::write_string(out, r.control);
  out += ",\"mechanism\":";
  json::write_string(out, r.mechanism);
  out += ",\"status\":";
  json::write_string(out, r.status);
  out += '}';
}

void write_json(const Signer& r, json::Output& out) {
  out += "{\"subject\":";
  json::write_string(out, r.subject);
  out += ",\"identityProvider\":";
  json::write_string(out, r.identity_provider);
  optional_string(r.session_id, ",\"sessionId\":", out);
  out += '}';
}

void write_json(const ConsumedOverride& r, json::Output& out) {
  out += "{\"artifactId\":";
  json::write_string(out, r.artifact_id);
  out += ",\"path\":";
  json::write_string(out, r.path);
  out += ",\"contentHash\":";
  json::write_string(out, r.content_hash);
  optional_string(r.author, ",\"author\":", out);
  optional_string(r.modified_at, ",\"modifiedAt\":", out);
  out += ",\"verified\":";
  json::write_bool(out, r.verified);
  optional_string(r.verified_by, ",\"verifiedBy\":", out);
  out += '}';
}

// ---- sub-records --------------------------------------------------------------------------

void write_json(const SigningAttestation& r, json::Output& out) {
  out += "{\"kind\":";
  write_json(r.kind, out);
  optional_string(r.note, ",\"note\":", out);
  out += '}';
}

void write_json(const CorpusBinding& r, json::Output& out) {
  out += "{\"corpusAttestationHash\":";
  json::write_string(out, r.corpus_attestation_hash);
  out += ",\"keelsonVersion\":";
  json::write_string(out, r.keelson_version);
  out += '}';
}

void write_json(const SbomArtifactBinding& r, json::Output& out) {
  out += "{\"bomHash\":";
  json::write_string(out, r.bom_hash);
  out += ",\"auditHash\":";
  json::write_string(out, r.audit_hash);
  out += ",\"bomToolVersion\":";
  json::write_string(out, r.bom_tool_version);
  out += '}';
}

void write_json(const InterStageChainRecord& r, json::Output& out) {
  out += "{\"keyChain\":";
  write_json(r.key_chain, out);
  out += ",\"manifests\":";
  write_list(r.manifests, out);
  out += '}';
}

void write_json(const RunKeyChain& r, json::Output& out) {
  out += "{\"runId\":";
  json::write_string(out, r.run_id);
  out += ",\"rootPublicKeyB64\":";
  json::write_string(out, r.root_public_key_b64);
  out += ",\"stageKeys\":";
  write_map(r.stage_keys, out);
  out += '}';
}

void write_json(const StageKeyRecord& r, json::Output& out) {
  out += "{\"stageId\":";
  json::write_string(out, r.stage_id);
  out += ",\"ephemeralPublicKeyB64\":";
  json::write_string(out, r.ephemeral_public_key_b64);
  out += ",\"keyFingerprint\":";
  json::write_string(out, r.key_fingerprint);
  out += '}';
}

void write_json(const InterStageManifest& r, json::Output& out) {
  out += "{\"runId\":";
  json::write_string(out, r.run_id);
  out += ",\"fromStage\":";
  json::write_string(out, r.from_stage);
  out += ",\"toStage\":";
  json::write_string(out, r.to_stage);
  out += ",\"producedAt\":";
  write_json(r.produced_at, out);
  out += ",\"artifactHashes\":";
  write_map(r.artifact_hashes, out);
  if (!r.metadata.empty()) {
    out += ",\"metadata\":";
    json::write_raw_map(out, r.metadata);
  }
  out += ",\"signer\":";
  write_json(r.signer, out);
  out += ",\"signature\":";
  json::write_string(out, r.signature);
  out += '}';
}

void write_json(const ManifestSigner& r, json::Output& out) {
  out += "{\"agentId\":";
  json::write_string(out, r.agent_id);
  out += ",\"ephemeralKeyId\":";
  json::write_string(out, r.ephemeral_key_id);
  out += '}';
}

void write_json(const PlatformCountersign& r, json::Output& out) {
  out += "{\"countersignJws\":";
  json::write_string(out, r.countersign_jws);
  out += ",\"kid\":";
  json::write_string(out, r.kid);
  out += ",\"countersignedAt\":";
  write_json(r.countersigned_at, out);
  out += '}';
}

void write_json(const AgenticPostureBinding& r, json::Output& out) {
  out += "{\"posture\":";
  json::write_string(out, r.posture);
  out += ",\"defaulted\":";
  json::write_bool(out, r.defaulted);
  if (!r.surfaces.empty()) {
    out += ",\"surfaces\":";
    write_list(r.surfaces, out);
  }
  out += '}';
}

void write_json(const CertAgenticSurface& r, json::Output& out) {
  out += "{\"kind\":";
  json::write_string(out, r.kind);
  optional_string(r.description, ",\"description\":", out);
  if (r.governance_envelope) {
    out += ",\"governanceEnvelope\":";
    json::write_raw_value(out, *r.governance_envelope);
  }
  out += '}';
}

}  // namespace fennick::certificate
