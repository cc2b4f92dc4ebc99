#include "provenance/validator/validator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "provenance/tokens.h"
#include "provenance/validator/audit.h"
#include "provenance/validator/internal.h"
#include "support/digests.h"
#include "support/provenance_fixtures.h"

namespace fennick::provenance {
namespace {

using test_support::corpus_page;
using test_support::kEmptySha256;
using test_support::verdict_reason;
using test_support::verdict_reasons;

constexpr CalendarDate kToday{2024, 5, 10};

// An allowlist that covers nothing, so every capitalised word of a claim is a candidate; the
// digest only has to travel into the report unchanged.
EffectiveAllowlist empty_allowlist() { return EffectiveAllowlist{"allowlist-digest", {}}; }

ProvenanceClaim claim(std::string id, std::string text) {
  return new_claim(std::move(id), RequirementKind::kBr, std::move(text));
}

ProvenanceClaim assumed(std::string id, std::string text, CalendarDate expiry) {
  ProvenanceClaim c = claim(std::move(id), std::move(text));
  c.assumption() = Assumption{expiry};
  return c;
}

Citation citation(std::string source, std::uint32_t first, std::uint32_t last,
                  std::string_view quoted) {
  return Citation{std::move(source), "", quote_hash(quoted), first, last};
}

ValidatorReport validate(const std::vector<ProvenanceClaim>& claims,
                         const std::vector<CorpusPage>& pages = {},
                         AssumptionBudget budget = {10, 0}) {
  return validate_claims(claims, pages, empty_allowlist(), budget, kToday);
}

TEST(ValidatorReport, NoClaimsStillCarriesVersionsDigestsAndIncomingBudget) {
  const std::vector<CorpusPage> pages = {corpus_page("a.json", "x"), corpus_page("b.json", "y")};
  const ValidatorReport report = validate({}, pages, {10, 3});
  EXPECT_TRUE(report.verdicts.empty());
  EXPECT_EQ(report.schema_version, "1.0.0");
  EXPECT_EQ(report.provenance_schema_version, "1.0.0");
  EXPECT_EQ(report.validator_version, "0.4.0");
  EXPECT_EQ(report.extracted_corpus_hash, corpus_listing_digest(pages));
  EXPECT_EQ(report.allowlist_version_hash, "allowlist-digest");
  EXPECT_FALSE(report.validator_panic.has_value());
  EXPECT_EQ(report.total + report.derived + report.derived_weak + report.assumption +
                report.assumption_orphaned + report.rejected,
            0u);
  EXPECT_EQ(report.assumption_budget_used, 3u);
  EXPECT_EQ(validate({}).extracted_corpus_hash, kEmptySha256);
}

TEST(ValidatorAnchors, AnchorKeysAreTokenFingerprintsInClaimOrder) {
  const std::vector<ProvenanceClaim> claims = {claim("BR-1", "users sign in"),
                                               claim("BR-2", "in SIGN, the users")};
  const std::vector<std::string> keys = anchor_keys(claims);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], token_fingerprint("users sign in"));
  EXPECT_EQ(keys[0], keys[1]);
}

TEST(ValidatorAnchors, ClaimsSharingAnAnchorAreAllRejected) {
  // Word order, case, edge punctuation and stop words do not change the anchor.
  const ValidatorReport report =
      validate({claim("BR-1", "users sign in"), claim("BR-2", "reports export daily"),
                claim("BR-3", "The users MUST sign in.")});
  EXPECT_EQ(verdict_reasons(report),
            (std::vector<std::string>{"duplicate_anchor", "derived", "duplicate_anchor"}));
  EXPECT_EQ(report.verdicts[0].anchor_hash, report.verdicts[2].anchor_hash);
  EXPECT_EQ(report.total, 3u);
  EXPECT_EQ(report.derived, 1u);
  EXPECT_EQ(report.rejected, 2u);
}

