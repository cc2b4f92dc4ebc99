// The validator searches every candidate once per audit, all in one pass; claims naming the same
// candidate get the same summary as if each had searched on its own.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "provenance/allowlist/allowlist.h"
#include "provenance/validator/internal.h"
#include "provenance/validator/validator.h"
#include "support/provenance_fixtures.h"

namespace fennick::provenance {
namespace {

TEST(ValidatorSearch, EachCandidateIsSearchedOncePerAudit) {
  const std::vector<CorpusPage> pages = {
      test_support::corpus_page("a.json", "the acme portal\nACME again"),
      test_support::corpus_page("b.json", "nothing here")};
  AllowlistInputs inputs;
  const EffectiveAllowlist allowlist = build_effective_allowlist(inputs);
  const std::vector<ProvenanceClaim> claims = {
      new_claim("BR-001", RequirementKind::kBr, "Acme must approve the release"),
      new_claim("BR-002", RequirementKind::kBr, "the report goes to Acme"),
      new_claim("BR-003", RequirementKind::kBr, "Zyxx hosts the Acme mirror")};

  std::map<std::string, int> searches;
  int passes = 0;
  internal::ValidatorHooks hooks;
  hooks.search = [&](std::span<const CorpusPage> corpus, std::span<const std::string> terms) {
    ++passes;
    for (const std::string& term : terms) ++searches[term];
    return search_corpus_terms(corpus, terms);
  };
  const ValidatorReport report = internal::validate_claims(
      claims, pages, allowlist, AssumptionBudget{10, 0}, CalendarDate{2026, 1, 1}, hooks);

  EXPECT_EQ(passes, 1);
  EXPECT_EQ(searches, (std::map<std::string, int>{{"Acme", 1}, {"Zyxx", 1}}));
  ASSERT_EQ(report.verdicts.size(), 3u);
  const std::vector<CorpusHits> direct = search_corpus(pages, "Acme");
  EXPECT_EQ(report.verdicts[0].corpus_search_summary(), direct);
  EXPECT_EQ(report.verdicts[1].corpus_search_summary(), direct);
  EXPECT_EQ(report.verdicts[2].corpus_search_summary(), direct);  // Zyxx found nowhere
  for (const ClaimVerdict& verdict : report.verdicts) {
    EXPECT_EQ(verdict.mode.reason, "citation_unbound");
  }
}

// Spellings that lower-case alike find the same records: one of them is searched for all, so that
// an audit naming one word in thousands of letter cases holds its records once, and every claim
// still gets the records a search of its own spelling gives.
TEST(ValidatorSearch, SpellingsThatLowerCaseAlikeAreSearchedOnce) {
  const std::vector<CorpusPage> pages = {test_support::corpus_page("a.json", "the acme portal"),
                                         test_support::corpus_page("b.json", "acme again")};
  AllowlistInputs inputs;
  const EffectiveAllowlist allowlist = build_effective_allowlist(inputs);
  const std::vector<ProvenanceClaim> claims = {
      new_claim("BR-001", RequirementKind::kBr, "Acme must approve the release"),
      new_claim("BR-002", RequirementKind::kBr, "ACME and aCME sign the report"),
      new_claim("BR-003", RequirementKind::kBr, "Zyxx hosts the mirror")};

  std::map<std::string, int> searches;
  internal::ValidatorHooks hooks;
  hooks.search = [&](std::span<const CorpusPage> corpus, std::span<const std::string> terms) {
    for (const std::string& term : terms) ++searches[term];
    return search_corpus_terms(corpus, terms);
  };
  const ValidatorReport report = internal::validate_claims(
      claims, pages, allowlist, AssumptionBudget{10, 0}, CalendarDate{2026, 1, 1}, hooks);

  EXPECT_EQ(searches, (std::map<std::string, int>{{"ACME", 1}, {"Zyxx", 1}}));
  ASSERT_EQ(report.verdicts.size(), 3u);
  const std::vector<CorpusHits> direct = search_corpus(pages, "Acme");
  EXPECT_EQ(report.verdicts[0].entity_candidates(), (std::vector<std::string>{"Acme"}));
  EXPECT_EQ(report.verdicts[0].corpus_search_summary(), direct);
  // Two spellings: each brings the records once, a.json's two before b.json's two.
  EXPECT_EQ(report.verdicts[1].entity_candidates(), (std::vector<std::string>{"ACME", "aCME"}));
  EXPECT_EQ(report.verdicts[1].corpus_search_summary(),
            (std::vector<CorpusHits>{direct[0], direct[0], direct[1], direct[1]}));
  EXPECT_TRUE(report.verdicts[2].corpus_search_summary().empty());
  EXPECT_EQ(test_support::verdict_reasons(report),
            (std::vector<std::string>{"citation_unbound", "citation_unbound",
                                      "no_citation_for_external_entity"}));
}

}  // namespace
}  // namespace fennick::provenance
