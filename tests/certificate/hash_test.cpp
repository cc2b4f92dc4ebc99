#include "certificate/hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "crypto/base64.h"
#include "crypto/sha256.h"
#include "json/output.h"
#include "support/certificate_json.h"
#include "support/certificate_producer.h"

namespace fennick::certificate {
namespace {

using test_support::key_pair_from_fill;
using test_support::read_certificate_ok;
using test_support::SealedCertificate;

constexpr std::string_view kEquationFailed =
    "Ed25519 signature verification failed: signature error: Verification equation was not "
    "satisfied";

std::optional<std::string> text(std::string_view s) { return std::string(s); }

// A certificate with stages and a chain, sealed, then read back from its own text as a verifier
// would see it.
SealedCertificate sealed(
    GovernanceCertificate certificate = test_support::minimal_certificate("run-7")) {
  certificate.stages.push_back(
      test_support::stage_with_artifacts("build", {{"app.tar", "binary"}, {"sbom", "{}"}}));
  certificate.inter_stage_chain = test_support::linear_chain(
      certificate.pipeline_run_id,
      {{"build", key_pair_from_fill(2)}, {"test", key_pair_from_fill(3)}});
  SealedCertificate s = test_support::seal_certificate(certificate, key_pair_from_fill(1));
  s.record = read_certificate_ok(s.json);
  return s;
}

std::string replace(std::string haystack, std::string_view from, std::string_view to) {
  const std::size_t at = haystack.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) haystack.replace(at, from.size(), to);
  return haystack;
}

TEST(CertificateHash, DigestCoversTheCanonicalTextWithHashSignatureAndCountersignLeftOut) {
  // Members out of order, white space, a key that no record declares, a claimed hash, a
  // signature and a countersign: none of it reaches the hash input.
  const std::string file = R"({
    "pipelineRunId": "run-1", "certificateVersion": "1.5.0", "unknownKey": [1, 2],
    "timestamp": "2024-05-01T12:00:00+02:00", "status": "complete",
    "intent": {"requirementsHash": "r1"}, "buildSpec": {"hash": "b1"}, "stages": [],
    "verification": {"compile": "passed", "test": "passed", "lint": "passed",
                     "typecheck": "passed", "securityScan": "passed"},
    "proofChain": {"recordCount": 3, "chainIntegrity": "verified"},
    "certSignature": "c2lnbmF0dXJl", "certificateHash": "abc", "signingPublicKey": "a2V5",
    "platformCountersign": {"countersignJws": "a.b.c", "kid": "k",
                            "countersignedAt": "2024-05-01T10:00:00Z"}
  })";
  const std::string hash_input =
      R"({"certificateVersion":"1.5.0","pipelineRunId":"run-1",)"
      R"("timestamp":"2024-05-01T10:00:00Z","status":"complete",)"
      R"("intent":{"requirementsHash":"r1"},"buildSpec":{"hash":"b1"},"stages":[],)"
      R"("verification":{"compile":"passed","test":"passed","lint":"passed",)"
      R"("typecheck":"passed","securityScan":"passed"},)"
      R"("proofChain":{"recordCount":3,"chainIntegrity":"verified"},)"
      R"("certificateHash":"","signingPublicKey":"a2V5","certSignature":"",)"
      R"("signingAttestation":{"kind":"unsigned"}})";
  const GovernanceCertificate certificate = read_certificate_ok(file);
  EXPECT_EQ(compute_certificate_hash(certificate), crypto::sha256_hex(hash_input));
  EXPECT_EQ(
      check_certificate_hash(certificate),
      text("certificate hash mismatch: expected " + crypto::sha256_hex(hash_input) + ", got abc"));
}

// The digest takes the text window by window: a text several windows long, with a member that
// straddles their edges, must give the digest of the whole text.
TEST(CertificateHash, DigestOfATextSeveralWindowsLongCoversEveryPiece) {
  GovernanceCertificate certificate = test_support::minimal_certificate("run-7");
  certificate.goal_id = std::string(3 * json::Output::kWindowBytes + 5, 'g');
  certificate.certificate_hash = "claimed";
  certificate.cert_signature = "signature";
  const fennick::Result<std::string> whole = write_certificate_json(certificate);
  ASSERT_TRUE(whole.ok()) << whole.error();
  const std::string hash_input =
      replace(replace(*whole, R"("certificateHash":"claimed")", R"("certificateHash":"")"),
              R"("certSignature":"signature")", R"("certSignature":"")");
  ASSERT_GT(hash_input.size(), 3 * json::Output::kWindowBytes);
  EXPECT_EQ(compute_certificate_hash(certificate), crypto::sha256_hex(hash_input));
}

