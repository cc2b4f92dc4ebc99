#include "certificate/verify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace fennick::certificate {
namespace {

namespace ts = fennick::test_support;
using Lines = std::vector<std::string>;
using test_support::TempDir;

constexpr std::string_view kUnsealedError =
    "certificate is verifiable-but-UNSEALED (no platform countersign): the offline chain holds "
    "but nothing binds this run to its admission contract -- rejected by default (spec 198 "
    "FR-014); pass --allow-unsealed to accept an unsealed certificate";
constexpr std::string_view kUnsealedNotice =
    "certificate is verifiable-but-UNSEALED: the offline chain holds, but no platform countersign "
    "binds this run to its admission contract; accepted under --allow-unsealed (spec 198 FR-014)";
constexpr std::string_view kNoJwksError =
    "certificate carries a platform countersign but no JWKS was provided to verify it -- supply "
    "--platform-jwks <file> (rejected by default; pass --allow-unsealed to accept an "
    "unadjudicated seal) (spec 198 FR-014)";
constexpr std::string_view kNoJwksNotice =
    "certificate carries a platform countersign, NOT verified (no JWKS provided; supply "
    "--platform-jwks <file>); accepted under --allow-unsealed";
constexpr std::string_view kNoCertificateClaim =
    "platform countersign carries no certificate_sha256 claim -- it binds no certificate "
    "(spec 198 FR-014)";
constexpr std::string_view kCorpusUnbound =
    "certificate is corpus-UNBOUND: no corpus_binding present -- the run is not bound by "
    "reference to a corpus attestation (spec 218 FR-004)";
constexpr std::string_view kSbomUnbound =
    "certificate is sbom-UNBOUND: no sbom_artifact_binding present -- the run is not bound by "
    "hash to a CycloneDX BOM or dependency-audit artifact (spec 203 FR-003)";
constexpr std::string_view kPostureUnstated = "agentic posture: UNSTATED (no binding)";
constexpr std::string_view kPostureDeclared = "agentic posture: DECLARED (agency acknowledged)";
constexpr std::string_view kPostureNoneUnverified =
    "agentic posture: none, PRESENT-BUT-UNVERIFIED (supply --sbom-dir to cross-check against the "
    "BOM; spec 210 FR-003)";
constexpr std::string_view kPostureNoneClean =
    "agentic posture: none, no watchlisted agent/LLM SDK in the BOM (NOTE: a watchlist miss is "
    "not proof of absence of agency; spec 210 FR-003)";

constexpr std::string_view kBom =
    R"({"bomFormat":"CycloneDX","components":[{"name":"left-pad","purl":"pkg:npm/left-pad@1.3.0"}]})";
constexpr std::string_view kAgenticBom =
    R"({"bomFormat":"CycloneDX","components":[{"name":"openai","purl":"pkg:npm/openai@4.0.0"}]})";
constexpr std::string_view kAudit = R"({"advisories":{}})";

const ts::Ed25519KeyPair& certificate_key() {
  static const ts::Ed25519KeyPair key = ts::key_pair_from_fill(1);
  return key;
}
const ts::Ed25519KeyPair& platform_key() {
  static const ts::Ed25519KeyPair key = ts::key_pair_from_fill(9);
  return key;
}

GovernanceCertificate sealed(GovernanceCertificate certificate) {
  return ts::seal_certificate(std::move(certificate), certificate_key()).record;
}

GovernanceCertificate clean_certificate() { return sealed(ts::minimal_certificate("run-7")); }

PlatformJwks platform_jwks() {
  return PlatformJwks{.keys = {PlatformJwk{.kty = "OKP",
                                           .crv = "Ed25519",
                                           .x = platform_key().x(),
                                           .kid = "platform-1",
                                           .alg = "EdDSA",
                                           .use = "sig"}}};
}

// Attaches a countersign whose payload is `payload_json`, signed by the platform key. The
// countersign lies outside the certificate's hash and signature, so the seal still holds.
GovernanceCertificate countersigned(GovernanceCertificate certificate,
                                    std::string_view payload_json) {
  certificate.platform_countersign =
      ts::platform_countersign(payload_json, "platform-1", platform_key());
  return certificate;
}

GovernanceCertificate properly_countersigned(GovernanceCertificate certificate) {
  const std::string payload = ts::countersign_payload_json(
      certificate.certificate_hash, std::nullopt, certificate.pipeline_run_id, 3);
  return countersigned(std::move(certificate), payload);
}

VerificationOutcome verify(const GovernanceCertificate& certificate,
                           const std::optional<PlatformJwks>& jwks = std::nullopt,
                           bool seal_required = true,
                           const std::optional<std::string>& attestation = std::nullopt,
                           const std::optional<std::string>& sbom_dir = std::nullopt) {
  return verify_certificate(certificate, std::nullopt, jwks, seal_required, attestation, sbom_dir);
}

// The notices that a certificate without bindings always collects after the countersign.
Lines with_unbound_tail(Lines notices) {
  notices.emplace_back(kCorpusUnbound);
  notices.emplace_back(kSbomUnbound);
  notices.emplace_back(kPostureUnstated);
  return notices;
}

TEST(VerifyCertificateTest, UnsealedIsAnErrorByDefaultAndANoticeWhenAllowed) {
  const GovernanceCertificate certificate = clean_certificate();

  const VerificationOutcome strict = verify(certificate);
  EXPECT_EQ(strict.errors, Lines{std::string(kUnsealedError)});
  EXPECT_EQ(strict.notices, with_unbound_tail({}));
  EXPECT_FALSE(strict.ok);

  const VerificationOutcome lenient = verify(certificate, std::nullopt, false);
  EXPECT_TRUE(lenient.errors.empty());
  EXPECT_EQ(lenient.notices, with_unbound_tail({std::string(kUnsealedNotice)}));
  EXPECT_TRUE(lenient.ok);

  // A key set changes nothing when there is no countersign to check.
  EXPECT_EQ(verify(certificate, platform_jwks()).errors, Lines{std::string(kUnsealedError)});
}

TEST(VerifyCertificateTest, CountersignWithoutKeySet) {
  const GovernanceCertificate certificate = properly_countersigned(clean_certificate());

  const VerificationOutcome strict = verify(certificate);
  EXPECT_EQ(strict.errors, Lines{std::string(kNoJwksError)});
  EXPECT_EQ(strict.notices, with_unbound_tail({}));

  const VerificationOutcome lenient = verify(certificate, std::nullopt, false);
  EXPECT_TRUE(lenient.ok);
  EXPECT_EQ(lenient.notices, with_unbound_tail({std::string(kNoJwksNotice)}));
}

TEST(VerifyCertificateTest, VerifiedCountersignNotice) {
  const GovernanceCertificate certificate = properly_countersigned(clean_certificate());
  const VerificationOutcome outcome = verify(certificate, platform_jwks());
  EXPECT_TRUE(outcome.ok);
  EXPECT_TRUE(outcome.errors.empty());
  EXPECT_EQ(outcome.notices,
            with_unbound_tail({"platform countersign VERIFIED (kid platform-1, platform run run-7, "
                               "3 grant(s) in chain)"}));
}

TEST(VerifyCertificateTest, GrantCountAndRunIdFallbacks) {
  const GovernanceCertificate base = clean_certificate();
  const std::string hash = base.certificate_hash;
  struct Case {
    std::string claims;  // after certificate_sha256
    std::string shown;   // "platform run ..., N grant(s)"
  };
  const std::vector<Case> cases = {
      {R"(,"run_id":"r-1","grant_count":3)", "platform run r-1, 3 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":-1)", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":2.5)", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":1e2)", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":"3")", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":18446744073709551615)",
       "platform run r-1, 18446744073709551615 grant(s)"},
      {R"(,"run_id":"r-1","grant_count":18446744073709551616)", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r-1")", "platform run r-1, 0 grant(s)"},
      {R"(,"run_id":"r\n\u202e1")", "platform run r\\n\\u{202e}1, 0 grant(s)"},
      {R"(,"run_id":7,"grant_count":1)", "platform run ?, 1 grant(s)"},
      {R"(,"run_id":null,"grant_count":null)", "platform run ?, 0 grant(s)"},
      {"", "platform run ?, 0 grant(s)"},
  };
  for (const Case& c : cases) {
    const std::string payload = R"({"certificate_sha256":")" + hash + "\"" + c.claims + "}";
    const VerificationOutcome outcome = verify(countersigned(base, payload), platform_jwks());
    ASSERT_TRUE(outcome.ok) << payload;
    EXPECT_EQ(outcome.notices.front(),
              "platform countersign VERIFIED (kid platform-1, " + c.shown + " in chain)")
        << payload;
  }
}

