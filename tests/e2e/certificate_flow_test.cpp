// verify-certificate end to end: real files, the built binary, every stream compared whole.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "e2e/runner.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace fennick::e2e {
namespace {

using test_support::TempDir;

namespace ts = fennick::test_support;
using certificate::GovernanceCertificate;
using Args = std::vector<std::string>;

constexpr std::string_view kBom =
    R"({"bomFormat":"CycloneDX","specVersion":"1.5","components":[{"name":"left-pad","purl":"pkg:npm/left-pad@1.3.0"}]})";
constexpr std::string_view kAudit = R"({"auditReportVersion":2,"vulnerabilities":{}})";
constexpr std::string_view kAttestation = "{\"corpus\":\"attested\"}\n";

constexpr std::string_view kUnsealedError =
    "certificate is verifiable-but-UNSEALED (no platform countersign): the offline chain holds "
    "but nothing binds this run to its admission contract -- rejected by default (spec 198 "
    "FR-014); pass --allow-unsealed to accept an unsealed certificate";
constexpr std::string_view kUnboundNotices =
    "notice: certificate is corpus-UNBOUND: no corpus_binding present -- the run is not bound by "
    "reference to a corpus attestation (spec 218 FR-004)\n"
    "notice: certificate is sbom-UNBOUND: no sbom_artifact_binding present -- the run is not "
    "bound by hash to a CycloneDX BOM or dependency-audit artifact (spec 203 FR-003)\n"
    "notice: agentic posture: UNSTATED (no binding)\n";
constexpr std::string_view kRequireSealedNote =
    "note: --require-sealed is deprecated and now the default; sealing is required unless "
    "--allow-unsealed is passed\n";

// A run with everything bound: two stages with artifacts, a chain, a countersign, a corpus
// binding, an SBOM binding and a posture of none with a clean BOM.
class CertificateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ts::Ed25519KeyPair platform = ts::key_pair_from_fill(0x50);
    GovernanceCertificate c = ts::minimal_certificate("run-e2e");
    c.stages.push_back(ts::stage_with_artifacts("build", {{"app.bin", "binary"}}));
    c.stages.push_back(ts::stage_with_artifacts("test", {{"report.xml", "<ok/>"}}));
    ts::write_stage_artifacts(dir_ / "artifacts", "build", {{"app.bin", "binary"}});
    ts::write_stage_artifacts(dir_ / "artifacts", "test", {{"report.xml", "<ok/>"}});
    c.inter_stage_chain = ts::linear_chain(
        "run-e2e", {{"build", ts::key_pair_from_fill(2)}, {"test", ts::key_pair_from_fill(3)}});
    c.proof_chain.record_count = 5;
    c.corpus_binding = certificate::CorpusBinding{
        .corpus_attestation_hash = crypto::sha256_hex(kAttestation), .keelson_version = "0.3.0"};
    c.sbom_artifact_binding =
        certificate::SbomArtifactBinding{.bom_hash = crypto::sha256_hex(kBom),
                                         .audit_hash = crypto::sha256_hex(kAudit),
                                         .bom_tool_version = "cdxgen 10.9.4"};
    c.agentic_posture_binding =
        certificate::AgenticPostureBinding{.posture = "none", .defaulted = false, .surfaces = {}};
    full_ = ts::seal_certificate(std::move(c), ts::key_pair_from_fill(1)).record;
    full_.platform_countersign = ts::platform_countersign(
        ts::countersign_payload_json(full_.certificate_hash, std::nullopt, "plat-9", 2),
        "platform-1", platform);