TEST(CertificateHash, SealedCertificatePassesBothChecks) {
  const SealedCertificate s = sealed();
  EXPECT_EQ(check_certificate_signature(s.record), std::nullopt);
  EXPECT_EQ(check_certificate_hash(s.record), std::nullopt);
  EXPECT_EQ(compute_certificate_hash(s.record), s.record.certificate_hash);
  EXPECT_EQ(s.record.certificate_hash.size(), 64u);
}

TEST(CertificateHash, CountersignOrderAndUndeclaredKeysChangeNeitherInput) {
  const SealedCertificate s = sealed();
  GovernanceCertificate with_seal = s.record;
  with_seal.platform_countersign = PlatformCountersign{"h.p.s", "kid-1", {1, 0}};
  EXPECT_EQ(check_certificate_hash(with_seal), std::nullopt);
  EXPECT_EQ(check_certificate_signature(with_seal), std::nullopt);
  with_seal.platform_countersign->countersign_jws = "other.jws.text";
  EXPECT_EQ(check_certificate_signature(with_seal), std::nullopt);

  // The file's text: an extra member first and the hash moved to the front.
  std::string reordered = s.json;
  const std::string hash_member = R"("certificateHash":")" + s.record.certificate_hash + R"(",)";
  reordered = replace(reordered, hash_member, "");
  reordered = "{\"zzz\":{\"nested\":true}," + hash_member + reordered.substr(1);
  const GovernanceCertificate again = read_certificate_ok(reordered);
  EXPECT_EQ(check_certificate_hash(again), std::nullopt);
  EXPECT_EQ(check_certificate_signature(again), std::nullopt);
}

TEST(CertificateHash, AlteredClaimedHashFailsBothSteps) {
  GovernanceCertificate c = sealed().record;
  const std::string computed = c.certificate_hash;
  c.certificate_hash = crypto::sha256_hex("something else");
  EXPECT_EQ(check_certificate_signature(c), text(kEquationFailed));
  EXPECT_EQ(check_certificate_hash(c), text("certificate hash mismatch: expected " + computed +
                                            ", got " + c.certificate_hash));
}

TEST(CertificateSignature, EmptyKeyOrSignatureIsUnsigned) {
  GovernanceCertificate c = test_support::minimal_certificate();
  EXPECT_EQ(check_certificate_signature(c),
            text("certificate is unsigned (signing_public_key empty) -- rejected per FR-008.2"));
  c.signing_public_key = test_support::public_key_b64(key_pair_from_fill(1));
  EXPECT_EQ(check_certificate_signature(c),
            text("certificate is unsigned (cert_signature empty) -- rejected per FR-008.1"));
  // The attestation kind excuses nothing.
  c.signing_attestation.kind = SigningKind::kUnsigned;
  c.signing_public_key.clear();
  c.cert_signature = "AAAA";
  EXPECT_EQ(check_certificate_signature(c),
            text("certificate is unsigned (signing_public_key empty) -- rejected per FR-008.2"));
}

TEST(CertificateSignature, DecodingStepsInOrder) {
  GovernanceCertificate c = sealed().record;
  const std::string key = c.signing_public_key;

  c.signing_public_key = key.substr(0, 43);  // padding dropped
  EXPECT_EQ(check_certificate_signature(c),
            text("signing_public_key base64 decode: Invalid padding"));
  c.signing_public_key = " " + key.substr(1);
  EXPECT_EQ(check_certificate_signature(c),
            text("signing_public_key base64 decode: Invalid symbol 32, offset 0."));
  c.signing_public_key = key.substr(0, 43) + "A" + "AAAA";  // 48 characters, 36 bytes
  EXPECT_EQ(check_certificate_signature(c), text("signing_public_key length 36 != 32"));

  std::string not_a_point(32, '\0');
  not_a_point[0] = 2;  // y = 2 has no x on the curve
  c.signing_public_key = crypto::encode_base64_standard(not_a_point);
  c.cert_signature = "not base64 at all";  // the key is judged before the signature
  EXPECT_EQ(check_certificate_signature(c),
            text("signing_public_key not a valid Ed25519 point: signature error: Cannot "
                 "decompress Edwards point"));

  c.signing_public_key = key;
  c.cert_signature = sealed().record.cert_signature.substr(0, 86);
  EXPECT_EQ(check_certificate_signature(c), text("cert_signature base64 decode: Invalid padding"));
  c.cert_signature = crypto::encode_base64_standard(std::string(63, 'x'));
  EXPECT_EQ(check_certificate_signature(c), text("cert_signature length 63 != 64"));
}