TEST(VerifyCertificateTest, NoVerifiedNoticeAfterAnOfflineFailure) {
  GovernanceCertificate certificate = properly_countersigned(clean_certificate());
  certificate.certificate_version = "1.6.0";  // breaks hash, signature and the version gate
  const VerificationOutcome outcome = verify(certificate, platform_jwks());
  EXPECT_FALSE(outcome.ok);
  ASSERT_EQ(outcome.errors.size(), 3u);
  EXPECT_EQ(outcome.errors.back(), "unsupported certificate version: 1.6.0");
  // The JWS verified and binds the claimed hash, yet no seal is reported.
  EXPECT_EQ(outcome.notices, with_unbound_tail({}));
}

TEST(VerifyCertificateTest, ClaimedHashIsWhatTheCountersignMustBind) {
  // The claimed hash was altered after sealing and the countersign binds that altered value:
  // the offline sequence reports the hash, the countersign step reports nothing.
  GovernanceCertificate certificate = clean_certificate();
  certificate.certificate_hash = std::string(64, 'a');
  certificate = properly_countersigned(std::move(certificate));
  const VerificationOutcome outcome = verify(certificate, platform_jwks());
  ASSERT_EQ(outcome.errors.size(), 2u);
  EXPECT_EQ(outcome.errors[1], "certificate hash mismatch: expected " +
                                   clean_certificate().certificate_hash + ", got " +
                                   std::string(64, 'a'));
  EXPECT_EQ(outcome.notices, with_unbound_tail({}));

  // A countersign that binds another hash is an error of its own, after the offline ones.
  const GovernanceCertificate good = clean_certificate();
  const std::string other = std::string(64, 'b');
  const VerificationOutcome wrong =
      verify(countersigned(good, ts::countersign_payload_json(other, std::nullopt, "run-7", 1)),
             platform_jwks());
  EXPECT_EQ(wrong.errors, Lines{"platform countersign binds certificate hash " + other +
                                " but this certificate's hash is " + good.certificate_hash});
  EXPECT_EQ(wrong.notices, with_unbound_tail({}));
}