    certificate_ = dir_.write("governance-certificate.json", ts::certificate_text(full_));
    jwks_ =
        dir_.write("platform-jwks.json", ts::jwks_json({{.kid = "platform-1", .x = platform.x()}}));
    attestation_ = dir_.write("corpus-attestation.json", kAttestation);
    dir_.write("app/.factory/sbom.cdx.json", kBom);
    dir_.write("app/.factory/audit.json", kAudit);
  }

  Args full_args() const {
    return {"verify-certificate", certificate_, "--artifact-dir",       dir_ / "artifacts",
            "--platform-jwks",    jwks_,        "--corpus-attestation", attestation_,
            "--sbom-dir",         dir_ / "app"};
  }

  // The first two notices of a run with every input: the countersign, then the corpus binding.
  static std::string seal_and_corpus_notices() {
    return "notice: platform countersign VERIFIED (kid platform-1, platform run plat-9, 2 "
           "grant(s) in chain)\n"
           "notice: corpus binding VERIFIED: supplied attestation hashes to the claimed "
           "corpus_attestation_hash " +
           crypto::sha256_hex(kAttestation) +
           " (keelson 0.3.0); the attestation's own truth is delegated to keelson "
           "verify-attestation (spec 218 FR-003)\n";
  }

  std::string verified_stderr() const {
    return seal_and_corpus_notices() +
           "notice: sbom artifact binding VERIFIED: on-disk .factory/sbom.cdx.json and "
           ".factory/audit.json hash to the claimed values (bom tool cdxgen 10.9.4)\n"
           "notice: agentic posture: none, no watchlisted agent/LLM SDK in the BOM (NOTE: a "
           "watchlist miss is not proof of absence of agency; spec 210 FR-003)\n"
           "  stages: 2\n"
           "  proof chain records: 5\n"
           "  certificate hash: " +
           full_.certificate_hash.substr(0, 16) +
           "\n"
           "  platform seal: present\n";
  }

  // A sealed certificate without countersign or bindings, written to `name`.
  struct Plain {
    std::string path;
    std::string hash;
  };
  Plain write_plain(std::string_view name, certificate::CertificateStatus status) const {
    GovernanceCertificate c = ts::minimal_certificate("run-plain");
    c.status = status;
    const ts::SealedCertificate sealed =
        ts::seal_certificate(std::move(c), ts::key_pair_from_fill(1));
    return Plain{dir_.write(name, sealed.json), sealed.record.certificate_hash};
  }

  TempDir dir_;
  GovernanceCertificate full_;
  std::string certificate_;
  std::string jwks_;
  std::string attestation_;
};