TEST(ValidatorAnchors, EditedAnchorShowsRecomputedHashAndCandidatesButNoSearch) {
  ProvenanceClaim edited = claim("BR-1", "payments go through Stripe");
  edited.anchor_hash = std::string(64, '0');
  // The second claim has the same text: the edited claim's recomputed key still counts.
  const ProvenanceClaim twin = claim("BR-2", "payments go through Stripe");
  const ValidatorReport report =
      validate({edited, twin}, {corpus_page("a.json", "Stripe is used")});
  ASSERT_EQ(report.verdicts.size(), 2u);
  const ClaimVerdict& v = report.verdicts[0];
  EXPECT_EQ(verdict_reason(v), "anchor_hash_mismatch");
  EXPECT_EQ(v.anchor_hash, token_fingerprint("payments go through Stripe"));
  EXPECT_EQ(v.entity_candidates(), std::vector<std::string>{"Stripe"});
  EXPECT_TRUE(v.corpus_search_summary().empty());
  EXPECT_TRUE(v.names_external_entity);
  EXPECT_EQ(verdict_reason(report.verdicts[1]), "duplicate_anchor");
  EXPECT_TRUE(report.verdicts[1].corpus_search_summary().empty());

  // Upper-case hex of the right digest is still a mismatch.
  ProvenanceClaim upper = claim("BR-3", "reports export daily");
  upper.anchor_hash = test_support::upper_hex(upper.anchor_hash);
  const ClaimVerdict w = validate({upper}).verdicts.at(0);
  EXPECT_EQ(verdict_reason(w), "anchor_hash_mismatch");
  EXPECT_FALSE(w.names_external_entity);

  // Several edited claims among intact ones: each verdict shows its own claim's recomputed key.
  const std::vector<std::string> texts = {"alpha one", "beta two", "gamma three", "delta four"};
  std::vector<ProvenanceClaim> mixed;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    mixed.push_back(claim("BR-" + std::to_string(i + 1), texts[i]));
    if (i != 1) mixed.back().anchor_hash = "edited " + std::to_string(i);
  }
  const ValidatorReport several = validate(mixed);
  EXPECT_EQ(verdict_reasons(several),
            (std::vector<std::string>{"anchor_hash_mismatch", "derived", "anchor_hash_mismatch",
                                      "anchor_hash_mismatch"}));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(several.verdicts.at(i).anchor_hash, token_fingerprint(texts[i])) << i;
  }
}

TEST(ValidatorEntities, UncitedEntityIsUnboundWhenFoundAndUnsupportedWhenNot) {
  const std::vector<CorpusPage> pages = {corpus_page("b.json", "Alpha ships\nalpha again\nnone"),
                                         corpus_page("a.json", "uses beta and ALPHA")};
  const ValidatorReport report = validate(
      {claim("BR-1", "Beta and Alpha power search"), claim("BR-2", "sync with Gamma")}, pages);
  ASSERT_EQ(report.verdicts.size(), 2u);
  const ClaimVerdict& found = report.verdicts[0];
  EXPECT_EQ(verdict_reason(found), "citation_unbound");
  EXPECT_TRUE(found.names_external_entity);
  EXPECT_EQ(found.anchor_hash, token_fingerprint("Beta and Alpha power search"));
  EXPECT_EQ(found.entity_candidates(), (std::vector<std::string>{"Alpha", "Beta"}));
  // Sorted by source; within a.json the records keep candidate order (Alpha, then Beta).
  ASSERT_EQ(found.corpus_search_summary().size(), 3u);
  EXPECT_EQ(found.corpus_search_summary()[0].source, "a.json");
  EXPECT_EQ(found.corpus_search_summary()[0].hits.at(0).line, "uses beta and ALPHA");
  EXPECT_EQ(found.corpus_search_summary()[1].source, "a.json");
  EXPECT_EQ(found.corpus_search_summary()[2].source, "b.json");
  EXPECT_EQ(found.corpus_search_summary()[2].hit_count, 2u);
  EXPECT_EQ(found.corpus_search_summary()[2].pages_searched, 1u);

  const ClaimVerdict& missing = report.verdicts[1];
  EXPECT_EQ(verdict_reason(missing), "no_citation_for_external_entity");
  EXPECT_EQ(missing.entity_candidates(), std::vector<std::string>{"Gamma"});
  EXPECT_TRUE(missing.corpus_search_summary().empty());
  EXPECT_TRUE(missing.names_external_entity);
  EXPECT_EQ(report.rejected, 2u);
}

TEST(ValidatorEntities, AllowlistedOrLowerCaseWordsAreNoCandidates) {
  EffectiveAllowlist allowlist{"d", {"stripe"}};
  const ValidatorReport report =
      validate_claims(std::vector<ProvenanceClaim>{claim("BR-1", "Payments via STRIPE, 42 x")}, {},
                      allowlist, {10, 0}, kToday);
  const ClaimVerdict& v = report.verdicts.at(0);
  // "Payments" is capitalised and not allowlisted; "STRIPE" is covered; "x" and "42" lack shape.
  EXPECT_EQ(v.entity_candidates(), std::vector<std::string>{"Payments"});
  EXPECT_EQ(verdict_reason(v), "no_citation_for_external_entity");
}

