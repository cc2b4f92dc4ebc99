#include "certificate/records.h"

#include <stdexcept>

namespace fennick::certificate {

using json::field;
using json::kDefaulted;
using json::kOptional;
using json::kOptionalDefaulted;
using json::kRequired;

namespace {

// An enumeration holding no declared value is a broken invariant: reading never makes one.
[[noreturn]] void bad_enum(std::string_view type) {
  throw std::logic_error("value outside the variants of " + std::string(type));
}

}  // namespace

// ---- enumerations -------------------------------------------------------------------------

std::string_view wire_name(CertificateStatus v) {
  switch (v) {
    case CertificateStatus::kComplete:
      return "complete";
    case CertificateStatus::kIncomplete:
      return "incomplete";
  }
  bad_enum("CertificateStatus");
}

std::string_view display_name(CertificateStatus v) {
  switch (v) {
    case CertificateStatus::kComplete:
      return "Complete";
    case CertificateStatus::kIncomplete:
      return "Incomplete";
  }
  bad_enum("CertificateStatus");
}

std::string_view wire_name(StageStatus v) {
  switch (v) {
    case StageStatus::kPassed:
      return "passed";
    case StageStatus::kFailed:
      return "failed";
    case StageStatus::kSkipped:
      return "skipped";
  }
  bad_enum("StageStatus");
}

std::string_view wire_name(CheckStatus v) {
  switch (v) {
    case CheckStatus::kPassed:
      return "passed";
    case CheckStatus::kFailed:
      return "failed";
    case CheckStatus::kSkipped:
      return "skipped";
  }
  bad_enum("CheckStatus");
}

std::string_view wire_name(ChainIntegrity v) {
  switch (v) {
    case ChainIntegrity::kVerified:
      return "verified";
    case ChainIntegrity::kUnverified:
      return "unverified";
    case ChainIntegrity::kEmpty:
      return "empty";
  }
  bad_enum("ChainIntegrity");
}

std::string_view wire_name(SigningKind v) {
  switch (v) {
    case SigningKind::kUnsigned:
      return "unsigned";
    case SigningKind::kEphemeral:
      return "ephemeral";
    case SigningKind::kOperator:
      return "operator";
    case SigningKind::kSigstoreRekor:
      return "sigstore-rekor";
  }
  bad_enum("SigningKind");
}

const json::EnumSpec& json_enum(json::Tag<CertificateStatus>) {
  static const json::EnumSpec table({"complete", "incomplete"});
  return table;
}

const json::EnumSpec& json_enum(json::Tag<StageStatus>) {
  static const json::EnumSpec table({"passed", "failed", "skipped"});
  return table;
}

const json::EnumSpec& json_enum(json::Tag<CheckStatus>) {
  static const json::EnumSpec table({"passed", "failed", "skipped"});
  return table;
}

const json::EnumSpec& json_enum(json::Tag<ChainIntegrity>) {
  static const json::EnumSpec table({"verified", "unverified", "empty"});
  return table;
}

const json::EnumSpec& json_enum(json::Tag<SigningKind>) {
  static const json::EnumSpec table({"unsigned", "ephemeral", "operator", "sigstore-rekor"});
  return table;
}

// ---- main records -------------------------------------------------------------------------

const json::RecordSpec& json_record(json::Tag<IntentRecord>) {
  static const json::RecordSpec table(
      "IntentRecord", {field<&IntentRecord::requirements_hash>("requirementsHash", kRequired),
                       field<&IntentRecord::spec_id>("specId", kOptionalDefaulted),
                       field<&IntentRecord::spec_hash>("specHash", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ApprovalRecord>) {
  static const json::RecordSpec table(
      "ApprovalRecord", {field<&ApprovalRecord::approved_by>("approvedBy", kOptionalDefaulted),
                         field<&ApprovalRecord::approved_at>("approvedAt", kRequired),
                         field<&ApprovalRecord::gate_type>("gateType", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<BuildSpecRecord>) {
  static const json::RecordSpec table(
      "BuildSpecRecord",
      {field<&BuildSpecRecord::hash>("hash", kRequired),
       field<&BuildSpecRecord::approval_record>("approvalRecord", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<GateResultRecord>) {
  static const json::RecordSpec table(
      "GateResultRecord", {field<&GateResultRecord::passed>("passed", kRequired),
                           field<&GateResultRecord::checks_run>("checksRun", kRequired),
                           field<&GateResultRecord::checks_failed>("checksFailed", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<SandboxResourcePeak>) {
  static const json::RecordSpec table(
      "SandboxResourcePeak",
      {field<&SandboxResourcePeak::cpu_milli_peak>("cpuMilliPeak", kRequired),
       field<&SandboxResourcePeak::memory_bytes_peak>("memoryBytesPeak", kRequired),
       field<&SandboxResourcePeak::pid_peak>("pidPeak", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<SandboxExecutionRecord>) {
  using R = SandboxExecutionRecord;
  static const json::RecordSpec table(
      "SandboxExecutionRecord",
      {field<&R::command>("command", kRequired),
       field<&R::input_artifact_hashes>("inputArtifactHashes", kRequired),
       field<&R::output_artifact_hashes>("outputArtifactHashes", kRequired),
       field<&R::resource_peak>("resourcePeak", kRequired),
       field<&R::isolation_tier>("isolationTier", kRequired),
       field<&R::runtime_descriptor>("runtimeDescriptor", kRequired),
       field<&R::deadline_hit>("deadlineHit", kRequired),
       field<&R::exit_code>("exitCode", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<StageRecord>) {
  static const json::RecordSpec table(
      "StageRecord",
      {field<&StageRecord::stage_id>("stageId", kRequired),
       field<&StageRecord::status>("status", kRequired),
       field<&StageRecord::artifact_hashes>("artifactHashes", kRequired),
       field<&StageRecord::gate_result>("gateResult", kOptional),
       field<&StageRecord::duration_ms>("durationMs", kOptionalDefaulted),
       field<&StageRecord::sandbox_execution>("sandboxExecution", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<VerificationRecord>) {
  static const json::RecordSpec table(
      "VerificationRecord", {field<&VerificationRecord::compile>("compile", kRequired),
                             field<&VerificationRecord::test>("test", kRequired),
                             field<&VerificationRecord::lint>("lint", kRequired),
                             field<&VerificationRecord::typecheck>("typecheck", kRequired),
                             field<&VerificationRecord::security_scan>("securityScan", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ProofChainSummary>) {
  static const json::RecordSpec table(
      "ProofChainSummary",
      {field<&ProofChainSummary::record_count>("recordCount", kRequired),
       field<&ProofChainSummary::first_record_hash>("firstRecordHash", kOptionalDefaulted),
       field<&ProofChainSummary::last_record_hash>("lastRecordHash", kOptionalDefaulted),
       field<&ProofChainSummary::chain_integrity>("chainIntegrity", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ComplianceMapping>) {
  static const json::RecordSpec table("ComplianceMapping",
                                      {field<&ComplianceMapping::control>("control", kRequired),
                                       field<&ComplianceMapping::mechanism>("mechanism", kRequired),
                                       field<&ComplianceMapping::status>("status", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ComplianceRecord>) {
  static const json::RecordSpec table(
      "ComplianceRecord", {field<&ComplianceRecord::frameworks>("frameworks", kRequired),
                           field<&ComplianceRecord::mappings>("mappings", kDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<Signer>) {
  static const json::RecordSpec table(
      "Signer", {field<&Signer::subject>("subject", kRequired),
                 field<&Signer::identity_provider>("identityProvider", kRequired),
                 field<&Signer::session_id>("sessionId", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ConsumedOverride>) {
  static const json::RecordSpec table(
      "ConsumedOverride",
      {field<&ConsumedOverride::artifact_id>("artifactId", kRequired),
       field<&ConsumedOverride::path>("path", kRequired),
       field<&ConsumedOverride::content_hash>("contentHash", kRequired),
       field<&ConsumedOverride::author>("author", kOptionalDefaulted),
       field<&ConsumedOverride::modified_at>("modifiedAt", kOptionalDefaulted),
       field<&ConsumedOverride::verified>("verified", kRequired),
       field<&ConsumedOverride::verified_by>("verifiedBy", kOptionalDefaulted)});
  return table;
}

// ---- sub-records ---------------------------------------------------------------------------

const json::RecordSpec& json_record(json::Tag<SigningAttestation>) {
  static const json::RecordSpec table(
      "SigningAttestation", {field<&SigningAttestation::kind>("kind", kRequired),
                             field<&SigningAttestation::note>("note", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<CorpusBinding>) {
  static const json::RecordSpec table(
      "CorpusBinding",
      {field<&CorpusBinding::corpus_attestation_hash>("corpusAttestationHash", kRequired),
       field<&CorpusBinding::keelson_version>("keelsonVersion", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<SbomArtifactBinding>) {
  static const json::RecordSpec table(
      "SbomArtifactBinding",
      {field<&SbomArtifactBinding::bom_hash>("bomHash", kRequired),
       field<&SbomArtifactBinding::audit_hash>("auditHash", kRequired),
       field<&SbomArtifactBinding::bom_tool_version>("bomToolVersion", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<StageKeyRecord>) {
  static const json::RecordSpec table(
      "StageKeyRecord",
      {field<&StageKeyRecord::stage_id>("stageId", kRequired),
       field<&StageKeyRecord::ephemeral_public_key_b64>("ephemeralPublicKeyB64", kRequired),
       field<&StageKeyRecord::key_fingerprint>("keyFingerprint", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<RunKeyChain>) {
  static const json::RecordSpec table(
      "RunKeyChain", {field<&RunKeyChain::run_id>("runId", kRequired),
                      field<&RunKeyChain::root_public_key_b64>("rootPublicKeyB64", kRequired),
                      field<&RunKeyChain::stage_keys>("stageKeys", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<ManifestSigner>) {
  static const json::RecordSpec table(
      "ManifestSigner", {field<&ManifestSigner::agent_id>("agentId", kRequired),
                         field<&ManifestSigner::ephemeral_key_id>("ephemeralKeyId", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<InterStageManifest>) {
  using R = InterStageManifest;
  static const json::RecordSpec table(
      "InterStageManifest",
      {field<&R::run_id>("runId", kRequired), field<&R::from_stage>("fromStage", kRequired),
       field<&R::to_stage>("toStage", kRequired), field<&R::produced_at>("producedAt", kRequired),
       field<&R::artifact_hashes>("artifactHashes", kRequired),
       field<&R::metadata>("metadata", kDefaulted), field<&R::signer>("signer", kRequired),
       field<&R::signature>("signature", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<InterStageChainRecord>) {
  static const json::RecordSpec table(
      "InterStageChainRecord", {field<&InterStageChainRecord::key_chain>("keyChain", kRequired),
                                field<&InterStageChainRecord::manifests>("manifests", kDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<PlatformCountersign>) {
  static const json::RecordSpec table(
      "PlatformCountersign",
      {field<&PlatformCountersign::countersign_jws>("countersignJws", kRequired),
       field<&PlatformCountersign::kid>("kid", kRequired),
       field<&PlatformCountersign::countersigned_at>("countersignedAt", kRequired)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<CertAgenticSurface>) {
  static const json::RecordSpec table(
      "CertAgenticSurface",
      {field<&CertAgenticSurface::kind>("kind", kRequired),
       field<&CertAgenticSurface::description>("description", kOptionalDefaulted),
       field<&CertAgenticSurface::governance_envelope>("governanceEnvelope", kOptionalDefaulted)});
  return table;
}

const json::RecordSpec& json_record(json::Tag<AgenticPostureBinding>) {
  static const json::RecordSpec table(
      "AgenticPostureBinding", {field<&AgenticPostureBinding::posture>("posture", kRequired),
                                field<&AgenticPostureBinding::defaulted>("defaulted", kRequired),
                                field<&AgenticPostureBinding::surfaces>("surfaces", kDefaulted)});
  return table;
}

// ---- the root -----------------------------------------------------------------------------

const json::RecordSpec& json_record(json::Tag<GovernanceCertificate>) {
  using R = GovernanceCertificate;
  static const json::RecordSpec table(
      "GovernanceCertificate",
      {field<&R::certificate_version>("certificateVersion", kRequired),
       field<&R::pipeline_run_id>("pipelineRunId", kRequired),
       field<&R::timestamp>("timestamp", kRequired),
       field<&R::status>("status", kRequired),
       field<&R::intent>("intent", kRequired),
       field<&R::build_spec>("buildSpec", kRequired),
       field<&R::stages>("stages", kRequired),
       field<&R::verification>("verification", kRequired),
       field<&R::proof_chain>("proofChain", kRequired),
       field<&R::compliance>("compliance", kOptionalDefaulted),
       field<&R::signer>("signer", kOptionalDefaulted),
       field<&R::inter_stage_chain>("interStageChain", kOptionalDefaulted),
       field<&R::admitted_envelope_hash>("admittedEnvelopeHash", kOptionalDefaulted),
       field<&R::goal_id>("goalId", kOptionalDefaulted),
       field<&R::intent_capsule_hash>("intentCapsuleHash", kOptionalDefaulted),
       field<&R::consumed_overrides>("consumedOverrides", kDefaulted),
       field<&R::corpus_binding>("corpusBinding", kOptionalDefaulted),
       field<&R::sbom_artifact_binding>("sbomArtifactBinding", kOptionalDefaulted),
       field<&R::agentic_posture_binding>("agenticPostureBinding", kOptionalDefaulted),
       field<&R::certificate_hash>("certificateHash", kRequired),
       field<&R::signing_public_key>("signingPublicKey", kDefaulted),
       field<&R::cert_signature>("certSignature", kDefaulted),
       field<&R::signing_attestation>("signingAttestation", kDefaulted),
       field<&R::platform_countersign>("platformCountersign", kOptionalDefaulted)});
  return table;
}

fennick::Result<GovernanceCertificate, json::Error> read_certificate_json(json::KeptText text) {
  return json::from_json<GovernanceCertificate>(std::move(text));
}

fennick::Result<GovernanceCertificate, json::Error> read_certificate_json(std::string_view text) {
  return read_certificate_json(json::KeptText::copy_of(text));
}

}  // namespace fennick::certificate
