#include "certificate/bindings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "crypto/sha256.h"
#include "support/digests.h"
#include "support/files.h"

namespace fennick::certificate {
namespace {

namespace fs = std::filesystem;
using CorpusKind = CorpusBindingStatus::Kind;
using SbomKind = SbomBindingStatus::Kind;
using test_support::kEmptySha256;
using test_support::TempDir;
using test_support::upper_hex;

constexpr std::string_view kBom = R"({"bomFormat":"CycloneDX","components":[]})";
constexpr std::string_view kAudit = R"({"vulnerabilities":[]})";

CorpusBinding corpus_binding(std::string hash) {
  return CorpusBinding{.corpus_attestation_hash = std::move(hash), .keelson_version = "2.1.0"};
}

SbomArtifactBinding sbom_binding(std::string bom_hash, std::string audit_hash) {
  return SbomArtifactBinding{.bom_hash = std::move(bom_hash),
                             .audit_hash = std::move(audit_hash),
                             .bom_tool_version = "cdxgen 10.2.1"};
}

TEST(CorpusBindingTest, UnboundAndUnverifiedDoNotHash) {
  EXPECT_EQ(check_corpus_binding(std::nullopt, std::nullopt).kind, CorpusKind::kUnbound);
  // Attestation bytes without a binding are ignored.
  EXPECT_EQ(check_corpus_binding(std::nullopt, std::string("attestation")).kind,
            CorpusKind::kUnbound);
  EXPECT_EQ(check_corpus_binding(corpus_binding("abc"), std::nullopt).kind,
            CorpusKind::kUnverified);
}

TEST(CorpusBindingTest, ComparesDigestTextByteForByte) {
  const std::string bytes = "{\"attestation\":true}\r\n";
  const std::string digest = crypto::sha256_hex(bytes);
  EXPECT_EQ(check_corpus_binding(corpus_binding(digest), bytes).kind, CorpusKind::kVerified);

  const CorpusBindingStatus upper_case =
      check_corpus_binding(corpus_binding(upper_hex(digest)), bytes);
  EXPECT_EQ(upper_case.kind, CorpusKind::kMismatch);
  EXPECT_EQ(upper_case.claimed, upper_hex(digest));
  EXPECT_EQ(upper_case.actual, digest);
}

TEST(CorpusBindingTest, EmptyAttestationHashesZeroBytes) {
  const CorpusBindingStatus mismatch = check_corpus_binding(corpus_binding("deadbeef"), "");
  EXPECT_EQ(mismatch.kind, CorpusKind::kMismatch);
  EXPECT_EQ(mismatch.claimed, "deadbeef");
  EXPECT_EQ(mismatch.actual, kEmptySha256);
  EXPECT_EQ(check_corpus_binding(corpus_binding(std::string(kEmptySha256)), "").kind,
            CorpusKind::kVerified);
}

TEST(SbomBindingTest, UnboundAndUnverifiedReadNothing) {
  EXPECT_EQ(check_sbom_binding(std::nullopt, std::nullopt).kind, SbomKind::kUnbound);
  // A directory that does not exist is never looked at without a binding.
  EXPECT_EQ(check_sbom_binding(std::nullopt, std::string("/nonexistent/sbom")).kind,
            SbomKind::kUnbound);
  EXPECT_EQ(check_sbom_binding(sbom_binding("a", "b"), std::nullopt).kind, SbomKind::kUnverified);
}

TEST(SbomBindingTest, VerifiedWhenBothFilesMatch) {
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kBom);
  dir.write(".factory/audit.json", kAudit);
  const SbomBindingStatus status = check_sbom_binding(
      sbom_binding(crypto::sha256_hex(kBom), crypto::sha256_hex(kAudit)), dir.path());
  EXPECT_EQ(status.kind, SbomKind::kVerified);
}

TEST(SbomBindingTest, LargeBomHashesLikeItsWholeContent) {
  // Larger than any single read, so the file is hashed over several pieces.
  std::string bom(3 * 1024 * 1024 + 17, 'x');
  for (std::size_t i = 0; i < bom.size(); i += 4093) bom[i] = static_cast<char>('a' + i % 26);
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", bom);
  dir.write(".factory/audit.json", kAudit);
  EXPECT_EQ(check_sbom_binding(sbom_binding(crypto::sha256_hex(bom), crypto::sha256_hex(kAudit)),
                               dir.path())
                .kind,
            SbomKind::kVerified);
}

TEST(SbomBindingTest, MissingBomIsUnreadableAndAuditIsNotRead) {
  const TempDir dir;
  // A broken audit file would also be unreadable; the BOM is reported because it comes first.
  dir.mkdir(".factory/audit.json");
  const SbomBindingStatus status = check_sbom_binding(sbom_binding("a", "b"), dir.path());
  EXPECT_EQ(status.kind, SbomKind::kUnreadable);
  EXPECT_EQ(status.path, dir.path() + "/.factory/sbom.cdx.json");
  EXPECT_EQ(status.error, "No such file or directory (os error 2)");

  // A BOM linked to a device that never ends is not read.
  fs::create_symlink("/dev/zero", dir / ".factory/sbom.cdx.json");
  const SbomBindingStatus device = check_sbom_binding(sbom_binding("a", "b"), dir.path());
  EXPECT_EQ(device.kind, SbomKind::kUnreadable);
  EXPECT_EQ(device.path, dir.path() + "/.factory/sbom.cdx.json");
  EXPECT_EQ(device.error, "not a regular file");
}

TEST(SbomBindingTest, WrongBomDigestWinsOverMissingAudit) {
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kBom);
  const SbomBindingStatus status = check_sbom_binding(sbom_binding("0123", "b"), dir.path());
  EXPECT_EQ(status.kind, SbomKind::kBomMismatch);
  EXPECT_EQ(status.claimed, "0123");
  EXPECT_EQ(status.actual, crypto::sha256_hex(kBom));
}