TEST(ValidatorCitations, ClaimWithoutCandidatesIsDerivedWithoutLookingAtCitations) {
  ProvenanceClaim c = claim("BR-1", "users sign in");
  c.citations().push_back(Citation{"nowhere.json", "", "bad", 0, 9});
  const ValidatorReport report = validate({c});
  const ClaimVerdict& v = report.verdicts.at(0);
  EXPECT_EQ(verdict_reason(v), "derived");
  EXPECT_EQ(v.anchor_hash, c.anchor_hash);
  EXPECT_TRUE(v.entity_candidates().empty());
  EXPECT_FALSE(v.names_external_entity);
  EXPECT_EQ(report.derived, 1u);
}

TEST(ValidatorCitations, FirstFailingCitationDecidesTheReason) {
  const std::vector<CorpusPage> pages = {corpus_page("a.json", "Stripe handles cards\nline two\n")};
  auto with = [](std::vector<Citation> citations) {
    ProvenanceClaim c = claim("BR-1", "cards go to Stripe");
    c.citations() = std::move(citations);
    return c;
  };
  const Citation good = citation("a.json", 1, 1, "Stripe handles cards");
  const Citation bad_range = citation("a.json", 2, 4, "line two");
  Citation wrong_hash = good;
  wrong_hash.quote_hash = quote_hash("Stripe handles Cards");
  const Citation missing = citation("b.json", 1, 1, "Stripe handles cards");

  EXPECT_EQ(verdict_reason(validate({with({bad_range, wrong_hash})}, pages).verdicts.at(0)),
            "citation_source_invalid");
  EXPECT_EQ(verdict_reason(validate({with({good, wrong_hash, bad_range})}, pages).verdicts.at(0)),
            "quote_hash_mismatch");
  EXPECT_EQ(verdict_reason(validate({with({missing})}, pages).verdicts.at(0)),
            "citation_source_invalid");
  // lineStart 0 is never valid; lineEnd equal to the line count (the empty last line) is.
  EXPECT_EQ(verdict_reason(validate({with({citation("a.json", 0, 1, "x")})}, pages).verdicts.at(0)),
            "citation_source_invalid");
  const ClaimVerdict derived =
      validate({with({citation("a.json", 1, 3, "Stripe handles cards line two")})}, pages)
          .verdicts.at(0);
  EXPECT_EQ(verdict_reason(derived), "derived");
  EXPECT_TRUE(derived.names_external_entity);
  EXPECT_EQ(derived.entity_candidates(), std::vector<std::string>{"Stripe"});
  EXPECT_EQ(derived.corpus_search_summary().size(), 1u);
}

TEST(ValidatorCitations, EveryCandidateMustOccurInSomeQuoteIgnoringCase) {
  const std::vector<CorpusPage> pages = {
      corpus_page("a.json", "we bill through STRIPE\nOkta signs users in\nunrelated line")};
  auto with = [](std::string text, std::vector<Citation> citations) {
    ProvenanceClaim c = claim("BR-1", std::move(text));
    c.citations() = std::move(citations);
    return c;
  };
  const Citation stripe = citation("a.json", 1, 1, "we bill through STRIPE");
  const Citation okta = citation("a.json", 2, 2, "Okta signs users in");
  const Citation unrelated = citation("a.json", 3, 3, "unrelated line");

  EXPECT_EQ(
      verdict_reason(
          validate({with("Stripe bills and Okta signs", {stripe, okta})}, pages).verdicts.at(0)),
      "derived");
  EXPECT_EQ(
      verdict_reason(validate({with("Stripe bills and Okta signs", {stripe, unrelated})}, pages)
                         .verdicts.at(0)),
      "citation_does_not_substantiate_entity");
  EXPECT_EQ(verdict_reason(validate({with("Stripe bills", {unrelated})}, pages).verdicts.at(0)),
            "citation_does_not_substantiate_entity");
}

TEST(ValidatorAssumptions, ExpiryIsInclusiveOfTodayAndExpiredOnesCostNothing) {
  const std::vector<ProvenanceClaim> claims = {
      assumed("BR-1", "rates cap at ten", CalendarDate{2024, 5, 9}),
      assumed("BR-2", "orders ship weekly", kToday),
      assumed("BR-3", "refunds take days", CalendarDate{2025, 1, 1}),
      assumed("BR-4", "audit runs yearly", CalendarDate{2023, 12, 31})};
  const ValidatorReport report = validate(claims, {}, {2, 0});
  EXPECT_EQ(verdict_reasons(report),
            (std::vector<std::string>{"assumption_expired", "assumption", "assumption",
                                      "assumption_expired"}));
  EXPECT_EQ(report.assumption, 2u);
  EXPECT_EQ(report.rejected, 2u);
  EXPECT_EQ(report.assumption_budget_used, 2u);
  EXPECT_EQ(report.verdicts[1].anchor_hash, claims[1].anchor_hash);
}

