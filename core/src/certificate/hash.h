#pragma once
// The certificate's own protection: a digest and an Ed25519 signature over its canonical JSON.
// Neither is trusted as given: the digest is recomputed from the parsed record and the signature
// is checked with the key that the certificate carries. What ties a certificate to the platform is
// the countersign, not this key.

#include <optional>
#include <string>

#include "certificate/records.h"

namespace fennick::certificate {

// The digest text of the canonical certificate with certificateHash and certSignature emptied and
// no platform countersign, written from the certificate straight into the digest.
std::string compute_certificate_hash(const GovernanceCertificate& certificate);

// Nothing when the recomputed digest equals certificateHash byte for byte, else
// "certificate hash mismatch: expected {computed}, got {claimed}".
std::optional<std::string> check_certificate_hash(const GovernanceCertificate& certificate);

// Nothing when certSignature is a valid strict Ed25519 signature by signingPublicKey over the
// canonical certificate that carries the claimed certificateHash, an empty certSignature and no
// platform countersign; else the text of the first step that failed.
std::optional<std::string> check_certificate_signature(const GovernanceCertificate& certificate);

}  // namespace fennick::certificate