TEST(VerifyCertificateTest, MissingCertificateClaimStillComparesTheEnvelope) {
  GovernanceCertificate certificate = ts::minimal_certificate("run-7");
  certificate.admitted_envelope_hash = "env-admitted";
  certificate = sealed(std::move(certificate));

  const VerificationOutcome numeric =
      verify(countersigned(certificate, R"({"certificate_sha256":12,"envelope_hash":"env-other"})"),
             platform_jwks());
  EXPECT_EQ(numeric.errors,
            (Lines{std::string(kNoCertificateClaim),
                   "platform countersign binds envelope hash env-other but the certificate's "
                   "admittedEnvelopeHash is env-admitted (spec 198 FR-014)"}));

  for (const std::string_view payload :
       {R"([1,2])", R"("text")", R"({"certificate_sha256":null})"}) {
    const VerificationOutcome outcome =
        verify(countersigned(certificate, payload), platform_jwks());
    EXPECT_EQ(outcome.errors, Lines{std::string(kNoCertificateClaim)}) << payload;
    EXPECT_EQ(outcome.notices, with_unbound_tail({})) << payload;
  }
}

TEST(VerifyCertificateTest, EnvelopeComparedOnlyWhenBothSidesExist) {
  // Claim present, certificate without admittedEnvelopeHash.
  const GovernanceCertificate plain = clean_certificate();
  EXPECT_TRUE(verify(countersigned(plain, ts::countersign_payload_json(plain.certificate_hash,
                                                                       "env-x", "run-7", 1)),
                     platform_jwks())
                  .ok);

  // Certificate with admittedEnvelopeHash, no claim or a non-string claim.
  GovernanceCertificate admitted = ts::minimal_certificate("run-7");
  admitted.admitted_envelope_hash = "env-admitted";
  admitted = sealed(std::move(admitted));
  EXPECT_TRUE(
      verify(countersigned(admitted, ts::countersign_payload_json(admitted.certificate_hash,
                                                                  std::nullopt, "run-7", 1)),
             platform_jwks())
          .ok);
  EXPECT_TRUE(
      verify(countersigned(admitted, R"({"certificate_sha256":")" + admitted.certificate_hash +
                                         R"(","envelope_hash":5})"),
             platform_jwks())
          .ok);
  // Equal envelope hashes verify.
  EXPECT_TRUE(
      verify(countersigned(admitted, ts::countersign_payload_json(admitted.certificate_hash,
                                                                  "env-admitted", "run-7", 1)),
             platform_jwks())
          .ok);
}

