#pragma once
// The governance certificate as typed records, and its reading from JSON text.
//
// Members are named after the JSON keys (snake_case of the camelCase key) and kept in the
// declared order, which is also the order of the array form and of the canonical writing.
// Optional members are std::optional; defaulted members carry their default as the initializer.
// Every record is a plain value: copying one copies it deeply. Strings are json::Text, views into
// the certificate text they were read from that keep it alive; maps are json::FlatMap.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/boxed.h"
#include "json/error.h"
#include "json/flat_map.h"
#include "json/raw_map.h"
#include "json/raw_value.h"
#include "json/read.h"
#include "json/text.h"
#include "json/value.h"
#include "result.h"
#include "text/rfc3339.h"

namespace fennick::certificate {

// Artifact name (or any other text key) to digest text, in ascending byte order of the key.
using StringMap = json::FlatMap<json::Text>;

// ---- enumerations (values in wire order) --------------------------------------------------

enum class CertificateStatus : std::uint8_t { kComplete, kIncomplete };
enum class StageStatus : std::uint8_t { kPassed, kFailed, kSkipped };
// The same wire strings as StageStatus, but a distinct type: nothing converts one to the other.
enum class CheckStatus : std::uint8_t { kPassed, kFailed, kSkipped };
enum class ChainIntegrity : std::uint8_t { kVerified, kUnverified, kEmpty };
enum class SigningKind : std::uint8_t { kUnsigned, kEphemeral, kOperator, kSigstoreRekor };

// The wire strings ("complete", "sigstore-rekor", ...).
std::string_view wire_name(CertificateStatus v);
std::string_view wire_name(StageStatus v);
std::string_view wire_name(CheckStatus v);
std::string_view wire_name(ChainIntegrity v);
std::string_view wire_name(SigningKind v);

// "Complete" or "Incomplete", as the command line prints the status.
std::string_view display_name(CertificateStatus v);

const json::EnumSpec& json_enum(json::Tag<CertificateStatus>);
const json::EnumSpec& json_enum(json::Tag<StageStatus>);
const json::EnumSpec& json_enum(json::Tag<CheckStatus>);
const json::EnumSpec& json_enum(json::Tag<ChainIntegrity>);
const json::EnumSpec& json_enum(json::Tag<SigningKind>);

// ---- main records -------------------------------------------------------------------------

struct IntentRecord {
  json::Text requirements_hash;
  std::optional<json::Text> spec_id;
  std::optional<json::Text> spec_hash;
  bool operator==(const IntentRecord&) const = default;
};

struct ApprovalRecord {
  std::optional<json::Text> approved_by;
  text::Timestamp approved_at;
  json::Text gate_type;
  bool operator==(const ApprovalRecord&) const = default;
};

struct BuildSpecRecord {
  json::Text hash;
  std::optional<ApprovalRecord> approval_record;
  bool operator==(const BuildSpecRecord&) const = default;
};

struct GateResultRecord {
  bool passed = false;
  std::uint32_t checks_run = 0;
  std::uint32_t checks_failed = 0;
  bool operator==(const GateResultRecord&) const = default;
};

struct SandboxResourcePeak {
  std::uint32_t cpu_milli_peak = 0;
  std::uint64_t memory_bytes_peak = 0;
  std::uint32_t pid_peak = 0;
  bool operator==(const SandboxResourcePeak&) const = default;
};

struct SandboxExecutionRecord {
  std::vector<json::Text> command;
  StringMap input_artifact_hashes;
  StringMap output_artifact_hashes;
  SandboxResourcePeak resource_peak;
  std::uint8_t isolation_tier = 0;
  json::Text runtime_descriptor;
  bool deadline_hit = false;
  std::int32_t exit_code = 0;
  bool operator==(const SandboxExecutionRecord&) const = default;
};

struct StageRecord {
  json::Text stage_id;
  StageStatus status = StageStatus::kPassed;
  StringMap artifact_hashes;  // artifact name to digest text
  // Optional but not defaulted: in the array form its position must be present.
  std::optional<GateResultRecord> gate_result;
  std::optional<std::uint64_t> duration_ms;
  json::Boxed<SandboxExecutionRecord> sandbox_execution;  // rare and large: kept apart
  bool operator==(const StageRecord&) const = default;
};

struct VerificationRecord {
  CheckStatus compile = CheckStatus::kPassed;
  CheckStatus test = CheckStatus::kPassed;
  CheckStatus lint = CheckStatus::kPassed;
  CheckStatus typecheck = CheckStatus::kPassed;
  CheckStatus security_scan = CheckStatus::kPassed;
  bool operator==(const VerificationRecord&) const = default;
};

struct ProofChainSummary {
  std::uint64_t record_count = 0;
  std::optional<json::Text> first_record_hash;
  std::optional<json::Text> last_record_hash;
  ChainIntegrity chain_integrity = ChainIntegrity::kVerified;
  bool operator==(const ProofChainSummary&) const = default;
};

struct ComplianceMapping {
  json::Text control;
  json::Text mechanism;
  json::Text status;
  bool operator==(const ComplianceMapping&) const = default;
};

struct ComplianceRecord {
  std::vector<json::Text> frameworks;
  std::vector<ComplianceMapping> mappings;
  bool operator==(const ComplianceRecord&) const = default;
};

struct Signer {
  json::Text subject;
  json::Text identity_provider;
  std::optional<json::Text> session_id;
  bool operator==(const Signer&) const = default;
};

struct ConsumedOverride {
  json::Text artifact_id;
  json::Text path;
  json::Text content_hash;
  std::optional<json::Text> author;
  std::optional<json::Text> modified_at;  // kept as text: never read as a timestamp
  bool verified = false;
  std::optional<json::Text> verified_by;
  bool operator==(const ConsumedOverride&) const = default;
};

// ---- sub-records ---------------------------------------------------------------------------

struct SigningAttestation {
  SigningKind kind = SigningKind::kUnsigned;
  std::optional<json::Text> note;
  bool operator==(const SigningAttestation&) const = default;
};

struct CorpusBinding {
  json::Text corpus_attestation_hash;
  json::Text keelson_version;
  bool operator==(const CorpusBinding&) const = default;
};

struct SbomArtifactBinding {
  json::Text bom_hash;
  json::Text audit_hash;
  json::Text bom_tool_version;
  bool operator==(const SbomArtifactBinding&) const = default;
};

struct StageKeyRecord {
  json::Text stage_id;  // independent of the map key it stands under
  json::Text ephemeral_public_key_b64;
  json::Text key_fingerprint;
  bool operator==(const StageKeyRecord&) const = default;
};

struct RunKeyChain {
  json::Text run_id;
  json::Text root_public_key_b64;
  json::FlatMap<StageKeyRecord> stage_keys;  // by stage id
  bool operator==(const RunKeyChain&) const = default;
};

struct ManifestSigner {
  json::Text agent_id;
  json::Text ephemeral_key_id;
  bool operator==(const ManifestSigner&) const = default;
};

struct InterStageManifest {
  json::Text run_id;
  json::Text from_stage;
  json::Text to_stage;
  text::Timestamp produced_at;
  StringMap artifact_hashes;
  json::RawMap metadata;  // kept as its text
  ManifestSigner signer;
  json::Text signature;
  bool operator==(const InterStageManifest&) const = default;
};

struct InterStageChainRecord {
  RunKeyChain key_chain;
  std::vector<InterStageManifest> manifests;
  bool operator==(const InterStageChainRecord&) const = default;
};

struct PlatformCountersign {
  json::Text countersign_jws;
  json::Text kid;
  text::Timestamp countersigned_at;
  bool operator==(const PlatformCountersign&) const = default;
};

struct CertAgenticSurface {
  json::Text kind;
  std::optional<json::Text> description;
  std::optional<json::RawValue> governance_envelope;
  bool operator==(const CertAgenticSurface&) const = default;
};

struct AgenticPostureBinding {
  json::Text posture;  // any text; the posture checks judge it
  bool defaulted = false;
  std::vector<CertAgenticSurface> surfaces;
  bool operator==(const AgenticPostureBinding&) const = default;
};

// ---- the root -----------------------------------------------------------------------------

struct GovernanceCertificate {
  json::Text certificate_version;
  json::Text pipeline_run_id;
  text::Timestamp timestamp;
  CertificateStatus status = CertificateStatus::kComplete;
  IntentRecord intent;
  BuildSpecRecord build_spec;
  std::vector<StageRecord> stages;
  VerificationRecord verification;
  ProofChainSummary proof_chain;
  std::optional<ComplianceRecord> compliance;
  std::optional<Signer> signer;
  std::optional<InterStageChainRecord> inter_stage_chain;
  std::optional<json::Text> admitted_envelope_hash;
  std::optional<json::Text> goal_id;
  std::optional<json::Text> intent_capsule_hash;
  std::vector<ConsumedOverride> consumed_overrides;
  std::optional<CorpusBinding> corpus_binding;
  std::optional<SbomArtifactBinding> sbom_artifact_binding;
  std::optional<AgenticPostureBinding> agentic_posture_binding;
  json::Text certificate_hash;
  json::Text signing_public_key;
  json::Text cert_signature;
  SigningAttestation signing_attestation;
  std::optional<PlatformCountersign> platform_countersign;
  bool operator==(const GovernanceCertificate&) const = default;
};

// Field tables of the reader (json/read.h), found by argument-dependent lookup.
const json::RecordSpec& json_record(json::Tag<IntentRecord>);
const json::RecordSpec& json_record(json::Tag<ApprovalRecord>);
const json::RecordSpec& json_record(json::Tag<BuildSpecRecord>);
const json::RecordSpec& json_record(json::Tag<GateResultRecord>);
const json::RecordSpec& json_record(json::Tag<SandboxResourcePeak>);
const json::RecordSpec& json_record(json::Tag<SandboxExecutionRecord>);
const json::RecordSpec& json_record(json::Tag<StageRecord>);
const json::RecordSpec& json_record(json::Tag<VerificationRecord>);
const json::RecordSpec& json_record(json::Tag<ProofChainSummary>);
const json::RecordSpec& json_record(json::Tag<ComplianceMapping>);
const json::RecordSpec& json_record(json::Tag<ComplianceRecord>);
const json::RecordSpec& json_record(json::Tag<Signer>);
const json::RecordSpec& json_record(json::Tag<ConsumedOverride>);
const json::RecordSpec& json_record(json::Tag<SigningAttestation>);
const json::RecordSpec& json_record(json::Tag<CorpusBinding>);
const json::RecordSpec& json_record(json::Tag<SbomArtifactBinding>);
const json::RecordSpec& json_record(json::Tag<StageKeyRecord>);
const json::RecordSpec& json_record(json::Tag<RunKeyChain>);
const json::RecordSpec& json_record(json::Tag<ManifestSigner>);
const json::RecordSpec& json_record(json::Tag<InterStageManifest>);
const json::RecordSpec& json_record(json::Tag<InterStageChainRecord>);
const json::RecordSpec& json_record(json::Tag<PlatformCountersign>);
const json::RecordSpec& json_record(json::Tag<CertAgenticSurface>);
const json::RecordSpec& json_record(json::Tag<AgenticPostureBinding>);
const json::RecordSpec& json_record(json::Tag<GovernanceCertificate>);

// Reads a whole certificate file. The error's to_string() is the message followed by
// " at line L column C". The strings of the records view `text`, which they keep.
fennick::Result<GovernanceCertificate, json::Error> read_certificate_json(json::KeptText text);
// The same for text the caller keeps: it is copied once, and the records view the copy.
fennick::Result<GovernanceCertificate, json::Error> read_certificate_json(std::string_view text);

}  // namespace fennick::certificate