// Starts a shell that copies `source` into `fifo` after 200 ms, as a slow producer would.
pid_t write_late(const std::string& source, const std::string& fifo) {
  std::vector<std::string> storage = {"sh", "-c",   "sleep 0.2; cat \"$1\" > \"$2\"",
                                      "sh", source, fifo};
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "sh", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

constexpr std::string_view kVerifiedLine =
    "governance certificate VERIFIED (pipeline: run-e2e, status: Complete)\n";

TEST_F(CertificateFlowTest, VerifiedWithEveryInput) {
  const RunResult r = run_fennick(full_args());
  EXPECT_EQ(r.out, kVerifiedLine);
  EXPECT_EQ(r.err, verified_stderr());
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CertificateFlowTest, UnsealedIsInvalidByDefaultAndVerifiedWhenAllowed) {
  const Plain plain = write_plain("plain.json", certificate::CertificateStatus::kIncomplete);

  const RunResult strict = run_fennick({"verify-certificate", plain.path});
  EXPECT_EQ(strict.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_EQ(strict.err, std::string(kUnboundNotices) + "  - " + std::string(kUnsealedError) + "\n");
  EXPECT_EQ(strict.exit_code, 1);

  const RunResult lenient = run_fennick({"verify-certificate", plain.path, "--allow-unsealed"});
  EXPECT_EQ(lenient.out,
            "governance certificate VERIFIED (pipeline: run-plain, status: Incomplete)\n");
  EXPECT_EQ(lenient.err,
            "notice: certificate is verifiable-but-UNSEALED: the offline chain holds, but no "
            "platform countersign binds this run to its admission contract; accepted under "
            "--allow-unsealed (spec 198 FR-014)\n" +
                std::string(kUnboundNotices) + "  stages: 0\n  proof chain records: 0\n" +
                "  certificate hash: " + plain.hash.substr(0, 16) +
                "\n  platform seal: ABSENT (unsealed)\n");
  EXPECT_EQ(lenient.exit_code, 0);
}

TEST_F(CertificateFlowTest, RequireSealedNoteComesBeforeTheNotices) {
  const std::string plain =
      write_plain("plain.json", certificate::CertificateStatus::kComplete).path;
  const RunResult r =
      run_fennick({"verify-certificate", plain, "--require-sealed", "--allow-unsealed"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(
      r.err.rfind(
          std::string(kRequireSealedNote) + "notice: certificate is verifiable-but-UNSEALED: ", 0),
      0u)
      << r.err;

  // Not printed when an input fails to read: the note comes only right before verification.
  const RunResult failed = run_fennick(
      {"verify-certificate", plain, "--require-sealed", "--platform-jwks", dir_ / "none.json"});
  EXPECT_EQ(failed.err, "error: cannot read --platform-jwks " + (dir_ / "none.json") +
                            ": No such file or directory (os error 2)\n");
  EXPECT_EQ(failed.exit_code, 2);
}

TEST_F(CertificateFlowTest, InvalidListsEveryErrorAfterTheNotices) {
  // A tampered artifact, the wrong attestation and the sealed countersign without a key set.
  dir_.write("artifacts/build/app.bin", "tampered");
  const std::string other_attestation = dir_.write("other-attestation.json", "other");
  const RunResult r =
      run_fennick({"verify-certificate", certificate_, "--artifact-dir", dir_ / "artifacts",
                   "--corpus-attestation", other_attestation, "--sbom-dir", dir_ / "app"});
  EXPECT_EQ(r.out, "governance certificate INVALID (3 error(s))\n");
  EXPECT_EQ(r.err,
            "notice: sbom artifact binding VERIFIED: on-disk .factory/sbom.cdx.json and "
            ".factory/audit.json hash to the claimed values (bom tool cdxgen 10.9.4)\n"
            "notice: agentic posture: none, no watchlisted agent/LLM SDK in the BOM (NOTE: a "
            "watchlist miss is not proof of absence of agency; spec 210 FR-003)\n"
            "  - artifact hash mismatch: build/app.bin: expected " +
                crypto::sha256_hex("binary") + ", got " + crypto::sha256_hex("tampered") +
                "\n"
                "  - certificate carries a platform countersign but no JWKS was provided to "
                "verify it -- supply --platform-jwks <file> (rejected by default; pass "
                "--allow-unsealed to accept an unadjudicated seal) (spec 198 FR-014)\n"
                "  - corpus binding MISMATCH: certificate claims corpus_attestation_hash " +
                crypto::sha256_hex(kAttestation) + " but the supplied attestation hashes to " +
                crypto::sha256_hex("other") + " (spec 218 FR-004)\n");
  EXPECT_EQ(r.exit_code, 1);
}

// The first 1,000 errors are listed, then one line counts the rest; the verdict line counts all.
TEST_F(CertificateFlowTest, ErrorsPastTheFirstThousandAreCounted) {
  const std::string empty = dir_ / "empty";
  std::filesystem::create_directory(empty);
  for (const std::size_t artifacts : {std::size_t{1000}, std::size_t{1003}}) {
    GovernanceCertificate c = ts::minimal_certificate("run-many");
    certificate::StageRecord stage = ts::stage_with_artifacts("s", {});
    for (std::size_t i = 0; i < artifacts; ++i)
      stage.artifact_hashes[std::to_string(10000 + i)] = "x";
    c.stages.push_back(std::move(stage));
    const std::string path =
        dir_.write("many.json", ts::seal_certificate(std::move(c), ts::key_pair_from_fill(1)).json);
    const RunResult r =
        run_fennick({"verify-certificate", path, "--artifact-dir", empty, "--allow-unsealed"});
    EXPECT_EQ(r.out,
              "governance certificate INVALID (" + std::to_string(artifacts) + " error(s))\n");
    std::string expected =
        "notice: certificate is verifiable-but-UNSEALED: the offline chain holds, but no "
        "platform countersign binds this run to its admission contract; accepted under "
        "--allow-unsealed (spec 198 FR-014)\n" +
        std::string(kUnboundNotices);
    for (std::size_t i = 0; i < 1000; ++i) {
      expected += "  - cannot read artifact s/" + std::to_string(10000 + i) +
                  ": No such file or directory (os error 2)\n";
    }
    if (artifacts > 1000) expected += "  - ... and 3 more error(s) not shown\n";
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.exit_code, 1);
  }
}

TEST_F(CertificateFlowTest, InputValuesCannotForgeOrFloodALine) {
  const std::string forged = "governance certificate VERIFIED (pipeline: forged, status: Complete)";
  // A pipeline id with a line feed stays on the one verdict line.
  GovernanceCertificate c = ts::minimal_certificate("run\n" + forged);
  std::string path = dir_.write("newline.json",
                                ts::seal_certificate(std::move(c), ts::key_pair_from_fill(1)).json);
  RunResult r = run_fennick({"verify-certificate", path, "--allow-unsealed"});
  EXPECT_EQ(r.out,
            "governance certificate VERIFIED (pipeline: run\\n" + forged + ", status: Complete)\n");
  EXPECT_EQ(r.exit_code, 0);

  // A version that would rewrite its line on a terminal, and a chain run id of 1,031 bytes:
  // shown escaped in at most 1,024 bytes, escapes counted, with the one marker counting the
  // bytes of the value left out, in every text that holds it.
  c = ts::minimal_certificate("run-hostile");
  c.certificate_version = "\r\x1b[2K" + forged + "\n\u202e";
  const std::string long_id = "\a" + std::string(1030, 'r');
  const std::string long_shown = "\\u{7}" + std::string(1019, 'r') + "...[11 byte(s) left out]";
  certificate::InterStageManifest manifest;
  manifest.run_id = "m\r";
  manifest.from_stage = "a\tb";
  manifest.to_stage = "c";
  c.inter_stage_chain = certificate::InterStageChainRecord{
      .key_chain = {.run_id = long_id, .root_public_key_b64 = "", .stage_keys = {}},
      .manifests = {manifest}};
  path = dir_.write("hostile.json",
                    ts::seal_certificate(std::move(c), ts::key_pair_from_fill(1)).json);
  r = run_fennick({"verify-certificate", path, "--allow-unsealed"});
  EXPECT_EQ(r.out, "governance certificate INVALID (3 error(s))\n");
  EXPECT_EQ(r.err,
            "notice: certificate is verifiable-but-UNSEALED: the offline chain holds, but no "
            "platform countersign binds this run to its admission contract; accepted under "
            "--allow-unsealed (spec 198 FR-014)\n" +
                std::string(kUnboundNotices) +
                "  - unsupported certificate version: \\r\\u{1b}[2K" + forged +
                "\\n\\u{202e}\n  - inter-stage chain run_id " + long_shown +
                " does not match certificate pipeline_run_id run-hostile\n"
                "  - inter-stage manifest a\\tb\u2192c failed verification: manifest's run_id m\\r "
                "does not match expected run " +
                long_shown + " (cross-run swap)\n");
  EXPECT_EQ(r.exit_code, 1);

  // Reading errors: the path and the value that the JSON reader quotes.
  const std::string missing = dir_ / "a\nb.json";
  r = run_fennick({"verify-certificate", missing});
  EXPECT_EQ(r.err, "error: cannot read " + (dir_ / "a\\nb.json") +
                       ": No such file or directory (os error 2)\n");
  const std::string json = "{\"status\":\"\\u001b" + std::string(1030, 's') + "\"}";
  r = run_fennick({"verify-certificate", dir_.write("status.json", json)});
  EXPECT_EQ(r.err, "error: invalid certificate JSON: unknown variant `\\u{1b}" +
                       std::string(1018, 's') +
                       "...[12 byte(s) left out]`, expected `complete` or `incomplete` at line 1 "
                       "column " +
                       std::to_string(json.size() - 1) + "\n");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CertificateFlowTest, OutOfMemoryEndsWithOneErrorLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#endif
  // /dev/zero never ends: read as given, it exhausts any memory limit, in whichever input.
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"verify-certificate", "/dev/zero", "--allow-unsealed"},
       "error: out of memory while reading the certificate /dev/zero\n"},
      {{"verify-certificate", certificate_, "--platform-jwks", "/dev/zero"},
       "error: out of memory while reading --platform-jwks /dev/zero\n"},
      {{"verify-certificate", certificate_, "--corpus-attestation", "/dev/zero"},
       "error: out of memory while reading --corpus-attestation /dev/zero\n"},
  };
  for (const auto& [args, err] : cases) {
    const RunResult r = run_fennick_in_memory(args, 128);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.exit_code, 2);
  }
}