TEST(VerifyCertificateTest, InvalidJwsIsAnErrorEvenWhenUnsealedIsAllowed) {
  GovernanceCertificate certificate = properly_countersigned(clean_certificate());
  PlatformJwks other_kid = platform_jwks();
  other_kid.keys[0].kid = "platform-2";

  const VerificationOutcome outcome = verify(certificate, other_kid, false);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.errors,
            Lines{"platform countersign invalid: no JWKS key matches kid 'platform-1'"});
  EXPECT_EQ(outcome.notices, with_unbound_tail({}));

  certificate.platform_countersign->countersign_jws = "a.b";
  EXPECT_EQ(verify(certificate, platform_jwks(), false).errors,
            Lines{"platform countersign invalid: malformed compact JWS: expected 3 segments"});
}

TEST(VerifyCertificateTest, CorpusBindingTexts) {
  GovernanceCertificate certificate = ts::minimal_certificate("run-7");
  const std::string attestation = "attestation bytes\n";
  const std::string digest = crypto::sha256_hex(attestation);
  certificate.corpus_binding =
      CorpusBinding{.corpus_attestation_hash = digest, .keelson_version = "0.9.1"};
  certificate = sealed(std::move(certificate));

  EXPECT_EQ(verify(certificate, std::nullopt, false).notices[1],
            "corpus binding present-but-UNVERIFIED: certificate claims corpus attestation hash " +
                digest +
                " (keelson 0.9.1) but no attestation was supplied to check the link -- supply "
                "--corpus-attestation <file> (spec 218 FR-004)");

  const VerificationOutcome verified = verify(certificate, std::nullopt, false, attestation);
  EXPECT_TRUE(verified.ok);
  EXPECT_EQ(verified.notices[1],
            "corpus binding VERIFIED: supplied attestation hashes to the claimed "
            "corpus_attestation_hash " +
                digest +
                " (keelson 0.9.1); the attestation's own truth is delegated to keelson "
                "verify-attestation (spec 218 FR-003)");

  const VerificationOutcome mismatch = verify(certificate, std::nullopt, false, std::string());
  EXPECT_EQ(mismatch.errors,
            Lines{"corpus binding MISMATCH: certificate claims corpus_attestation_hash " + digest +
                  " but the supplied attestation hashes to "
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 (spec 218 "
                  "FR-004)"});
  // The mismatch is an error, so it leaves the notices without a corpus line.
  EXPECT_EQ(mismatch.notices, (Lines{std::string(kUnsealedNotice), std::string(kSbomUnbound),
                                     std::string(kPostureUnstated)}));

  // Attestation bytes without a binding are not hashed against anything.
  EXPECT_EQ(verify(clean_certificate(), std::nullopt, false, attestation).notices[1],
            kCorpusUnbound);
}

TEST(VerifyCertificateTest, SbomBindingTexts) {
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kBom);
  dir.write(".factory/audit.json", kAudit);
  const std::string bom_hash = crypto::sha256_hex(kBom);
  const std::string audit_hash = crypto::sha256_hex(kAudit);

  const auto with_binding = [](std::string bom, std::string audit) {
    GovernanceCertificate certificate = ts::minimal_certificate("run-7");
    certificate.sbom_artifact_binding = SbomArtifactBinding{
        .bom_hash = std::move(bom), .audit_hash = std::move(audit), .bom_tool_version = "cdx 1"};
    return sealed(std::move(certificate));
  };

  const GovernanceCertificate right = with_binding(bom_hash, audit_hash);
  EXPECT_EQ(verify(right, std::nullopt, false).notices[2],
            "sbom artifact binding present-but-UNVERIFIED: certificate claims bomHash " + bom_hash +
                " / auditHash " + audit_hash +
                " (bom tool cdx 1) but no --sbom-dir was supplied to check the artifacts (spec 203 "
                "FR-003)");
  const VerificationOutcome verified = verify(right, std::nullopt, false, std::nullopt, dir.path());
  EXPECT_TRUE(verified.ok);
  EXPECT_EQ(
      verified.notices[2],
      "sbom artifact binding VERIFIED: on-disk .factory/sbom.cdx.json and .factory/audit.json "
      "hash to the claimed values (bom tool cdx 1)");

  EXPECT_EQ(
      verify(with_binding("00", audit_hash), std::nullopt, false, std::nullopt, dir.path()).errors,
      Lines{"sbom binding MISMATCH: certificate claims bomHash 00 but .factory/sbom.cdx.json "
            "hashes to " +
            bom_hash + " (spec 203 FR-003)"});
  EXPECT_EQ(
      verify(with_binding(bom_hash, "11"), std::nullopt, false, std::nullopt, dir.path()).errors,
      Lines{"sbom binding MISMATCH: certificate claims auditHash 11 but .factory/audit.json "
            "hashes to " +
            audit_hash + " (spec 203 FR-003)"});

  const TempDir empty;
  EXPECT_EQ(verify(right, std::nullopt, false, std::nullopt, empty.path()).errors,
            Lines{"sbom artifact binding present but " + empty.path() +
                  "/.factory/sbom.cdx.json could not be read: No such file or directory (os error "
                  "2) (spec 203 FR-003)"});
}

