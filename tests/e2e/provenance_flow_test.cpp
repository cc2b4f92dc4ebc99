// verify-provenance end to end: real project directories, the built binary, every stream
// compared whole. The report itself is the report writer's; here it must reach stdout unchanged.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/runner.h"
#include "provenance/report.h"
#include "provenance/validator/audit.h"
#include "support/files.h"

namespace fennick::e2e {
namespace {

using test_support::TempDir;
using test_support::write_file;

constexpr std::string_view kBrdPath = "requirements/business-requirements-document.md";
// One claim names entities that nothing in an empty corpus supports; the other names none.
constexpr std::string_view kBrd =
    "# Business Requirements Document\n"
    "\n"
    "### BR-001: Sign in\n"
    "Users sign in with Zorblax SSO.\n"
    "\n"
    "### BR-002: Search\n"
    "Search the catalog.\n";

constexpr std::string_view kNoBrdSummary =
    "provenance audit: total=0 derived=0 assumption=0 rejected=0 synthesizedCorpus=false "
    "brdNotFound=true corpusEmpty=true corpusSource=Empty\n";

std::string expected_report(const std::string& project,
                            const std::optional<std::string>& corpus = std::nullopt) {
  return provenance::render_audit_report(provenance::verify_provenance(project, corpus));
}

TEST(ProvenanceFlowTest, ProjectWithoutBrd) {
  const TempDir project;
  const RunResult r = run_fennick({"verify-provenance", "--project", project.path()});
  EXPECT_EQ(r.out, expected_report(project.path()));
  EXPECT_EQ(r.out.rfind("# Retroactive Provenance Audit Report\n", 0), 0u);
  EXPECT_EQ(r.err, kNoBrdSummary);
  EXPECT_EQ(r.exit_code, 0);

  const RunResult strict =
      run_fennick({"verify-provenance", "--project", project.path(), "--fail-on-rejected"});
  EXPECT_EQ(strict.out, expected_report(project.path()));
  EXPECT_EQ(strict.err, std::string(kNoBrdSummary) +
                            "provenance verification FAILED: no BRD found under the project; "
                            "nothing was verified (--fail-on-rejected)\n");
  EXPECT_EQ(strict.exit_code, 1);
}

TEST(ProvenanceFlowTest, RejectedClaimsFailOnlyWhenAskedTo) {
  const TempDir project;
  project.write(kBrdPath, kBrd);
  const provenance::ProvenanceAuditResult audit = provenance::verify_provenance(project.path(), {});
  ASSERT_EQ(audit.report.total, 2u);
  ASSERT_EQ(audit.report.rejected, 1u);
  ASSERT_EQ(audit.report.derived, 1u);
  const std::string summary =
      "provenance audit: total=2 derived=1 assumption=0 rejected=1 synthesizedCorpus=false "
      "brdNotFound=false corpusEmpty=true corpusSource=Empty\n";

  const RunResult r = run_fennick({"verify-provenance", "--project", project.path()});
  EXPECT_EQ(r.out, provenance::render_audit_report(audit));
  EXPECT_EQ(r.err, summary);
  EXPECT_EQ(r.exit_code, 0);

  const RunResult strict =
      run_fennick({"verify-provenance", "--fail-on-rejected", "--project", project.path()});
  EXPECT_EQ(strict.out, provenance::render_audit_report(audit));
  EXPECT_EQ(strict.err,
            summary + "provenance verification FAILED: 1 rejected claim(s) (--fail-on-rejected)\n");
  EXPECT_EQ(strict.exit_code, 1);
}

// A BRD that is found but cannot be read gives no claims: under --fail-on-rejected that verifies
// nothing and fails like a missing BRD; without it the run passes as before.
TEST(ProvenanceFlowTest, UnreadableBrdFailsOnlyWhenAskedTo) {
  const TempDir root;
  const std::string invalid = root.mkdir("invalid");
  write_file(invalid + "/" + std::string(kBrdPath), std::string(kBrd) + "caf\xE9\n");
  const std::string directory = root.mkdir("directory");
  std::filesystem::create_directories(directory + "/" + std::string(kBrdPath));
  const std::string odd_name = root.mkdir("p\xff");  // shown with U+FFFD
  write_file(odd_name + "/" + std::string(kBrdPath), "\xE9");
  const std::string summary =
      "provenance audit: total=0 derived=0 assumption=0 rejected=0 synthesizedCorpus=false "
      "brdNotFound=false corpusEmpty=true corpusSource=Empty\n";

  for (const std::string& project : {invalid, directory, odd_name}) {
    SCOPED_TRACE(project);
    const RunResult r = run_fennick({"verify-provenance", "--project", project});
    EXPECT_EQ(r.out, expected_report(project));
    EXPECT_EQ(r.err, summary);
    EXPECT_EQ(r.exit_code, 0);

    const RunResult strict =
        run_fennick({"verify-provenance", "--project", project, "--fail-on-rejected"});
    EXPECT_EQ(strict.out, expected_report(project));
    std::string shown_path = project + "/" + std::string(kBrdPath);
    if (project == odd_name) shown_path.replace(shown_path.find('\xff'), 1, "\xEF\xBF\xBD");
    EXPECT_EQ(strict.err, summary + "provenance verification FAILED: the BRD " + shown_path +
                              " could not be read; nothing was verified (--fail-on-rejected)\n");
    EXPECT_EQ(strict.exit_code, 1);
  }
}

TEST(ProvenanceFlowTest, CorpusSources) {
  const TempDir project;
  project.write(kBrdPath, kBrd);
  project.write(".artifacts/extracted/notes.txt", "Users sign in with Zorblax SSO.\n");
  RunResult r = run_fennick({"verify-provenance", "--project", project.path()});
  EXPECT_EQ(r.out, expected_report(project.path()));
  EXPECT_NE(r.err.find(" synthesizedCorpus=true brdNotFound=false corpusEmpty=false "
                       "corpusSource=LegacyTxt\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.exit_code, 0);

  // A corpus directory given by the caller replaces the project's own, even when empty.
  const std::string override_dir = project.mkdir("elsewhere");
  r = run_fennick({"verify-provenance", "--project", project.path(), "--corpus", override_dir});
  EXPECT_EQ(r.out, expected_report(project.path(), override_dir));
  EXPECT_NE(r.err.find(" synthesizedCorpus=false brdNotFound=false corpusEmpty=true "
                       "corpusSource=Override\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.exit_code, 0);
}

TEST(ProvenanceFlowTest, MissingDirectories) {
  const TempDir dir;
  const std::string file = dir.write("file", "x");
  const std::string missing = dir / "missing";

  RunResult r = run_fennick({"verify-provenance", "--project", missing});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: project directory not found or not a directory: " + missing + "\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-provenance", "--project", file, "--corpus", missing});
  EXPECT_EQ(r.err, "error: project directory not found or not a directory: " + file + "\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-provenance", "--project", dir.path(), "--corpus", file});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: --corpus " + file + " is not an existing directory\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-provenance", "--project", dir / "p\xff"});
  EXPECT_EQ(r.err, "error: project directory not found or not a directory: " +
                       (dir / "p\xEF\xBF\xBD") + "\n");
  EXPECT_EQ(r.exit_code, 2);
}

TEST(ProvenanceFlowTest, StdoutFailures) {
  const TempDir project;
  project.write(kBrdPath, kBrd);

  // A broken pipe counts as written: the summary and the verdict still follow.
  RunResult r =
      run_fennick({"verify-provenance", "--project", project.path(), "--fail-on-rejected"},
                  StdoutMode::kBrokenPipe);
  EXPECT_EQ(r.err.rfind("provenance audit: total=2 ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("provenance verification FAILED: 1 rejected claim(s)"), std::string::npos);
  EXPECT_EQ(r.exit_code, 1);

  r = run_fennick({"verify-provenance", "--project", project.path()}, StdoutMode::kClosed);
  EXPECT_EQ(r.err.rfind("provenance audit: total=2 ", 0), 0u) << r.err;
  EXPECT_EQ(r.exit_code, 0);

  // Any other write failure ends the run before the summary.
  r = run_fennick({"verify-provenance", "--project", project.path(), "--fail-on-rejected"},
                  StdoutMode::kFull);
  EXPECT_EQ(r.err, "error: cannot write to stdout: No space left on device (os error 28)\n");
  EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace fennick::e2e
