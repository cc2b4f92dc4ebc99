#include "certificate/offline.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "certificate/records.h"
#include "crypto/sha256.h"
#include "support/certificate_producer.h"
#include "support/digests.h"
#include "support/files.h"

namespace fennick::certificate {
namespace {

using test_support::kEmptySha256;
using test_support::key_pair_from_fill;
using test_support::TempDir;
using Errors = std::vector<std::string>;

constexpr std::string_view kEscapes =
    ": path escapes --artifact-dir (absolute path or `..` traversal in an untrusted certificate "
    "field)";

std::string refused(std::string_view label, std::string_view quoted) {
  return "refusing to read " + std::string(label) + " " + std::string(quoted) +
         std::string(kEscapes);
}

std::string digest(std::string_view content) { return crypto::sha256_hex(content); }

// Seals the certificate so that the signature and hash steps pass and only the step under test
// can add errors.
GovernanceCertificate sealed(const GovernanceCertificate& c) {
  return test_support::seal_certificate(c, key_pair_from_fill(1)).record;
}

VerificationOutcome run(const GovernanceCertificate& c, const std::optional<std::string>& dir) {
  VerificationOutcome outcome = verify_offline_chain(c, dir);
  EXPECT_TRUE(outcome.notices.empty());
  EXPECT_EQ(outcome.ok, outcome.errors.empty());
  return outcome;
}

TEST(OfflineChain, CleanSealedCertificateWithoutArtifactDirectory) {
  GovernanceCertificate c = test_support::minimal_certificate("run-1");
  // Artifacts that exist nowhere are not looked for without a directory.
  c.stages.push_back(test_support::stage_with_artifacts("build", {{"missing", "x"}}));
  c.stages.push_back(test_support::stage_with_artifacts("/abs", {{"../missing", "x"}}));
  c.inter_stage_chain = test_support::linear_chain(
      "run-1", {{"build", key_pair_from_fill(2)}, {"test", key_pair_from_fill(3)}});
  const VerificationOutcome outcome = run(sealed(c), std::nullopt);
  EXPECT_EQ(outcome.errors, Errors{});
  EXPECT_TRUE(outcome.ok);
}

TEST(OfflineChain, ArtifactsOfAnySizeAreRehashed) {
  const TempDir dir;
  // Sizes around the read chunk, so that pieces and their boundaries all count.
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131) % 251);
  const test_support::ArtifactContents artifacts = {{"big.bin", big},
                                                    {"exact.bin", std::string(1024 * 1024, 'm')},
                                                    {"empty", ""},
                                                    {"dist/app.js", "console.log(1)"}};
  test_support::write_stage_artifacts(dir.path(), "build", artifacts);
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages.push_back(test_support::stage_with_artifacts("build", artifacts));
  EXPECT_EQ(run(sealed(c), dir.path()).errors, Errors{});
  // A directory given with a trailing slash joins the same way.
  EXPECT_EQ(run(sealed(c), dir.path() + "/").errors, Errors{});

  c.stages[0].artifact_hashes["big.bin"] = digest(big.substr(1));
  EXPECT_EQ(run(sealed(c), dir.path()).errors,
            Errors{"artifact hash mismatch: build/big.bin: expected " + digest(big.substr(1)) +
                   ", got " + digest(big)});
}

