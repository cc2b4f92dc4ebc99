#include "certificate/verify.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "certificate/bindings.h"
#include "certificate/file_digest.h"
#include "certificate/offline.h"
#include "certificate/posture.h"
#include "certificate/watchlist.h"
#include "json/raw_value.h"
#include "text/display.h"

namespace fennick::certificate {
namespace {

using text::shown_value;

// A claim of the countersign payload; JSON null counts as absent, and a payload that is not an
// object has no claims.
std::optional<std::string> string_claim(const json::RawValue& payload, std::string_view key) {
  const std::optional<json::RawValue> value = payload.get(key);
  return value ? value->as_string() : std::nullopt;
}

void check_countersign(const GovernanceCertificate& certificate,
                       const std::optional<PlatformJwks>& jwks, bool seal_required,
                       VerificationOutcome& outcome) {
  if (!certificate.platform_countersign) {
    if (seal_required) {
      outcome.add_error(
          "certificate is verifiable-but-UNSEALED (no platform countersign): the offline chain "
          "holds but nothing binds this run to its admission contract -- rejected by default "
          "(spec 198 FR-014); pass --allow-unsealed to accept an unsealed certificate");
    } else {
      outcome.notices.emplace_back(
          "certificate is verifiable-but-UNSEALED: the offline chain holds, but no platform "
          "countersign binds this run to its admission contract; accepted under "
          "--allow-unsealed (spec 198 FR-014)");
    }
    return;
  }
  if (!jwks) {
    if (seal_required) {
      outcome.add_error(
          "certificate carries a platform countersign but no JWKS was provided to verify it -- "
          "supply --platform-jwks <file> (rejected by default; pass --allow-unsealed to accept "
          "an unadjudicated seal) (spec 198 FR-014)");
    } else {
      outcome.notices.emplace_back(
          "certificate carries a platform countersign, NOT verified (no JWKS provided; supply "
          "--platform-jwks <file>); accepted under --allow-unsealed");
    }
    return;
  }

  const auto verified =
      verify_compact_jws(certificate.platform_countersign->countersign_jws, *jwks, kCountersignTyp);
  if (!verified) {
    outcome.add_error("platform countersign invalid: " + verified.error().to_string());
    return;
  }
  const json::RawValue& payload = verified->payload;

  const std::optional<std::string> certificate_sha256 = string_claim(payload, "certificate_sha256");
  if (!certificate_sha256) {
    outcome.add_error(
        "platform countersign carries no certificate_sha256 claim -- it binds no certificate "
        "(spec 198 FR-014)");
  } else if (*certificate_sha256 != certificate.certificate_hash) {
    // The claimed hash, not a recomputed one: a wrong claimed hash is the offline sequence's
    // finding, and this check is only about what the seal binds.
    outcome.add_error("platform countersign binds certificate hash " +
                      shown_value(*certificate_sha256) + " but this certificate's hash is " +
                      shown_value(certificate.certificate_hash));
  }

  const std::optional<std::string> envelope_hash = string_claim(payload, "envelope_hash");
  if (envelope_hash && certificate.admitted_envelope_hash &&
      *envelope_hash != *certificate.admitted_envelope_hash) {
    outcome.add_error("platform countersign binds envelope hash " + shown_value(*envelope_hash) +
                      " but the certificate's admittedEnvelopeHash is " +
                      shown_value(*certificate.admitted_envelope_hash) + " (spec 198 FR-014)");
  }

  // The seal is only reported as verified for a certificate that holds in every earlier respect.
  if (outcome.error_count != 0) return;
  const std::optional<std::string> run_id = string_claim(payload, "run_id");
  const std::optional<json::RawValue> grant_value = payload.get("grant_count");
  const std::uint64_t grant_count = grant_value ? grant_value->as_u64().value_or(0) : 0;
  outcome.notices.push_back("platform countersign VERIFIED (kid " +
                            shown_value(verified->header.kid) + ", platform run " +
                            (run_id ? shown_value(*run_id) : std::string("?")) + ", " +
                            std::to_string(grant_count) + " grant(s) in chain)");
}

void check_corpus(const GovernanceCertificate& certificate,
                  const std::optional<std::string>& attestation, VerificationOutcome& outcome) {
  const CorpusBindingStatus status = check_corpus_binding(certificate.corpus_binding, attestation);
  switch (status.kind) {
    case CorpusBindingStatus::Kind::kUnbound:
      outcome.notices.emplace_back(
          "certificate is corpus-UNBOUND: no corpus_binding present -- the run is not bound by "
          "reference to a corpus attestation (spec 218 FR-004)");
      return;
    case CorpusBindingStatus::Kind::kUnverified: {
      const CorpusBinding& binding = *certificate.corpus_binding;
      outcome.notices.push_back(
          "corpus binding present-but-UNVERIFIED: certificate claims corpus attestation hash " +
          shown_value(binding.corpus_attestation_hash) + " (keelson " +
          shown_value(binding.keelson_version) +
          ") but no attestation was supplied to check the link -- supply --corpus-attestation "
          "<file> (spec 218 FR-004)");
      return;
    }
    case CorpusBindingStatus::Kind::kVerified: {
      const CorpusBinding& binding = *certificate.corpus_binding;
      outcome.notices.push_back(
          "corpus binding VERIFIED: supplied attestation hashes to the claimed "
          "corpus_attestation_hash " +
          shown_value(binding.corpus_attestation_hash) + " (keelson " +
          shown_value(binding.keelson_version) +
          "); the attestation's own truth is delegated to keelson verify-attestation (spec 218 "
          "FR-003)");
      return;
    }
    case CorpusBindingStatus::Kind::kMismatch:
      outcome.add_error("corpus binding MISMATCH: certificate claims corpus_attestation_hash " +
                        shown_value(status.claimed) + " but the supplied attestation hashes to " +
                        status.actual + " (spec 218 FR-004)");
      return;
  }
}

void check_sbom(const GovernanceCertificate& certificate,
                const std::optional<std::string>& sbom_dir, FileDigests& digests,
                VerificationOutcome& outcome) {
  const SbomBindingStatus status =
      check_sbom_binding(certificate.sbom_artifact_binding, sbom_dir, digests);
  switch (status.kind) {
    case SbomBindingStatus::Kind::kUnbound:
      outcome.notices.emplace_back(
          "certificate is sbom-UNBOUND: no sbom_artifact_binding present -- the run is not bound "
          "by hash to a CycloneDX BOM or dependency-audit artifact (spec 203 FR-003)");
      return;
    case SbomBindingStatus::Kind::kUnverified: {
      const SbomArtifactBinding& binding = *certificate.sbom_artifact_binding;
      outcome.notices.push_back(
          "sbom artifact binding present-but-UNVERIFIED: certificate claims bomHash " +
          shown_value(binding.bom_hash) + " / auditHash " + shown_value(binding.audit_hash) +
          " (bom tool " + shown_value(binding.bom_tool_version) +
          ") but no --sbom-dir was supplied to check the artifacts (spec 203 FR-003)");
      return;
    }
    case SbomBindingStatus::Kind::kVerified:
      outcome.notices.push_back(
          "sbom artifact binding VERIFIED: on-disk .factory/sbom.cdx.json and .factory/audit.json "
          "hash to the claimed values (bom tool " +
          shown_value(certificate.sbom_artifact_binding->bom_tool_version) + ")");
      return;
    case SbomBindingStatus::Kind::kBomMismatch:
      outcome.add_error("sbom binding MISMATCH: certificate claims bomHash " +
                        shown_value(status.claimed) + " but .factory/sbom.cdx.json hashes to " +
                        status.actual + " (spec 203 FR-003)");
      return;
    case SbomBindingStatus::Kind::kAuditMismatch:
      outcome.add_error("sbom binding MISMATCH: certificate claims auditHash " +
                        shown_value(status.claimed) + " but .factory/audit.json hashes to " +
                        status.actual + " (spec 203 FR-003)");
      return;
    case SbomBindingStatus::Kind::kUnreadable:
      outcome.add_error("sbom artifact binding present but " + shown_value(status.path) +
                        " could not be read: " + status.error + " (spec 203 FR-003)");
      return;
  }
}

void check_posture(const GovernanceCertificate& certificate,
                   const std::optional<std::string>& sbom_dir, VerificationOutcome& outcome) {
  if (certificate.agentic_posture_binding) {
    const std::size_t errors_before = outcome.error_count;
    validate_agentic_posture_binding(*certificate.agentic_posture_binding, outcome);
    if (outcome.error_count != errors_before) return;
  }
  const PostureCrossCheck check =
      cross_check_agentic_posture(certificate.agentic_posture_binding, sbom_dir);
  switch (check.kind) {
    case PostureCrossCheck::Kind::kUnstated:
      outcome.notices.emplace_back("agentic posture: UNSTATED (no binding)");
      return;
    case PostureCrossCheck::Kind::kDeclared:
      outcome.notices.emplace_back("agentic posture: DECLARED (agency acknowledged)");
      return;
    case PostureCrossCheck::Kind::kNoneClean:
      outcome.notices.emplace_back(
          "agentic posture: none, no watchlisted agent/LLM SDK in the BOM (NOTE: a watchlist "
          "miss is not proof of absence of agency; spec 210 FR-003)");
      return;
    case PostureCrossCheck::Kind::kContradicted:
      outcome.add_error("agentic posture `" + shown_value(check.posture) +
                        "` is contradicted by SBOM dependency `" + shown_value(check.dependency) +
                        "` (spec 210 FR-003): declare the agentic surface "
                        "(agentic_posture: declared|governed) or remove the dependency");
      return;
    case PostureCrossCheck::Kind::kNoneUnverified:
      outcome.notices.emplace_back(
          "agentic posture: none, PRESENT-BUT-UNVERIFIED (supply --sbom-dir to cross-check "
          "against the BOM; spec 210 FR-003)");
      return;
    case PostureCrossCheck::Kind::kBomUnreadable:
      outcome.notices.push_back("agentic posture: none, BOM unreadable at " +
                                shown_value(check.path) + ": " + check.error +
                                " (cross-check skipped)");
      return;
  }
}

}  // namespace

VerificationOutcome verify_certificate(const GovernanceCertificate& certificate,
                                       const std::optional<std::string>& artifact_dir,
                                       const std::optional<PlatformJwks>& jwks, bool seal_required,
                                       const std::optional<std::string>& attestation,
                                       const std::optional<std::string>& sbom_dir) {
  // One read buffer and one digest per file for every file this verification reads.
  FileDigests digests;
  VerificationOutcome outcome = verify_offline_chain(certificate, artifact_dir, digests);
  check_countersign(certificate, jwks, seal_required, outcome);
  check_corpus(certificate, attestation, outcome);
  check_sbom(certificate, sbom_dir, digests, outcome);
  check_posture(certificate, sbom_dir, outcome);
  outcome.ok = outcome.error_count == 0;
  return outcome;
}

}  // namespace fennick::certificate
