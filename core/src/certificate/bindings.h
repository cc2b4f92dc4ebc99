#pragma once
// The corpus and SBOM bindings: a certificate's claim that its run is tied, by digest, to a corpus
// attestation and to the produced application's BOM and dependency-audit files. Only the link is
// checked (claimed digest against the digest of the supplied bytes); the files are never parsed.

#include <optional>
#include <string>
#include <string_view>

#include "certificate/file_digest.h"
#include "certificate/records.h"

namespace fennick::certificate {

struct CorpusBindingStatus {
  enum class Kind {
    kUnbound,     // no corpusBinding
    kUnverified,  // a binding, but no attestation supplied
    kVerified,    // the attestation's digest equals the claimed one
    kMismatch,    // they differ: claimed and actual are set
  };
  Kind kind = Kind::kUnbound;
  std::string claimed;
  std::string actual;

  friend bool operator==(const CorpusBindingStatus&, const CorpusBindingStatus&) = default;
};

struct SbomBindingStatus {
  enum class Kind {
    kUnbound,        // no sbomArtifactBinding
    kUnverified,     // a binding, but no SBOM directory given
    kVerified,       // both files read and both digests match
    kBomMismatch,    // claimed and actual are set
    kAuditMismatch,  // the BOM matched; claimed and actual are set
    kUnreadable,     // path (display text) and error are set
  };
  Kind kind = Kind::kUnbound;
  std::string claimed;
  std::string actual;
  std::string path;
  std::string error;

  friend bool operator==(const SbomBindingStatus&, const SbomBindingStatus&) = default;
};

// The BOM and the audit file, relative to the SBOM directory.
inline constexpr std::string_view kSbomBomPath = ".factory/sbom.cdx.json";
inline constexpr std::string_view kSbomAuditPath = ".factory/audit.json";

// Attestation bytes are the whole file as supplied; they are hashed only when a binding exists.
CorpusBindingStatus check_corpus_binding(const std::optional<CorpusBinding>& binding,
                                         const std::optional<std::string>& attestation);

// Reads at most the BOM and then the audit file below `sbom_dir`, each only when it is a regular
// file; the audit file is opened only when the BOM's digest matched.
SbomBindingStatus check_sbom_binding(const std::optional<SbomArtifactBinding>& binding,
                                     const std::optional<std::string>& sbom_dir);

// The same, with the files read through the verification's `digests`.
SbomBindingStatus check_sbom_binding(const std::optional<SbomArtifactBinding>& binding,
                                     const std::optional<std::string>& sbom_dir,
                                     FileDigests& digests);

}  // namespace fennick::certificate