TEST(OfflineChain, ArtifactFailuresInNameOrder) {
  const TempDir dir;
  test_support::write_stage_artifacts(dir.path(), "s",
                                      {{"b-wrong", "actual"}, {"d-sub/file", "x"}, {"e-ok", "ok"}});
  StageRecord stage;
  stage.stage_id = "s";
  stage.artifact_hashes = {
      {"e-ok", digest("ok")},
      {"c-missing", digest("c")},
      {"b-wrong", digest("claimed")},
      {"d-sub", digest("x")},
      {"", digest("")},
      {"a-upper", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"}};
  test_support::write_stage_artifacts(dir.path(), "s", {{"a-upper", ""}});
  StageRecord absent_stage;
  absent_stage.stage_id = "never-ran";
  absent_stage.artifact_hashes = {{"out", digest("out")}};
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages = {stage, absent_stage};

  EXPECT_EQ(run(sealed(c), dir.path()).errors,
            (Errors{"cannot read artifact s/: Is a directory (os error 21)",
                    "artifact hash mismatch: s/a-upper: expected "
                    "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855, got " +
                        std::string(kEmptySha256),
                    "artifact hash mismatch: s/b-wrong: expected " + digest("claimed") + ", got " +
                        digest("actual"),
                    "cannot read artifact s/c-missing: No such file or directory (os error 2)",
                    "cannot read artifact s/d-sub: Is a directory (os error 21)",
                    "cannot read artifact never-ran/out: No such file or directory (os error 2)"}));

  // Below a stage id longer than any path, every read fails alike, except for a name holding a
  // NUL; a NUL in the stage id decides for every name.
  const std::string nul("\0", 1);
  StageRecord long_stage;
  long_stage.stage_id = std::string(5000, 'l');
  long_stage.artifact_hashes = {{"a", digest("a")}, {"b" + nul, digest("b")}};
  StageRecord long_nul_stage = long_stage;
  long_nul_stage.stage_id += nul;
  c.stages = {long_stage, long_nul_stage};
  const std::string shown = std::string(1024, 'l') + "...[3976 byte(s) left out]";
  const std::string shown_with_nul = std::string(1024, 'l') + "...[3977 byte(s) left out]";
  EXPECT_EQ(
      run(sealed(c), dir.path()).errors,
      (Errors{"cannot read artifact " + shown + "/a: File name too long (os error 36)",
              "cannot read artifact " + shown + "/b\\0: file name contained an unexpected NUL byte",
              "cannot read artifact " + shown_with_nul +
                  "/a: file name contained an unexpected NUL byte",
              "cannot read artifact " + shown_with_nul +
                  "/b\\0: file name contained an unexpected NUL byte"}));
}

TEST(OfflineChain, EscapingStageIdsAndNamesAreRefusedBeforeAnyRead) {
  const TempDir dir;
  // A file outside the artifact directory that a traversal would reach; its digest does not
  // match, so reading it would show as a mismatch.
  const TempDir outside_parent;
  test_support::write_stage_artifacts(dir.path(), "ok", {{"good", "g"}});
  test_support::write_stage_artifacts(dir.path(), "a", {{"x", "inside"}});
  const std::string outside_name = std::filesystem::path(outside_parent.path()).filename();

  StageRecord absolute;
  absolute.stage_id = dir.path() + "/ok";
  absolute.artifact_hashes = {{"good", digest("wrong")}};
  StageRecord traversal;
  traversal.stage_id = "../" + outside_name;
  traversal.artifact_hashes = {{"f", digest("wrong")}};
  StageRecord inner_traversal;  // stays inside, still refused
  inner_traversal.stage_id = "a/../a";
  inner_traversal.artifact_hashes = {{"x", digest("wrong")}};
  StageRecord empty_refused;  // refused although it lists nothing
  empty_refused.stage_id = "/";
  StageRecord names;
  names.stage_id = "ok";
  names.artifact_hashes = {{"../ok/good", digest("wrong")},
                           {"/etc/hostname", digest("wrong")},
                           {"good", digest("g")},
                           {"sub/..", digest("wrong")}};
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages = {absolute, traversal, inner_traversal, empty_refused, names};

  EXPECT_EQ(
      run(sealed(c), dir.path()).errors,
      (Errors{refused("stage id", "\"" + dir.path() + "/ok\""),
              refused("stage id", "\"../" + outside_name + "\""), refused("stage id", "\"a/../a\""),
              refused("stage id", "\"/\""), refused("artifact name", "\"../ok/good\""),
              refused("artifact name", "\"/etc/hostname\""),
              refused("artifact name", "\"sub/..\"")}));
}

TEST(OfflineChain, DotComponentsAndDuplicateStages) {
  const TempDir dir;
  test_support::write_stage_artifacts(dir.path(), "build/sub", {{"f", "content"}});
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages.push_back(test_support::stage_with_artifacts("./build", {{"sub/f", "content"}}));
  c.stages.push_back(test_support::stage_with_artifacts("build/./sub", {{"./f", "content"}}));
  c.stages.push_back(test_support::stage_with_artifacts("build//sub/", {{"f", "content"}}));
  EXPECT_EQ(run(sealed(c), dir.path()).errors, Errors{});

  // The same stage twice: its bad artifact is reported twice, with the id as written.
  StageRecord twice;
  twice.stage_id = "./build";
  twice.artifact_hashes = {{"sub/f", digest("other")}};
  c.stages = {twice, twice};
  const std::string mismatch = "artifact hash mismatch: ./build/sub/f: expected " +
                               digest("other") + ", got " + digest("content");
  EXPECT_EQ(run(sealed(c), dir.path()).errors, (Errors{mismatch, mismatch}));
}

// A producer may plant a FIFO (a read would stall) or links to devices (a read would never end)
// where an artifact should be: only regular files are read, links to them followed, and one file
// reached through several stages and links is judged against each listing's own claim.
TEST(OfflineChain, SpecialFilesAreUnreadableWithoutStalling) {
  const TempDir dir;
  test_support::write_stage_artifacts(dir.path(), "s", {{"real", "data"}});
  ASSERT_EQ(::mkfifo((dir / "s/pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "s/zero");
  std::filesystem::create_symlink("/dev/null", dir / "s/null");
  std::filesystem::create_symlink(dir / "s/real", dir / "s/link");
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages.push_back(test_support::stage_with_artifacts(
      "s", {{"pipe", "data"}, {"zero", "data"}, {"null", ""}, {"link", "data"}}));
  StageRecord again;
  again.stage_id = "./s";
  again.artifact_hashes = {{"real", digest("other")}, {"link", digest("data")}};
  c.stages.push_back(again);
  EXPECT_EQ(run(sealed(c), dir.path()).errors,
            (Errors{"cannot read artifact s/null: not a regular file",
                    "cannot read artifact s/pipe: not a regular file",
                    "cannot read artifact s/zero: not a regular file",
                    "artifact hash mismatch: ./s/real: expected " + digest("other") + ", got " +
                        digest("data")}));
}

TEST(OfflineChain, UnreadableFileGivesThePermissionError) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop the superuser";
  const TempDir dir;
  test_support::write_stage_artifacts(dir.path(), "s", {{"locked", "secret"}});
  ASSERT_EQ(::chmod((dir / "s/locked").c_str(), 0), 0);
  GovernanceCertificate c = test_support::minimal_certificate();
  c.stages.push_back(test_support::stage_with_artifacts("s", {{"locked", "secret"}}));
  EXPECT_EQ(run(sealed(c), dir.path()).errors,
            Errors{"cannot read artifact s/locked: Permission denied (os error 13)"});
}

TEST(OfflineChain, VersionGateIsAnExactMatch) {
  EXPECT_EQ(run(sealed(test_support::minimal_certificate()), std::nullopt).errors, Errors{});
  for (const std::string version : {"1.5", "1.5.0 ", " 1.5.0", "v1.5.0", "1.6.0", "1.5.1", ""}) {
    GovernanceCertificate c = test_support::minimal_certificate();
    c.certificate_version = version;
    EXPECT_EQ(run(sealed(c), std::nullopt).errors,
              Errors{"unsupported certificate version: " + version});
  }
}

TEST(OfflineChain, ChainRunIdAndEveryManifestAreChecked) {
  GovernanceCertificate c = test_support::minimal_certificate("run-cert");
  c.inter_stage_chain =
      test_support::linear_chain("run-chain", {{"build", key_pair_from_fill(2)},
                                               {"test", key_pair_from_fill(3)},
                                               {"deploy", key_pair_from_fill(4)}});
  // Both manifests verify against their own chain: only the run id differs.
  EXPECT_EQ(run(sealed(c), std::nullopt).errors,
            Errors{"inter-stage chain run_id run-chain does not match certificate "
                   "pipeline_run_id run-cert"});

  c.inter_stage_chain->manifests[0].run_id = "run-x";
  c.inter_stage_chain->manifests[1].signature = c.inter_stage_chain->manifests[0].signature;
  EXPECT_EQ(run(sealed(c), std::nullopt).errors,
            (Errors{"inter-stage chain run_id run-chain does not match certificate "
                    "pipeline_run_id run-cert",
                    "inter-stage manifest build\u2192test failed verification: manifest's run_id "
                    "run-x does not match expected run run-chain (cross-run swap)",
                    "inter-stage manifest test\u2192deploy failed verification: manifest "
                    "signature verification failed: Ed25519: signature error: Verification "
                    "equation was not satisfied"}));

  // An empty manifest list verifies trivially.
  c.pipeline_run_id = "run-chain";
  c.inter_stage_chain->manifests.clear();
  EXPECT_EQ(run(sealed(c), std::nullopt).errors, Errors{});
}

TEST(OfflineChain, EveryFailureInStepOrder) {
  const TempDir dir;
  test_support::write_stage_artifacts(dir.path(), "b", {{"f", "on disk"}});
  GovernanceCertificate c = test_support::minimal_certificate("run-1");
  c.certificate_version = "1.4.0";
  c.stages.push_back(test_support::stage_with_artifacts("b", {{"f", "claimed"}}));
  c.stages.push_back(test_support::stage_with_artifacts("a", {{"../g", "x"}}));
  c.inter_stage_chain = test_support::linear_chain(
      "run-2", {{"build", key_pair_from_fill(2)}, {"test", key_pair_from_fill(3)}});
  c.inter_stage_chain->manifests[0].to_stage = "deploy";  // breaks its signature
  GovernanceCertificate tampered = sealed(c);
  const std::string computed = tampered.certificate_hash;
  tampered.certificate_hash = std::string(64, '0');

  const VerificationOutcome outcome = run(tampered, dir.path());
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(
      outcome.errors,
      (Errors{"Ed25519 signature verification failed: signature error: Verification "
              "equation was not satisfied",
              "certificate hash mismatch: expected " + computed + ", got " + std::string(64, '0'),
              "artifact hash mismatch: b/f: expected " + digest("claimed") + ", got " +
                  digest("on disk"),
              refused("artifact name", "\"../g\""), "unsupported certificate version: 1.4.0",
              "inter-stage chain run_id run-2 does not match certificate pipeline_run_id "
              "run-1",
              "inter-stage manifest build\u2192deploy failed verification: manifest "
              "signature verification failed: Ed25519: signature error: Verification "
              "equation was not satisfied"}));
}

TEST(ConfinedPath, ComponentsAreReadAsAUnixPath) {
  for (const std::string_view accepted : {"", ".", "./", "a", "a/b", "a//b/", "./a", "a/./b", "a/.",
                                          "...", "..a", "a..", "a\\..\\b", ". ./x"}) {
    EXPECT_EQ(check_confined_path("stage id", accepted), std::nullopt) << accepted;
  }
  for (const std::string_view value :
       {"/", "/a", "//a", "..", "../", "a/..", "a/../b", "./..", "a//../b", "a/./../b"}) {
    EXPECT_EQ(check_confined_path("artifact name", value),
              refused("artifact name", "\"" + std::string(value) + "\""))
        << value;
  }
}

TEST(ConfinedPath, RefusedValueIsQuotedWithEscapes) {
  const std::string value = std::string("/a\"b\\c\td\re\nf") + '\0' + "g\u200bh\u00e9 i\x7fj\u3000";
  EXPECT_EQ(
      check_confined_path("stage id", value),
      refused("stage id", "\"/a\\\"b\\\\c\\td\\re\\nf\\0g\\u{200b}h\u00e9 i\\u{7f}j\\u{3000}\""));
  EXPECT_EQ(check_confined_path("stage id", "../it's"), refused("stage id", "\"../it's\""));
}

}  // namespace
}  // namespace fennick::certificate