TEST(ValidatorAssumptions, BudgetIsChargedInClaimOrder) {
  std::vector<ProvenanceClaim> claims;
  for (int i = 0; i < 11; ++i) {
    claims.push_back(
        assumed("BR-" + std::to_string(i), "assumed fact number " + std::to_string(i), kToday));
  }
  const ValidatorReport fresh = validate(claims, {}, {10, 0});
  EXPECT_EQ(fresh.assumption, 10u);
  EXPECT_EQ(verdict_reason(fresh.verdicts[9]), "assumption");
  EXPECT_EQ(verdict_reason(fresh.verdicts[10]), "assumption_budget_exceeded");
  EXPECT_EQ(fresh.assumption_budget_used, 10u);

  const ValidatorReport spent = validate({claims[0]}, {}, {10, 10});
  EXPECT_EQ(verdict_reason(spent.verdicts.at(0)), "assumption_budget_exceeded");
  EXPECT_EQ(spent.assumption_budget_used, 10u);

  const ValidatorReport overdrawn = validate({claims[0]}, {}, {10, 4000000000u});
  EXPECT_EQ(verdict_reason(overdrawn.verdicts.at(0)), "assumption_budget_exceeded");
}

TEST(ValidatorAssumptions, AssumptionWinsOverCitationsButShowsTheSearch) {
  ProvenanceClaim c = assumed("BR-1", "tax rules from Avalara", kToday);
  c.citations().push_back(Citation{"missing.json", "", "x", 1, 1});
  const ClaimVerdict v = validate({c}, {corpus_page("a.json", "Avalara rates")}).verdicts.at(0);
  EXPECT_EQ(verdict_reason(v), "assumption");
  EXPECT_EQ(v.entity_candidates(), std::vector<std::string>{"Avalara"});
  ASSERT_EQ(v.corpus_search_summary().size(), 1u);
  EXPECT_EQ(v.corpus_search_summary()[0].hit_count, 1u);
  EXPECT_TRUE(v.names_external_entity);

  // Anchor faults come before the assumption rule.
  ProvenanceClaim edited = assumed("BR-2", "tax rules", kToday);
  edited.anchor_hash = "edited";
  EXPECT_EQ(verdict_reason(validate({edited}).verdicts.at(0)), "anchor_hash_mismatch");
}

TEST(ValidatorKinds, VerdictCopiesIdAndKind) {
  ProvenanceClaim c = new_claim("SYSREQ-4", RequirementKind::kSysreq, "logs rotate");
  const ClaimVerdict v = validate({c}).verdicts.at(0);
  EXPECT_EQ(v.id, "SYSREQ-4");
  EXPECT_EQ(v.kind, RequirementKind::kSysreq);
}

TEST(ValidatorFailClosed, RejectAllClaimsKeepsStoredAnchorsAndDropsEverythingElse) {
  ProvenanceClaim c = new_claim("UC-2", RequirementKind::kUc, "Stripe pays");
  c.anchor_hash = "stored";
  const std::vector<ClaimVerdict> verdicts =
      reject_all_claims(std::vector<ProvenanceClaim>{c}, "qg13_validator_panic: x");
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0].id, "UC-2");
  EXPECT_EQ(verdicts[0].anchor_hash, "stored");
  EXPECT_EQ(verdicts[0].kind, RequirementKind::kUc);
  EXPECT_EQ(verdicts[0].mode, VerdictMode::rejected("qg13_validator_panic: x"));
  EXPECT_TRUE(verdicts[0].entity_candidates().empty());
  EXPECT_TRUE(verdicts[0].corpus_search_summary().empty());
  EXPECT_FALSE(verdicts[0].names_external_entity);
  // Lists reached for writing but left empty still equal no lists.
  ClaimVerdict touched = verdicts[0];
  touched.corpus_search_summary().clear();
  EXPECT_EQ(touched, verdicts[0]);
  touched.entity_candidates().push_back("Stripe");
  EXPECT_NE(touched, verdicts[0]);
}