TEST(SbomBindingTest, RightBomThenAuditProblems) {
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kBom);
  const std::string bom_hash = crypto::sha256_hex(kBom);

  const SbomBindingStatus missing = check_sbom_binding(sbom_binding(bom_hash, "b"), dir.path());
  EXPECT_EQ(missing.kind, SbomKind::kUnreadable);
  EXPECT_EQ(missing.path, dir.path() + "/.factory/audit.json");
  EXPECT_EQ(missing.error, "No such file or directory (os error 2)");

  dir.mkdir(".factory/audit.json");
  const SbomBindingStatus directory = check_sbom_binding(sbom_binding(bom_hash, "b"), dir.path());
  EXPECT_EQ(directory.kind, SbomKind::kUnreadable);
  EXPECT_EQ(directory.error, "Is a directory (os error 21)");
  fs::remove(dir / ".factory/audit.json");

  // A FIFO would stall the read: it is refused at once.
  ASSERT_EQ(::mkfifo((dir / ".factory/audit.json").c_str(), 0600), 0);
  const SbomBindingStatus fifo = check_sbom_binding(sbom_binding(bom_hash, "b"), dir.path());
  EXPECT_EQ(fifo.kind, SbomKind::kUnreadable);
  EXPECT_EQ(fifo.path, dir.path() + "/.factory/audit.json");
  EXPECT_EQ(fifo.error, "not a regular file");
  fs::remove(dir / ".factory/audit.json");

  dir.write(".factory/audit.json", kAudit);
  const SbomBindingStatus upper_case =
      check_sbom_binding(sbom_binding(bom_hash, upper_hex(crypto::sha256_hex(kAudit))), dir.path());
  EXPECT_EQ(upper_case.kind, SbomKind::kAuditMismatch);
  EXPECT_EQ(upper_case.claimed, upper_hex(crypto::sha256_hex(kAudit)));
  EXPECT_EQ(upper_case.actual, crypto::sha256_hex(kAudit));
}

TEST(SbomBindingTest, PathKeepsTheDirectoryAsSpelledAndShowsBadBytesAsReplacement) {
  const TempDir dir;
  const std::string spelled = dir.path() + "/./";
  const SbomBindingStatus status = check_sbom_binding(sbom_binding("a", "b"), spelled);
  EXPECT_EQ(status.path, dir.path() + "/./.factory/sbom.cdx.json");

  const std::string odd = dir.path() + "/bad\xff" + "dir";
  fs::create_directories(odd);
  const SbomBindingStatus shown = check_sbom_binding(sbom_binding("a", "b"), odd);
  EXPECT_EQ(shown.kind, SbomKind::kUnreadable);
  EXPECT_EQ(shown.path, dir.path() +
                            "/bad\xEF\xBF\xBD"
                            "dir/.factory/sbom.cdx.json");
}

TEST(SbomBindingTest, UnreadableForLackOfPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  const TempDir dir;
  dir.write(".factory/sbom.cdx.json", kBom);
  ::chmod((dir / ".factory/sbom.cdx.json").c_str(), 0);
  const SbomBindingStatus status = check_sbom_binding(sbom_binding("a", "b"), dir.path());
  EXPECT_EQ(status.kind, SbomKind::kUnreadable);
  EXPECT_EQ(status.error, "Permission denied (os error 13)");
}

}  // namespace
}  // namespace fennick::certificate