TEST_F(CertificateFlowTest, UnreadableCertificate) {
  const std::string missing = dir_ / "missing.json";
  RunResult r = run_fennick({"verify-certificate", missing});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: cannot read " + missing + ": No such file or directory (os error 2)\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificate", dir_.path()});
  EXPECT_EQ(r.err, "error: cannot read " + dir_.path() + ": Is a directory (os error 21)\n");
  EXPECT_EQ(r.exit_code, 2);

  // Not UTF-8: refused before any JSON is read (the bytes would not even parse).
  const std::string latin1 = dir_.write("latin1.json", "{\"pipelineRunId\":\"caf\xe9\"}");
  r = run_fennick({"verify-certificate", latin1});
  EXPECT_EQ(r.err, "error: cannot read " + latin1 + ": stream did not contain valid UTF-8\n");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CertificateFlowTest, InvalidCertificateJson) {
  const std::string empty_object = dir_.write("empty.json", "{}");
  RunResult r = run_fennick({"verify-certificate", empty_object});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "error: invalid certificate JSON: missing field `certificateVersion` at line 1 "
            "column 2\n");
  EXPECT_EQ(r.exit_code, 2);

  const std::string bad_status = dir_.write("status.json", R"({"status":"Complete"})");
  r = run_fennick({"verify-certificate", bad_status});
  EXPECT_EQ(r.err,
            "error: invalid certificate JSON: unknown variant `Complete`, expected `complete` or "
            "`incomplete` at line 1 column 20\n");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CertificateFlowTest, PathsThatAreNotUtf8) {
  // A certificate at a path that is not UTF-8 is read like any other.
  const std::string odd = dir_.write("cert-\xff.json", ts::certificate_text(full_));
  Args args = full_args();
  args[1] = odd;
  const RunResult ok = run_fennick(args);
  EXPECT_EQ(ok.out, kVerifiedLine);
  EXPECT_EQ(ok.exit_code, 0);

  // Messages show such a path with U+FFFD in place of the bad byte.
  const RunResult missing = run_fennick({"verify-certificate", dir_ / "gone-\xfe\xff.json"});
  EXPECT_EQ(missing.err, "error: cannot read " + (dir_ / "gone-\xEF\xBF\xBD\xEF\xBF\xBD.json") +
                             ": No such file or directory (os error 2)\n");
  const RunResult artifacts =
      run_fennick({"verify-certificate", certificate_, "--artifact-dir", dir_ / "a\xc3"});
  EXPECT_EQ(artifacts.err, "error: --artifact-dir " + (dir_ / "a\xEF\xBF\xBD") +
                               " is not an existing directory\n");
}

