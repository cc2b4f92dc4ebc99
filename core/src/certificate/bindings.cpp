#include "certificate/bindings.h"

#include "certificate/file_digest.h"
#include "crypto/sha256.h"
#include "result.h"
#include "text/fs.h"
#include "text/utf8.h"

namespace fennick::certificate {
namespace {

SbomBindingStatus unreadable(const std::string& path, std::string error) {
  SbomBindingStatus status;
  status.kind = SbomBindingStatus::Kind::kUnreadable;
  status.path = text::lossy_utf8(path);
  status.error = std::move(error);
  return status;
}

SbomBindingStatus mismatch(SbomBindingStatus::Kind kind, std::string_view claimed,
                           std::string actual) {
  SbomBindingStatus status;
  status.kind = kind;
  status.claimed = std::string(claimed);
  status.actual = std::move(actual);
  return status;
}

}  // namespace

CorpusBindingStatus check_corpus_binding(const std::optional<CorpusBinding>& binding,
                                         const std::optional<std::string>& attestation) {
  CorpusBindingStatus status;
  if (!binding) return status;
  if (!attestation) {
    status.kind = CorpusBindingStatus::Kind::kUnverified;
    return status;
  }
  std::string actual = crypto::sha256_hex(*attestation);
  if (actual == binding->corpus_attestation_hash) {
    status.kind = CorpusBindingStatus::Kind::kVerified;
    return status;
  }
  status.kind = CorpusBindingStatus::Kind::kMismatch;
  status.claimed = binding->corpus_attestation_hash;
  status.actual = std::move(actual);
  return status;
}

SbomBindingStatus check_sbom_binding(const std::optional<SbomArtifactBinding>& binding,
                                     const std::optional<std::string>& sbom_dir) {
  FileDigests digests;
  return check_sbom_binding(binding, sbom_dir, digests);
}

SbomBindingStatus check_sbom_binding(const std::optional<SbomArtifactBinding>& binding,
                                     const std::optional<std::string>& sbom_dir,
                                     FileDigests& digests) {
  SbomBindingStatus status;
  if (!binding) return status;
  if (!sbom_dir) {
    status.kind = SbomBindingStatus::Kind::kUnverified;
    return status;
  }

  const std::string bom_path = text::join_path(*sbom_dir, kSbomBomPath);
  Result<std::string> bom = digests.sha256_hex(bom_path);
  if (!bom) return unreadable(bom_path, std::move(bom).error());
  if (*bom != binding->bom_hash) {
    return mismatch(SbomBindingStatus::Kind::kBomMismatch, binding->bom_hash, std::move(*bom));
  }

  const std::string audit_path = text::join_path(*sbom_dir, kSbomAuditPath);
  Result<std::string> audit = digests.sha256_hex(audit_path);
  if (!audit) return unreadable(audit_path, std::move(audit).error());
  if (*audit != binding->audit_hash) {
    return mismatch(SbomBindingStatus::Kind::kAuditMismatch, binding->audit_hash,
                    std::move(*audit));
  }

  status.kind = SbomBindingStatus::Kind::kVerified;
  return status;
}

}  // namespace fennick::certificate
