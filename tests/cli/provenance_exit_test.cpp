// Exit rules of the provenance flow that only a fault inside the audit reaches: the audit is
// replaced by one that returns the fail-closed result a fault produces.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "flows.h"
#include "provenance/allowlist/allowlist.h"
#include "provenance/validator/audit.h"
#include "support/files.h"

namespace fennick::cli {
namespace {

struct Captured {
  std::string out;
  std::string err;
  Streams streams() {
    return Streams{[this](std::string_view t) {
                     out.append(t);
                     return 0;
                   },
                   [this](std::string_view t) { err.append(t); }};
  }
};

provenance::ProvenanceAuditResult panicked(const std::string&, const std::optional<std::string>&) {
  provenance::AllowlistInputs inputs;
  inputs.threshold = 1;
  const provenance::EffectiveAllowlist allowlist = provenance::build_effective_allowlist(inputs);
  provenance::ProvenanceAuditResult result;
  result.report = provenance::fail_closed_result({}, {}, allowlist, std::string("boom"));
  result.brd_not_found = true;
  result.corpus_empty = true;
  result.corpus_source = provenance::CorpusSource::kEmpty;
  return result;
}

TEST(ProvenanceExit, PanicEndsWithOneWhateverTheFlags) {
  const test_support::TempDir project;
  for (bool fail_on_rejected : {false, true}) {
    SCOPED_TRACE(fail_on_rejected);
    Captured io;
    VerifyProvenanceArgs args;
    args.project = project.path();
    args.fail_on_rejected = fail_on_rejected;
    EXPECT_EQ(run_verify_provenance(args, io.streams(), panicked), 1);
    // The panic line follows the summary; no "FAILED" line, although no BRD was found and the
    // synthetic verdict is rejected.
    EXPECT_EQ(io.err,
              "provenance audit: total=1 derived=0 assumption=0 rejected=1 "
              "synthesizedCorpus=false brdNotFound=true corpusEmpty=true corpusSource=Empty\n"
              "error: validator panic (fail-closed) -- boom\n");
    EXPECT_NE(io.out.find("> **\u26a0 Validator panic:** `boom` -- gate failed closed (FR-005)."),
              std::string::npos);
  }
}

// An unreadable BRD fails the run after a panic and before rejected claims (which a fault in
// the validator can bring along with it).
TEST(ProvenanceExit, UnreadableBrdFailsAfterAPanicAndBeforeRejectedClaims) {
  const test_support::TempDir project;
  const std::string brd = project / "requirements/business-requirements-document.md";
  for (const bool panic : {true, false}) {
    SCOPED_TRACE(panic);
    const auto audit = [&](const std::string& dir, const std::optional<std::string>& corpus) {
      provenance::ProvenanceAuditResult result = panicked(dir, corpus);
      if (!panic) result.report.validator_panic.reset();
      result.brd_path = brd;
      result.brd_not_found = false;
      result.brd_unreadable = true;
      return result;
    };
    Captured io;
    VerifyProvenanceArgs args;
    args.project = project.path();
    args.fail_on_rejected = true;
    EXPECT_EQ(run_verify_provenance(args, io.streams(), audit), 1);
    const std::string summary =
        "provenance audit: total=1 derived=0 assumption=0 rejected=1 "
        "synthesizedCorpus=false brdNotFound=false corpusEmpty=true corpusSource=Empty\n";
    EXPECT_EQ(io.err, summary + (panic ? "error: validator panic (fail-closed) -- boom\n"
                                       : "provenance verification FAILED: the BRD " + brd +
                                             " could not be read; nothing was verified "
                                             "(--fail-on-rejected)\n"));
  }
}

}  // namespace
}  // namespace fennick::cli