CertAgenticSurface surface(std::string kind) {
  CertAgenticSurface s;
  s.kind = std::move(kind);
  return s;
}

GovernanceCertificate with_posture(std::string posture, std::vector<CertAgenticSurface> surfaces) {
  GovernanceCertificate certificate = ts::minimal_certificate("run-7");
  certificate.agentic_posture_binding = AgenticPostureBinding{
      .posture = std::move(posture), .defaulted = false, .surfaces = std::move(surfaces)};
  return sealed(std::move(certificate));
}

TEST(VerifyCertificateTest, PostureShapeErrorsReplaceTheCrossCheck) {
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kAgenticBom);
  // "none" with a surface is a shape error; the agentic BOM would also contradict it, but the
  // cross-check does not run.
  const VerificationOutcome outcome = verify(with_posture("none", {surface("chat")}), std::nullopt,
                                             false, std::nullopt, dir.path());
  EXPECT_EQ(outcome.errors,
            Lines{"agentic_posture_binding: `none` must enumerate no surfaces, found 1"});
  EXPECT_EQ(outcome.notices, (Lines{std::string(kUnsealedNotice), std::string(kCorpusUnbound),
                                    std::string(kSbomUnbound)}));
}

TEST(VerifyCertificateTest, PostureCrossCheckTexts) {
  const TempDir agentic;
  agentic.write(".factory/sbom.cdx.json", kAgenticBom);
  const TempDir plain;
  plain.write(".factory/sbom.cdx.json", kBom);

  const GovernanceCertificate declared = with_posture("declared", {surface("chat")});
  EXPECT_EQ(verify(declared, std::nullopt, false).notices.back(), kPostureDeclared);
  EXPECT_EQ(verify(declared, std::nullopt, false, std::nullopt, agentic.path()).notices.back(),
            kPostureDeclared);

  const GovernanceCertificate none = with_posture("none", {});
  EXPECT_EQ(verify(none, std::nullopt, false).notices.back(), kPostureNoneUnverified);
  EXPECT_EQ(verify(none, std::nullopt, false, std::nullopt, plain.path()).notices.back(),
            kPostureNoneClean);

  const VerificationOutcome contradicted =
      verify(none, std::nullopt, false, std::nullopt, agentic.path());
  EXPECT_FALSE(contradicted.ok);
  EXPECT_EQ(contradicted.errors,
            Lines{"agentic posture `none` is contradicted by SBOM dependency `openai` (spec 210 "
                  "FR-003): declare the agentic surface (agentic_posture: declared|governed) or "
                  "remove the dependency"});

  const TempDir empty;
  EXPECT_EQ(verify(none, std::nullopt, false, std::nullopt, empty.path()).notices.back(),
            "agentic posture: none, BOM unreadable at " + empty.path() +
                "/.factory/sbom.cdx.json: No such file or directory (os error 2) (cross-check "
                "skipped)");
}