TEST_F(CertificateFlowTest, DirectoryArguments) {
  const std::string file = dir_.write("plain-file", "x");
  const std::string missing = dir_ / "missing-dir";

  // Both missing: only the first is reported, and nothing after it is read.
  RunResult r = run_fennick({"verify-certificate", certificate_, "--artifact-dir", missing,
                             "--sbom-dir", missing, "--platform-jwks", missing});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: --artifact-dir " + missing + " is not an existing directory\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificate", certificate_, "--artifact-dir", file});
  EXPECT_EQ(r.err, "error: --artifact-dir " + file + " is not an existing directory\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificate", certificate_, "--sbom-dir", file});
  EXPECT_EQ(r.err, "error: --sbom-dir " + file + " is not an existing directory\n");
  EXPECT_EQ(r.exit_code, 2);

  // A link to a directory is a directory; a link whose target is gone is not.
  std::filesystem::create_directory_symlink(dir_ / "app", dir_ / "app-link");
  std::filesystem::create_directory_symlink(dir_ / "vanished", dir_ / "dangling");
  Args linked = full_args();
  linked.back() = dir_ / "app-link";
  r = run_fennick(linked);
  EXPECT_EQ(r.out, kVerifiedLine);
  EXPECT_EQ(r.exit_code, 0);
  r = run_fennick({"verify-certificate", certificate_, "--sbom-dir", dir_ / "dangling"});
  EXPECT_EQ(r.err, "error: --sbom-dir " + (dir_ / "dangling") + " is not an existing directory\n");
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CertificateFlowTest, SbomDirectoryWithoutItsFiles) {
  const std::string empty = dir_.mkdir("empty-app");
  Args args = full_args();
  args.back() = empty;
  const RunResult r = run_fennick(args);
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  // The countersign comes before the SBOM binding, so it is reported while no error exists yet.
  EXPECT_EQ(r.err,
            seal_and_corpus_notices() + "notice: agentic posture: none, BOM unreadable at " +
                empty +
                "/.factory/sbom.cdx.json: No such file or directory (os error 2) (cross-check "
                "skipped)\n"
                "  - sbom artifact binding present but " +
                empty +
                "/.factory/sbom.cdx.json could not be read: No such file or directory (os "
                "error 2) (spec 203 FR-003)\n");
  EXPECT_EQ(r.exit_code, 1);
}