TEST(ValidatorFailClosed, WithoutClaimsOneSyntheticVerdictStandsIn) {
  const std::vector<CorpusPage> pages = {corpus_page("a.json", "x")};
  const ValidatorReport report =
      fail_closed_result({}, pages, empty_allowlist(), std::string("broken"));
  ASSERT_EQ(report.verdicts.size(), 1u);
  const ClaimVerdict& v = report.verdicts[0];
  EXPECT_EQ(v.id, "VALIDATOR-PANIC");
  EXPECT_EQ(v.anchor_hash, "");
  EXPECT_EQ(v.kind, RequirementKind::kBr);
  EXPECT_EQ(v.mode, VerdictMode::rejected("qg13_validator_panic: broken"));
  EXPECT_FALSE(v.names_external_entity);
  EXPECT_EQ(report.validator_panic, "broken");
  EXPECT_EQ(report.total, 1u);
  EXPECT_EQ(report.rejected, 1u);
  EXPECT_EQ(report.extracted_corpus_hash, corpus_listing_digest(pages));
  EXPECT_EQ(report.allowlist_version_hash, "allowlist-digest");
  EXPECT_EQ(report.validator_version, "0.4.0");

  EXPECT_EQ(fail_closed_result({}, {}, empty_allowlist(), std::nullopt).validator_panic,
            "<non-string panic payload>");
}

// Faults injected at chosen points inside the validator: every claim is rejected with the panic
// reason, the counts follow, and the digests are those of the real inputs.
class ValidatorGuard : public ::testing::Test {
 protected:
  std::vector<ProvenanceClaim> claims = {claim("BR-1", "users sign in"),
                                         claim("BR-2", "Stripe takes cards"),
                                         new_claim("UC-3", RequirementKind::kUc, "users log out")};
  std::vector<CorpusPage> pages = {corpus_page("z.json", "Stripe")};

  ValidatorReport run(const internal::ValidatorHooks& hooks) {
    return internal::validate_claims(claims, pages, empty_allowlist(), {10, 0}, kToday, hooks);
  }

  void expect_all_rejected(const ValidatorReport& report, std::string_view message) {
    const std::string why = "qg13_validator_panic: " + std::string(message);
    ASSERT_EQ(report.verdicts.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(report.verdicts[i].id, claims[i].id);
      EXPECT_EQ(report.verdicts[i].kind, claims[i].kind);
      EXPECT_EQ(report.verdicts[i].anchor_hash, claims[i].anchor_hash);
      EXPECT_EQ(report.verdicts[i].mode, VerdictMode::rejected(why));
    }
    EXPECT_EQ(report.validator_panic, std::string(message));
    EXPECT_EQ(report.total, 3u);
    EXPECT_EQ(report.rejected, 3u);
    EXPECT_EQ(report.derived + report.derived_weak + report.assumption +
                  report.assumption_orphaned + report.assumption_budget_used,
              0u);
    EXPECT_EQ(report.extracted_corpus_hash, corpus_listing_digest(pages));
    EXPECT_EQ(report.allowlist_version_hash, "allowlist-digest");
  }
};

TEST_F(ValidatorGuard, ExceptionInTheEntityScanOfALaterClaim) {
  internal::ValidatorHooks hooks;
  int calls = 0;
  hooks.find_entities = [&](std::string_view text, const EffectiveAllowlist& allowlist) {
    if (++calls == 3) throw std::runtime_error("entity scan broke");
    return find_external_entities(text, allowlist, looks_like_entity);
  };
  expect_all_rejected(run(hooks), "entity scan broke");
}

TEST_F(ValidatorGuard, ThrownStringInTheSearch) {
  internal::ValidatorHooks hooks;
  hooks.search = [](std::span<const CorpusPage>,
                    std::span<const std::string>) -> std::vector<std::vector<CorpusHits>> {
    throw std::string("search `broke`\n");
  };
  expect_all_rejected(run(hooks), "search `broke`\n");
}

TEST_F(ValidatorGuard, NonStringPayloadInTheAnchorComputation) {
  internal::ValidatorHooks hooks;
  hooks.anchor_key = [](std::string_view) -> std::string { throw 42; };
  expect_all_rejected(run(hooks), "<non-string panic payload>");
}

TEST_F(ValidatorGuard, ProductionHooksGiveTheSameReportAsThePublicEntry) {
  const ValidatorReport hooked = run(internal::ValidatorHooks{});
  EXPECT_EQ(hooked, validate_claims(claims, pages, empty_allowlist(), {10, 0}, kToday));
  EXPECT_FALSE(hooked.validator_panic.has_value());
  EXPECT_EQ(verdict_reasons(hooked),
            (std::vector<std::string>{"derived", "citation_unbound", "derived"}));
}

}  // namespace
}  // namespace fennick::provenance