TEST(VerifyCertificateTest, EveryStepReportsInOrder) {
  const TempDir artifacts;
  const TempDir sbom;
  sbom.write(".factory/sbom.cdx.json", kAgenticBom);

  GovernanceCertificate certificate = ts::minimal_certificate("run-7");
  certificate.stages.push_back(ts::stage_with_artifacts("build", {{"app.bin", "binary"}}));
  certificate.corpus_binding =
      CorpusBinding{.corpus_attestation_hash = "c0", .keelson_version = "1"};
  certificate.sbom_artifact_binding = SbomArtifactBinding{
      .bom_hash = crypto::sha256_hex(kAgenticBom), .audit_hash = "a0", .bom_tool_version = "t"};
  certificate.agentic_posture_binding =
      AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};
  certificate = properly_countersigned(sealed(std::move(certificate)));
  PlatformJwks wrong_typ_keys = platform_jwks();
  certificate.platform_countersign->countersign_jws =
      ts::sign_compact_jws(ts::jws_header_json("EdDSA", "JWT", "platform-1"), "{}", platform_key());

  const VerificationOutcome outcome = verify_certificate(
      certificate, artifacts.path(), wrong_typ_keys, true, std::string("x"), sbom.path());
  ASSERT_EQ(outcome.errors.size(), 5u);
  EXPECT_EQ(outcome.errors[0].rfind("cannot read artifact build/app.bin: ", 0), 0u);
  EXPECT_EQ(outcome.errors[1],
            "platform countersign invalid: JWS typ mismatch: got 'JWT', expected "
            "'torvane-cert-countersign+jws' (domain separation)");
  EXPECT_EQ(outcome.errors[2].rfind("corpus binding MISMATCH: ", 0), 0u);
  EXPECT_EQ(outcome.errors[3].rfind("sbom artifact binding present but ", 0), 0u);
  EXPECT_EQ(outcome.errors[4].rfind("agentic posture `none` is contradicted", 0), 0u);
  EXPECT_TRUE(outcome.notices.empty());
  EXPECT_FALSE(outcome.ok);
}

// Past kKeptErrors the outcome only counts: the count, ok and the steps that depend on earlier
// errors see every error, kept or not.
TEST(VerifyCertificateTest, ErrorsPastTheKeptOnesAreCountedOnly) {
  const TempDir artifacts;
  GovernanceCertificate certificate = ts::minimal_certificate("run-7");
  StageRecord stage = ts::stage_with_artifacts("build", {});
  for (int i = 0; i < 1001; ++i) {
    std::string name = std::to_string(10000 + i);
    stage.artifact_hashes[name] = "x";
  }
  certificate.stages.push_back(std::move(stage));
  // Shape errors found after the outcome is full still replace the posture cross-check.
  certificate.agentic_posture_binding = AgenticPostureBinding{
      .posture = "governed", .defaulted = false, .surfaces = {surface("chat")}};
  certificate = sealed(std::move(certificate));

  const VerificationOutcome outcome = verify_certificate(
      certificate, artifacts.path(), std::nullopt, true, std::nullopt, std::nullopt);
  ASSERT_EQ(outcome.errors.size(), kKeptErrors);
  EXPECT_EQ(outcome.error_count, 1003u);  // 1,001 artifacts, the unsealed error, the surface
  EXPECT_EQ(outcome.errors.front().rfind("cannot read artifact build/10000: ", 0), 0u);
  EXPECT_EQ(outcome.errors.back().rfind("cannot read artifact build/10999: ", 0), 0u);
  EXPECT_EQ(outcome.notices, (Lines{std::string(kCorpusUnbound), std::string(kSbomUnbound)}));
  EXPECT_FALSE(outcome.ok);
}

TEST(VerifyCertificateTest, NullBindingsReadAsAbsent) {
  const GovernanceCertificate certificate = clean_certificate();
  std::string text = ts::certificate_text(certificate);
  ASSERT_EQ(text.back(), '}');
  text.pop_back();
  text += R"(,"corpusBinding":null,"sbomArtifactBinding":null,"agenticPostureBinding":null})";
  const auto read = read_certificate_json(text);
  ASSERT_TRUE(read.ok()) << read.error().to_string();
  EXPECT_EQ(verify(*read, std::nullopt, false).notices,
            with_unbound_tail({std::string(kUnsealedNotice)}));
}

}  // namespace
}  // namespace fennick::certificate
