#pragma once
// The canonical text of the certificate records: compact JSON, members in declared order, maps
// in ascending byte order of the key, timestamps in UTC, fixed omission rules. Hashes and
// signatures are computed over this text, so every byte of it is fixed.
//
// Each writer appends one value to `out`, a json::Output that keeps the text in a fixed window
// and drains it to a string, a digest or a byte count. Absent optional members are left out, except
// a stage's `gateResult`, written as null; the certificate's `consumedOverrides`, a compliance
// record's `mappings`, a posture binding's `surfaces` and a manifest's `metadata` are left out when
// empty.

#include <string>

#include "certificate/records.h"
#include "json/output.h"
#include "result.h"

namespace fennick::certificate {

// Which text of the certificate is written. The certificate's own protection cannot cover
// itself, so the texts that the digest and the signature are computed over leave those members
// blank or out; each is written from the certificate as it stands, never from an edited copy.
enum class CertificateText {
  // Every member as it stands.
  kWhole,
  // The signature covers this: certSignature "", no platformCountersign (the seal is added after
  // signing and carries its own signature); the claimed certificateHash kept.
  kSigningInput,
  // The digest covers this: certificateHash "", certSignature "", no platformCountersign.
  kHashInput,
};

// The certificate's text in one fresh buffer, allocated once at its exact size (the text is
// counted before it is written). Writing cannot fail for records that reading produced (every
// key is a string, every number finite); the error value is part of the contract with the hash
// and signature steps all the same.
fennick::Result<std::string> write_certificate_json(const GovernanceCertificate& certificate,
                                                    CertificateText text = CertificateText::kWhole);

// The certificate's text appended to `out`: a digest can take it in pieces, with no buffer of
// the whole text.
void write_certificate_json(const GovernanceCertificate& certificate, CertificateText text,
                            json::Output& out);

// One inter-stage manifest, as its signature covers it.
void write_manifest_json(const InterStageManifest& manifest, std::string& out);

// Enumerations: the wire string as a JSON string.
void write_json(CertificateStatus value, json::Output& out);
void write_json(StageStatus value, json::Output& out);
void write_json(CheckStatus value, json::Output& out);
void write_json(ChainIntegrity value, json::Output& out);
void write_json(SigningKind value, json::Output& out);

// Timestamps: the canonical UTC text as a JSON string.
void write_json(const text::Timestamp& value, json::Output& out);

// Records.
void write_json(const GovernanceCertificate& record, json::Output& out);
void write_json(const IntentRecord& record, json::Output& out);
void write_json(const BuildSpecRecord& record, json::Output& out);
void write_json(const ApprovalRecord& record, json::Output& out);
void write_json(const StageRecord& record, json::Output& out);
void write_json(const GateResultRecord& record, json::Output& out);
void write_json(const SandboxExecutionRecord& record, json::Output& out);
void write_json(const SandboxResourcePeak& record, json::Output& out);
void write_json(const VerificationRecord& record, json::Output& out);
void write_json(const ProofChainSummary& record, json::Output& out);
void write_json(const ComplianceRecord& record, json::Output& out);
void write_json(const ComplianceMapping& record, json::Output& out);
void write_json(const Signer& record, json::Output& out);
void write_json(const ConsumedOverride& record, json::Output& out);
void write_json(const SigningAttestation& record, json::Output& out);
void write_json(const CorpusBinding& record, json::Output& out);
void write_json(const SbomArtifactBinding& record, json::Output& out);
void write_json(const InterStageChainRecord& record, json::Output& out);
void write_json(const RunKeyChain& record, json::Output& out);
void write_json(const StageKeyRecord& record, json::Output& out);
void write_json(const InterStageManifest& record, json::Output& out);
void write_json(const ManifestSigner& record, json::Output& out);
void write_json(const PlatformCountersign& record, json::Output& out);
void write_json(const AgenticPostureBinding& record, json::Output& out);
void write_json(const CertAgenticSurface& record, json::Output& out);

// Any of the writers above, appending to a string.
template <class T>
void write_json(const T& value, std::string& out) {
  json::write_into(out, [&](json::Output& o) { write_json(value, o); });
}

}  // namespace fennick::certificate