TEST(CertificateSignature, WrongOrSmallOrderKeyFailsTheEquation) {
  GovernanceCertificate other_key = sealed().record;
  other_key.signing_public_key = test_support::public_key_b64(key_pair_from_fill(9));
  EXPECT_EQ(check_certificate_signature(other_key), text(kEquationFailed));

  // The identity point decodes, so it passes the point step and is refused by strict
  // verification.
  GovernanceCertificate identity = sealed().record;
  std::string identity_key(32, '\0');
  identity_key[0] = 1;
  identity.signing_public_key = crypto::encode_base64_standard(identity_key);
  EXPECT_EQ(check_certificate_signature(identity), text(kEquationFailed));
}

TEST(CertificateSignature, SignatureMustCoverTheClaimedDigestNotAnEmptyOne) {
  GovernanceCertificate c = test_support::minimal_certificate();
  const auto key = key_pair_from_fill(4);
  c.signing_public_key = test_support::public_key_b64(key);
  c.certificate_hash = compute_certificate_hash(c);
  // Signed over the hash input (empty certificateHash) instead of the signing input.
  GovernanceCertificate hash_input = c;
  hash_input.certificate_hash.clear();
  c.cert_signature = test_support::sign_b64(test_support::certificate_text(hash_input), key);
  EXPECT_EQ(check_certificate_hash(c), std::nullopt);
  EXPECT_EQ(check_certificate_signature(c), text(kEquationFailed));
}

TEST(CertificateSignature, AttestationIsCarriedButNeverConsulted) {
  // A file without signingAttestation reads the default, and both inputs carry it.
  GovernanceCertificate c = test_support::minimal_certificate();
  const SealedCertificate s = test_support::seal_certificate(c, key_pair_from_fill(5));
  const std::string attestation = R"(,"signingAttestation":{"kind":"unsigned"})";
  ASSERT_NE(s.json.find(attestation), std::string::npos);
  const GovernanceCertificate without = read_certificate_ok(replace(s.json, attestation, ""));
  EXPECT_EQ(check_certificate_hash(without), std::nullopt);
  EXPECT_EQ(check_certificate_signature(without), std::nullopt);

  // A producer that hashed and signed the text without the member fails both checks.
  const auto key = key_pair_from_fill(5);
  GovernanceCertificate blank = c;
  blank.signing_public_key = test_support::public_key_b64(key);
  const std::string bare_hash_input =
      replace(test_support::certificate_text(blank), attestation, "");
  GovernanceCertificate wrong = blank;
  wrong.certificate_hash = crypto::sha256_hex(bare_hash_input);
  GovernanceCertificate signing_input = wrong;
  wrong.cert_signature = test_support::sign_b64(
      replace(test_support::certificate_text(signing_input), attestation, ""), key);
  EXPECT_NE(check_certificate_hash(wrong), std::nullopt);
  EXPECT_EQ(check_certificate_signature(wrong), text(kEquationFailed));

  // Any kind verifies when the signature is valid.
  for (const SigningKind kind : {SigningKind::kUnsigned, SigningKind::kSigstoreRekor}) {
    GovernanceCertificate k = test_support::minimal_certificate();
    k.signing_attestation.kind = kind;
    const GovernanceCertificate r =
        read_certificate_ok(test_support::seal_certificate(k, key).json);
    EXPECT_EQ(check_certificate_signature(r), std::nullopt);
    EXPECT_EQ(check_certificate_hash(r), std::nullopt);
  }
}

}  // namespace
}  // namespace fennick::certificate
