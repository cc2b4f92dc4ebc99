#pragma once
// The canonical text of the certificate records: compact JSON, members in declared order, maps
// in ascending byte order of the key, timestamps in UTC, fixed omission rules. Hashes and
// signatures are computed over this text, so every byte of it is fixed.
//
// Each writer appends one value to `out`. Absent optional members are left out, except a stage's
// `gateResult`, written as null; the certificate's `consumedOverrides`, a compliance record's
// `mappings`, a posture binding's `surfaces` and a manifest's `metadata` are left out when empty.

#include <string>

#include "certificate/records.h"
#include "result.h"

namespace fennick::certificate {

// The whole certificate in one fresh buffer. Writing cannot fail for records that reading
// produced (every key is a string, every number finite); the error value is part of the contract
// with the hash and signature steps all the same.
fennick::Result<std::string> write_certificate_json(const GovernanceCertificate& certificate);

// One inter-stage manifest, as its signature covers it.
void write_manifest_json(const InterStageManifest& manifest, std::string& out);

// Enumerations: the wire string as a JSON string.
void write_json(CertificateStatus value, std::string& out);
void write_json(StageStatus value, std::string& out);
void write_json(CheckStatus value, std::string& out);
void write_json(ChainIntegrity value, std::string& out);
void write_json(SigningKind value, std::string& out);

// Timestamps: the canonical UTC text as a JSON string.
void write_json(const text::Timestamp& value, std::string& out);

// Records.
void write_json(const GovernanceCertificate& record, std::string& out);
void write_json(const IntentRecord& record, std::string& out);
void write_json(const BuildSpecRecord& record, std::string& out);
void write_json(const ApprovalRecord& record, std::string& out);
void write_json(const StageRecord& record, std::string& out);
void write_json(const GateResultRecord& record, std::string& out);
void write_json(const SandboxExecutionRecord& record, std::string& out);
void write_json(const SandboxResourcePeak& record, std::string& out);
void write_json(const VerificationRecord& record, std::string& out);
void write_json(const ProofChainSummary& record, std::string& out);
void write_json(const ComplianceRecord& record, std::string& out);
void write_json(const ComplianceMapping& record, std::string& out);
void write_json(const Signer& record, std::string& out);
void write_json(const ConsumedOverride& record, std::string& out);
void write_json(const SigningAttestation& record, std::string& out);
void write_json(const CorpusBinding& record, std::string& out);
void write_json(const SbomArtifactBinding& record, std::string& out);
void write_json(const InterStageChainRecord& record, std::string& out);
void write_json(const RunKeyChain& record, std::string& out);
void write_json(const StageKeyRecord& record, std::string& out);
void write_json(const InterStageManifest& record, std::string& out);
void write_json(const ManifestSigner& record, std::string& out);
void write_json(const PlatformCountersign& record, std::string& out);
void write_json(const AgenticPostureBinding& record, std::string& out);
void write_json(const CertAgenticSurface& record, std::string& out);

}  // namespace fennick::certificate
