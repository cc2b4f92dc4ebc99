#include "provenance/report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/digests.h"

namespace fennick::provenance {
namespace {

using test_support::kEmptySha256;

constexpr std::string_view kAllowDigest =
    "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0";
constexpr std::string_view kAnchor =
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";

// The report's opening lines, and the digest lines (of kEmptySha256 and kAllowDigest) up to the
// summary table's rows, as every report here has them.
constexpr std::string_view kHead =
    "# Retroactive Provenance Audit Report\n"
    "\n"
    "- **schemaVersion:** 1.0.0\n"
    "- **provenanceSchemaVersion:** 1.0.0\n"
    "- **validatorVersion:** 0.4.0\n";
constexpr std::string_view kDigestsAndSummaryHead =
    "- **extractedCorpusHash:** "
    "`e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855`\n"
    "- **allowlistVersionHash:** "
    "`0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0`\n"
    "\n"
    "## Summary\n"
    "\n"
    "| Mode | Count |\n"
    "|------|------:|\n";

// The part of every report after the findings, when the corpus was not synthesised.
constexpr std::string_view kSuggestions =
    "## Suggested Next Actions\n"
    "\n"
    "- For each `rejected` claim: supply a verbatim citation against the corpus, downgrade to "
    "`assumption` with a named owner, OR remove the claim.\n"
    "- For each `assumptionOrphaned` claim: re-cite against the new corpus span, OR confirm the "
    "underlying concept no longer holds.\n";

ProvenanceAuditResult empty_result() {
  ProvenanceAuditResult result;
  result.report.extracted_corpus_hash = std::string(kEmptySha256);
  result.report.allowlist_version_hash = std::string(kAllowDigest);
  result.brd_not_found = true;
  result.corpus_empty = true;
  result.corpus_source = CorpusSource::kEmpty;
  return result;
}

TEST(AuditReport, ResultWithoutVerdicts) {
  const std::string expected = std::string(kHead) +
                               "- **synthesizedCorpus:** false\n"
                               "- **brdNotFound:** true\n"
                               "- **corpusEmpty:** true\n"
                               "- **corpusSource:** Empty\n"
                               "- **unparsedInlineCount:** 0\n" +
                               std::string(kDigestsAndSummaryHead) +
                               "| derived | 0 |\n"
                               "| derivedWeak | 0 |\n"
                               "| assumption | 0 |\n"
                               "| assumptionOrphaned | 0 |\n"
                               "| rejected | 0 |\n"
                               "| **total** | **0** | \n"
                               "\n"
                               "**provenanceHealth:** 0.0%\n"
                               "\n"
                               "## Findings\n"
                               "\n" +
                               std::string(kSuggestions);
  EXPECT_EQ(render_audit_report(empty_result()), expected);
}

TEST(AuditReport, DriverFailClosedResultShowsThePanicOnOneLine) {
  ProvenanceAuditResult result = empty_result();
  result.brd_not_found = false;
  result.report = fail_closed_result({}, {}, EffectiveAllowlist{std::string(kAllowDigest), {}},
                                     std::string("index `7` out\r\nof range"));
  const std::string expected =
      std::string(kHead) +
      "- **synthesizedCorpus:** false\n"
      "- **brdNotFound:** false\n"
      "- **corpusEmpty:** true\n"
      "- **corpusSource:** Empty\n"
      "- **unparsedInlineCount:** 0\n" +
      std::string(kDigestsAndSummaryHead) +
      "| derived | 0 |\n"
      "| derivedWeak | 0 |\n"
      "| assumption | 0 |\n"
      "| assumptionOrphaned | 0 |\n"
      "| rejected | 1 |\n"
      "| **total** | **1** | \n"
      "\n"
      "**provenanceHealth:** 0.0%\n"
      "\n"
      "> **\u26A0 Validator panic:** `index  7  out  of range` -- gate failed closed (FR-005).\n"
      "\n"
      "## Findings\n"
      "\n"
      "### VALIDATOR-PANIC\n"
      "- mode: `rejected: qg13_validator_panic: index  7  out  of range`\n"
      "- kind: `BR`\n"
      "- anchorHash: ``\n"
      "- namesExternalEntity: false\n"
      "\n" +
      std::string(kSuggestions);
  EXPECT_EQ(render_audit_report(result), expected);
}

TEST(AuditReport, VerdictSectionsAndTheLegacySuggestion) {
  ProvenanceAuditResult result;
  result.report.extracted_corpus_hash = std::string(kEmptySha256);
  result.report.allowlist_version_hash = std::string(kAllowDigest);
  result.synthesized_corpus = true;
  result.corpus_source = CorpusSource::kLegacyTxt;
  result.unparsed_inline_count = 3;
  result.brd_path = "never/shown.md";
  result.report.assumption_budget_used = 9;

  ClaimVerdict derived;
  derived.id = "BR-001";
  derived.anchor_hash = std::string(kAnchor);
  derived.mode = VerdictMode::derived();

  ClaimVerdict rejected;
  rejected.id = "UC-7\tx";
  rejected.anchor_hash = std::string(kAnchor);
  rejected.kind = RequirementKind::kUc;
  rejected.mode = VerdictMode::rejected("citation_unbound");
  rejected.names_external_entity = true;
  rejected.entity_candidates() = {"Stripe", "Z`q"};
  CorpusHits first;
  first.source =
      "a\xff"
      "b.txt";
  first.pages_searched = 3;
  first.hit_count = 2;
  CorpusHits second;
  second.source = "b.txt";
  second.pages_searched = 1;
  second.hit_count = 1;
  rejected.corpus_search_summary() = {first, second};

  ClaimVerdict assumed;
  assumed.id = "SYSREQ-2";
  assumed.anchor_hash = std::string(kAnchor);
  assumed.kind = RequirementKind::kSysreq;
  assumed.mode = VerdictMode::assumption();
  assumed.names_external_entity = true;
  assumed.entity_candidates() = {"Okta"};

  result.report.verdicts = {derived, rejected, assumed};
  result.report.total = 3;
  result.report.derived = 1;
  result.report.assumption = 1;
  result.report.rejected = 1;

  const std::string expected =
      std::string(kHead) +
      "- **synthesizedCorpus:** true\n"
      "- **brdNotFound:** false\n"
      "- **corpusEmpty:** false\n"
      "- **corpusSource:** LegacyTxt\n"
      "- **unparsedInlineCount:** 3\n" +
      std::string(kDigestsAndSummaryHead) +
      "| derived | 1 |\n"
      "| derivedWeak | 0 |\n"
      "| assumption | 1 |\n"
      "| assumptionOrphaned | 0 |\n"
      "| rejected | 1 |\n"
      "| **total** | **3** | \n"
      "\n"
      "**provenanceHealth:** 33.3%\n"
      "\n"
      "## Findings\n"
      "\n"
      "### BR-001\n"
      "- mode: `derived`\n"
      "- kind: `BR`\n"
      "- anchorHash: `aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa`\n"
      "- namesExternalEntity: false\n"
      "\n"
      "### UC-7 x\n"
      "- mode: `rejected: citation_unbound`\n"
      "- kind: `UC`\n"
      "- anchorHash: `aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa`\n"
      "- namesExternalEntity: true\n"
      "- entityCandidates: Stripe, Z q\n"
      "- corpusSearchSummary:\n"
      "  - `a\uFFFDb.txt`: pagesSearched=3, hitCount=2\n"
      "  - `b.txt`: pagesSearched=1, hitCount=1\n"
      "\n"
      "### SYSREQ-2\n"
      "- mode: `assumption`\n"
      "- kind: `SYSREQ`\n"
      "- anchorHash: `aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa`\n"
      "- namesExternalEntity: true\n"
      "- entityCandidates: Okta\n"
      "\n" +
      std::string(kSuggestions) +
      "- Re-run the audit against a typed (spec-120) corpus once available; this run synthesised "
      "pages from legacy `.txt` files (FR-039).\n";
  EXPECT_EQ(render_audit_report(result), expected);
}

// Values from the BRD and the corpus reach the report: beyond the code-span sanitising, none may
// reorder, break or hide a line on screen (bidirectional controls, line separators and other
// format characters are escaped, as every shown value's are) or flood the report (each is shown
// in at most 1,024 bytes, escapes counted, with one marker). Ordinary values stand unchanged.
TEST(AuditReport, ProducerValuesAreEscapedAndCut) {
  const std::string rlo = "\u202E";  // right-to-left override
  const std::string isolate = "\u2066";
  const std::string long_id = "BR-1" + std::string(2000, '7');
  const std::string long_panic = "x`" + std::string(1100, 'y');

  ProvenanceAuditResult result = empty_result();
  ClaimVerdict verdict;
  verdict.id = long_id;
  verdict.mode = VerdictMode::rejected("citation_unbound" + rlo);
  verdict.names_external_entity = true;
  // A line separator escapes to eight bytes: 127 of them fit after the "x", escapes counted.
  std::string separators = "x";
  std::string shown_separators = "x";
  for (int i = 0; i < 200; ++i) separators += "\u2028";
  for (int i = 0; i < 127; ++i) shown_separators += "\\u{2028}";
  verdict.entity_candidates() = {"Stripe" + rlo + "\t", std::string(1030, 'E'), "Okta", separators};
  CorpusHits hits;
  hits.source = isolate + "a.json";
  hits.pages_searched = 1;
  hits.hit_count = 4;
  verdict.corpus_search_summary() = {hits};
  result.report.verdicts = {verdict};
  std::string text = render_audit_report(result);
  EXPECT_NE(text.find("### BR-1" + std::string(1020, '7') +
                      "...[980 byte(s) left out]\n"
                      "- mode: `rejected: citation_unbound\\u{202e}`\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("- entityCandidates: Stripe\\u{202e} , " + std::string(1024, 'E') +
                      "...[6 byte(s) left out], Okta, " + shown_separators +
                      "...[219 byte(s) left out]\n"
                      "- corpusSearchSummary:\n"
                      "  - `\\u{2066}a.json`: pagesSearched=1, hitCount=4\n"),
            std::string::npos)
      << text;

  result.report =
      fail_closed_result({}, {}, EffectiveAllowlist{std::string(kAllowDigest), {}}, long_panic);
  text = render_audit_report(result);
  EXPECT_NE(text.find("> **\u26A0 Validator panic:** `x " + std::string(1022, 'y') +
                      "...[78 byte(s) left out]` -- gate failed closed (FR-005).\n"),
            std::string::npos)
      << text;
  // The reason is cut as one value, its prefix counted.
  EXPECT_NE(text.find("- mode: `rejected: qg13_validator_panic: x " + std::string(1000, 'y') +
                      "...[100 byte(s) left out]`\n"),
            std::string::npos)
      << text;
}

TEST(AuditReport, OtherModesPrintTheirNames) {
  ProvenanceAuditResult result = empty_result();
  ClaimVerdict weak;
  weak.id = "BR-1";
  weak.mode = VerdictMode{VerdictTag::kDerivedWeak, {}};
  ClaimVerdict orphaned;
  orphaned.id = "BR-2";
  orphaned.mode = VerdictMode{VerdictTag::kAssumptionOrphaned, {}};
  result.report.verdicts = {weak, orphaned};
  const std::string text = render_audit_report(result);
  EXPECT_NE(text.find("### BR-1\n- mode: `derivedWeak`\n"), std::string::npos);
  EXPECT_NE(text.find("### BR-2\n- mode: `assumptionOrphaned`\n"), std::string::npos);
}

// A report of many megabytes must never be held whole: it leaves in pieces of about
// kReportPieceBytes, each ending on a line end, with nothing lost or repeated where one piece
// ends in the middle of a verdict; and a sink that wants no more is not called again.
TEST(AuditReport, LongReportLeavesInLinePieces) {
  ProvenanceAuditResult result = empty_result();
  std::string findings;
  for (int v = 0; v < 3; ++v) {
    ClaimVerdict verdict;
    verdict.id = "BR-" + std::to_string(v);
    verdict.mode = VerdictMode::rejected("citation_unbound");
    verdict.names_external_entity = true;
    verdict.entity_candidates() = {"Zorb"};
    findings += "### BR-" + std::to_string(v) +
                "\n- mode: `rejected: citation_unbound`\n- kind: `BR`\n- anchorHash: ``\n"
                "- namesExternalEntity: true\n- entityCandidates: Zorb\n- corpusSearchSummary:\n";
    for (int d = 0; d < 2000; ++d) {
      CorpusHits hits;
      hits.source = "doc-" + std::to_string(v) + "-" + std::to_string(d) + ".txt";
      hits.pages_searched = 1;
      hits.hit_count = static_cast<std::uint32_t>(d + 1);
      verdict.corpus_search_summary().push_back(hits);
      findings += "  - `doc-" + std::to_string(v) + "-" + std::to_string(d) +
                  ".txt`: pagesSearched=1, hitCount=" + std::to_string(d + 1) + "\n";
    }
    findings += "\n";
    result.report.verdicts.push_back(verdict);
  }

  std::vector<std::string> pieces;
  EXPECT_TRUE(write_audit_report(result, [&pieces](std::string_view piece) {
    pieces.emplace_back(piece);
    return true;
  }));
  ASSERT_GT(pieces.size(), 2u);
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(pieces[i].back(), '\n');
    // Every line here is short: a piece is handed on as soon as it has grown to the size.
    EXPECT_LT(pieces[i].size(), kReportPieceBytes + 100);
    if (i + 1 < pieces.size()) {
      EXPECT_GE(pieces[i].size(), kReportPieceBytes);
    }
    joined += pieces[i];
  }
  EXPECT_EQ(joined, render_audit_report(result));
  const std::size_t at = joined.find("## Findings\n\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(joined.substr(at), "## Findings\n\n" + findings + std::string(kSuggestions));

  int calls = 0;
  EXPECT_FALSE(write_audit_report(result, [&calls](std::string_view) {
    ++calls;
    return false;
  }));
  EXPECT_EQ(calls, 1);
}

std::string health(std::uint32_t derived, std::uint32_t weak, std::uint32_t total) {
  ValidatorReport report;
  report.derived = derived;
  report.derived_weak = weak;
  report.total = total;
  return provenance_health(report);
}

TEST(ProvenanceHealth, RoundsHalfUpToTenthsOfAPercent) {
  EXPECT_EQ(health(0, 0, 0), "0.0%");
  EXPECT_EQ(health(2, 0, 3), "66.7%");
  EXPECT_EQ(health(1, 0, 16), "6.3%");
  EXPECT_EQ(health(3, 0, 3), "100.0%");
  EXPECT_EQ(health(1, 1, 3), "66.7%");
  EXPECT_EQ(health(0, 1, 2000), "0.1%");
  EXPECT_EQ(health(0, 1, 2001), "0.0%");
  // The numerator would overflow 32 bits.
  EXPECT_EQ(health(4000000000u, 0, 4000000000u), "100.0%");
  EXPECT_EQ(health(2000000000u, 0, 4000000000u), "50.0%");
}

TEST(SanitizeInlineCode, ReplacesBackticksAndControlCharactersOneForOne) {
  EXPECT_EQ(sanitize_inline_code("a`b\tc\rd\ne"), "a b c d e");
  EXPECT_EQ(sanitize_inline_code(std::string_view("\0x\x1f\x7f", 4)), " x  ");
  // C1 controls U+0080 and U+009F go; U+00A0 (no-break space) and other letters stay.
  EXPECT_EQ(sanitize_inline_code("\u0080\u009f\u00a0\u00e9\u26a0"), "  \u00a0\u00e9\u26a0");
  EXPECT_EQ(sanitize_inline_code("ok"), "ok");
  EXPECT_EQ(sanitize_inline_code(""), "");
  // Invalid bytes become U+FFFD so the report stays UTF-8.
  EXPECT_EQ(sanitize_inline_code("a\xff`"), "a\uFFFD ");
}

}  // namespace
}  // namespace fennick::provenance
