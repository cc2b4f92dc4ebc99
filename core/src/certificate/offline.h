#pragma once
// The checks that need nothing but the certificate and, optionally, the directory of its stage
// artifacts: signature, certificate hash, artifact digests, version gate and inter-stage chain.

#include <optional>
#include <string>
#include <string_view>

#include "certificate/file_digest.h"
#include "certificate/outcome.h"
#include "certificate/records.h"

namespace fennick::certificate {

// The one certificate version this verifier understands, compared byte for byte.
inline constexpr std::string_view kSupportedCertificateVersion = "1.5.0";

// Runs every offline check in order, none stopping the others. The outcome's errors are in the
// order found (the first kKeptErrors kept, every one counted), its notices empty, ok set when there
// is no error. Artifacts are re-hashed only when `artifact_dir` is given, each read in fixed-size
// pieces so that memory stays bounded whatever size the certificate's artifacts have; files are
// opened only at paths that lie textually below the directory, and read only when they are regular
// files.
VerificationOutcome verify_offline_chain(const GovernanceCertificate& certificate,
                                         const std::optional<std::string>& artifact_dir);

// The same, with the artifacts read through the verification's `digests`.
VerificationOutcome verify_offline_chain(const GovernanceCertificate& certificate,
                                         const std::optional<std::string>& artifact_dir,
                                         FileDigests& digests);

// Nothing when `value` may be used as a relative path below the artifact directory; otherwise,
// for an absolute value or one with a ".." component, the refusal text naming `label` and the
// value in quotes.
std::optional<std::string> check_confined_path(std::string_view label, std::string_view value);

}  // namespace fennick::certificate
