#pragma once
// The one entry of certificate verification: every check in a fixed order, every finding
// recorded.

#include <optional>
#include <string>
#include <string_view>

#include "certificate/countersign.h"
#include "certificate/outcome.h"
#include "certificate/records.h"

namespace fennick::certificate {

// The `typ` that a platform countersign's JWS header must carry.
inline constexpr std::string_view kCountersignTyp = "torvane-cert-countersign+jws";

// Runs the offline sequence (signature, hash, artifacts, version, inter-stage chain), then the
// platform countersign, the corpus binding, the SBOM binding and the agentic posture, appending
// one text per finding (errors past kKeptErrors are counted only). Nothing stops early; `ok` is
// true exactly when no error was recorded.
// `seal_required` false demotes a missing countersign or a missing key set to a notice.
VerificationOutcome verify_certificate(const GovernanceCertificate& certificate,
                                       const std::optional<std::string>& artifact_dir,
                                       const std::optional<PlatformJwks>& jwks, bool seal_required,
                                       const std::optional<std::string>& attestation,
                                       const std::optional<std::string>& sbom_dir);

}  // namespace fennick::certificate
