// Exit rules of the provenance flow that only a fault inside the audit reaches: the audit is
// replaced by one that returns the fail-closed result a fault produces.
#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "flows.h"
#include "provenance/allowlist/allowlist.h"
#include "provenance/report.h"
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

// An exhausted heap while auditing or while writing the report ends the run with one line and
// exit code 2, never with an escaping exception; the step named is where it ran out.
TEST(ProvenanceExit, OutOfMemoryEndsWithTwoAndOneLine) {
  const test_support::TempDir project;
  VerifyProvenanceArgs args;
  args.project = project.path();
  const auto throwing_audit = [](const std::string&, const std::optional<std::string>&)
      -> provenance::ProvenanceAuditResult { throw std::bad_alloc(); };

  Captured io;
  EXPECT_EQ(run_verify_provenance(args, io.streams(), throwing_audit), 2);
  EXPECT_EQ(io.out, "");
  EXPECT_EQ(io.err, "error: out of memory while auditing the project " + project.path() + "\n");

  std::string err;
  const Streams failing{[](std::string_view) -> int { throw std::bad_alloc(); },
                        [&err](std::string_view t) { err.append(t); }};
  EXPECT_EQ(run_verify_provenance(args, failing, panicked), 2);
  EXPECT_EQ(err, "error: out of memory while writing the report of " + project.path() + "\n");
}

provenance::ProvenanceAuditResult many_records(const std::string&,
                                               const std::optional<std::string>&) {
  provenance::ProvenanceAuditResult result;
  provenance::ClaimVerdict verdict;
  verdict.id = "BR-1";
  verdict.mode = provenance::VerdictMode::rejected("citation_unbound");
  for (int d = 0; d < 5000; ++d) {
    provenance::CorpusHits hits;
    hits.source = "doc-" + std::to_string(d) + ".txt";
    hits.hit_count = 1;
    verdict.corpus_search_summary().push_back(hits);
  }
  result.report.verdicts = {verdict};
  result.report.total = 1;
  result.report.rejected = 1;
  result.corpus_source = provenance::CorpusSource::kLegacyTxt;
  result.synthesized_corpus = true;
  return result;
}

// A report of several pieces: the first failed write ends the writing. A broken pipe still counts
// as written (the summary follows, exit 0); any other failure is reported once and ends with 2.
TEST(ProvenanceExit, FailedWriteEndsAMultiPieceReport) {
  const test_support::TempDir project;
  VerifyProvenanceArgs args;
  args.project = project.path();
  struct Case {
    int errnum;
    int failing_call;
    std::string err;
    int exit_code;
  };
  const Case cases[] = {
      {EPIPE, 1,
       "provenance audit: total=1 derived=0 assumption=0 rejected=1 synthesizedCorpus=true "
       "brdNotFound=false corpusEmpty=false corpusSource=LegacyTxt\n",
       0},
      {EIO, 2, "error: cannot write to stdout: Input/output error (os error 5)\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errnum);
    int calls = 0;
    std::string out;
    std::string err;
    const Streams streams{[&](std::string_view t) {
                            if (++calls >= c.failing_call) return c.errnum;
                            out.append(t);
                            return 0;
                          },
                          [&err](std::string_view t) { err.append(t); }};
    EXPECT_EQ(run_verify_provenance(args, streams, many_records), c.exit_code);
    EXPECT_EQ(calls, c.failing_call);
    EXPECT_EQ(err, c.err);
    // What was written before the failure is the report's beginning, cut at a line end.
    const std::string whole = provenance::render_audit_report(many_records(args.project, {}));
    EXPECT_EQ(out.empty(), c.failing_call == 1);
    EXPECT_LT(out.size(), whole.size());
    EXPECT_EQ(whole.compare(0, out.size(), out), 0);
    if (!out.empty()) {
      EXPECT_EQ(out.back(), '\n');
    }
  }
}

}  // namespace
}  // namespace fennick::cli