// Files found in the producer's directories are read only when they are regular files: a link to
// a device that never ends is unreadable, and the run ends at once.
TEST_F(CertificateFlowTest, SpecialFilesInTheProducersDirectoriesAreNotRead) {
  const std::string bom = dir_ / "app/.factory/sbom.cdx.json";
  std::filesystem::remove(bom);
  std::filesystem::create_symlink("/dev/zero", bom);
  RunResult r = run_fennick(full_args());
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_EQ(r.err, seal_and_corpus_notices() + "notice: agentic posture: none, BOM unreadable at " +
                       bom + ": not a regular file (cross-check skipped)\n" +
                       "  - sbom artifact binding present but " + bom +
                       " could not be read: not a regular file (spec 203 FR-003)\n");
  EXPECT_EQ(r.exit_code, 1);

  std::filesystem::remove(bom);
  dir_.write("app/.factory/sbom.cdx.json", kBom);
  std::filesystem::remove(dir_ / "artifacts/build/app.bin");
  std::filesystem::create_symlink("/dev/zero", dir_ / "artifacts/build/app.bin");
  r = run_fennick(full_args());
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_TRUE(r.err.ends_with("\n  - cannot read artifact build/app.bin: not a regular file\n"))
      << r.err;
  EXPECT_EQ(r.exit_code, 1);

  // A regular file that reads on past the size it states (pagemap: size 0, hundreds of
  // gigabytes) is refused at that size instead of being hashed for minutes.
  std::filesystem::remove(dir_ / "artifacts/build/app.bin");
  std::filesystem::create_symlink("/proc/self/pagemap", dir_ / "artifacts/build/app.bin");
  r = run_fennick(full_args());
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_TRUE(
      r.err.ends_with("\n  - cannot read artifact build/app.bin: file changed while being read\n"))
      << r.err;
  EXPECT_EQ(r.exit_code, 1);
}

// A path named on the command line is read as given, to its end: a FIFO (or a process
// substitution) waits for a writer that comes late.
TEST_F(CertificateFlowTest, FifosNamedOnTheCommandLineWaitForTheirWriter) {
  const std::string certificate_fifo = dir_ / "certificate.fifo";
  const std::string attestation_fifo = dir_ / "attestation.fifo";
  ASSERT_EQ(::mkfifo(certificate_fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(attestation_fifo.c_str(), 0600), 0);
  const std::vector<pid_t> writers = {write_late(certificate_, certificate_fifo),
                                      write_late(attestation_, attestation_fifo)};
  Args args = full_args();
  args[1] = certificate_fifo;
  args[7] = attestation_fifo;
  const RunResult r = run_fennick(args);
  for (const std::string& fifo : {certificate_fifo, attestation_fifo}) {
    // Lets a writer that is still waiting for a reader finish, whatever the run did.
    const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (unblock >= 0) ::close(unblock);
  }
  for (const pid_t writer : writers) ::waitpid(writer, nullptr, 0);
  EXPECT_EQ(r.out, kVerifiedLine);
  EXPECT_EQ(r.err, verified_stderr());
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CertificateFlowTest, KeySetAndAttestationInputs) {
  const std::string no_keys = dir_.write("no-keys.json", "{}");
  RunResult r = run_fennick({"verify-certificate", certificate_, "--platform-jwks", no_keys});
  EXPECT_EQ(r.err, "error: --platform-jwks " + no_keys +
                       " is not a JWKS JSON: missing field `keys` at line 1 column 2\n");
  EXPECT_EQ(r.exit_code, 2);

  const std::string binary = dir_.write("binary.jwks", "{\"keys\":[]}\xff");
  r = run_fennick({"verify-certificate", certificate_, "--platform-jwks", binary});
  EXPECT_EQ(r.err, "error: cannot read --platform-jwks " + binary +
                       ": stream did not contain valid UTF-8\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificate", certificate_, "--corpus-attestation", dir_.path()});
  EXPECT_EQ(r.err, "error: cannot read --corpus-attestation " + dir_.path() +
                       ": Is a directory (os error 21)\n");
  EXPECT_EQ(r.exit_code, 2);

  // An attestation is raw bytes: one that is not UTF-8 is read and hashed.
  const std::string_view raw_bytes("\xff\xfe\x00\x01", 4);
  const std::string raw = dir_.write("raw.bin", raw_bytes);
  Args args = full_args();
  args[7] = raw;
  r = run_fennick(args);
  EXPECT_EQ(r.out, "governance certificate INVALID (1 error(s))\n");
  EXPECT_NE(
      r.err.find("  - corpus binding MISMATCH: certificate claims corpus_attestation_hash " +
                 crypto::sha256_hex(kAttestation) + " but the supplied attestation hashes to " +
                 crypto::sha256_hex(raw_bytes) + " (spec 218 FR-004)\n"),
      std::string::npos)
      << r.err;
  EXPECT_EQ(r.exit_code, 1);
}

TEST_F(CertificateFlowTest, BrokenPipeStillReportsAndExitsAsIfWritten) {
  RunResult r = run_fennick(full_args(), StdoutMode::kBrokenPipe);
  EXPECT_EQ(r.err, verified_stderr());
  EXPECT_EQ(r.exit_code, 0);

  const std::string plain =
      write_plain("plain.json", certificate::CertificateStatus::kComplete).path;
  r = run_fennick({"verify-certificate", plain}, StdoutMode::kBrokenPipe);
  EXPECT_EQ(r.err, std::string(kUnboundNotices) + "  - " + std::string(kUnsealedError) + "\n");
  EXPECT_EQ(r.exit_code, 1);
}

TEST_F(CertificateFlowTest, ClosedStdoutIsReopenedOnDevNull) {
  const RunResult r = run_fennick(full_args(), StdoutMode::kClosed);
  EXPECT_EQ(r.err, verified_stderr());
  EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CertificateFlowTest, FailedStdoutWriteEndsWithTwo) {
  RunResult r = run_fennick(full_args(), StdoutMode::kFull);
  // The notices come before the verdict; the detail lines would follow it and are not printed.
  const std::string expected_notices =
      verified_stderr().substr(0, verified_stderr().find("  stages"));
  EXPECT_EQ(r.err, expected_notices +
                       "error: cannot write to stdout: No space left on device (os error 28)\n");
  EXPECT_EQ(r.exit_code, 2);

  const std::string plain =
      write_plain("plain.json", certificate::CertificateStatus::kComplete).path;
  r = run_fennick({"verify-certificate", plain}, StdoutMode::kFull);
  EXPECT_EQ(r.err, std::string(kUnboundNotices) +
                       "error: cannot write to stdout: No space left on device (os error 28)\n");
  EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace fennick::e2e
