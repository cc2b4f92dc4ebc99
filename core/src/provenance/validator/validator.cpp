#include "provenance/validator/validator.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "provenance/citation/citation.h"
#include "provenance/validator/audit.h"
#include "provenance/validator/internal.h"
#include "text/fs.h"
#include "text/unicode.h"

namespace fennick::provenance {
namespace {

std::uint32_t saturating_count(std::size_t n) {
  return n > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                       : static_cast<std::uint32_t>(n);
}

// Charges assumptions in claim order against the budget; an expired one costs nothing.
class AssumptionLedger {
 public:
  AssumptionLedger(AssumptionBudget budget, CalendarDate today) : budget_(budget), today_(today) {}

  VerdictMode decide(const Assumption& assumption) {
    if (assumption.expiry < today_) return VerdictMode::rejected("assumption_expired");
    // accepted_ + used never exceeds the limit, so the sum cannot wrap.
    if (accepted_ + budget_.used < budget_.limit) {
      ++accepted_;
      return VerdictMode::assumption();
    }
    return VerdictMode::rejected("assumption_budget_exceeded");
  }

  std::uint32_t used_after_run() const { return budget_.used + accepted_; }

 private:
  AssumptionBudget budget_;
  CalendarDate today_;
  std::uint32_t accepted_ = 0;
};

// The verdict of a claim with candidates and citations but no assumption.
VerdictMode judge_citations(std::span<const CorpusPage> pages, const ProvenanceClaim& claim,
                            const std::vector<std::string>& candidates) {
  std::vector<std::string> lowered_quotes;
  lowered_quotes.reserve(claim.citations.size());
  for (const Citation& citation : claim.citations) {
    const QuoteCheck check = check_quote_hash(pages, citation);
    if (std::holds_alternative<QuoteCheck::Mismatch>(check.value)) {
      return VerdictMode::rejected("quote_hash_mismatch");
    }
    if (!check.ok()) return VerdictMode::rejected("citation_source_invalid");
    // A citation that checked Ok names an existing document and a valid range, so its quote
    // resolves; value() failing would be a broken invariant and fails the audit closed.
    lowered_quotes.push_back(text::to_lower(resolve_citation_quote(pages, citation).value()));
  }
  for (const std::string& candidate : candidates) {
    const std::string needle = text::to_lower(candidate);
    const bool found = std::any_of(
        lowered_quotes.begin(), lowered_quotes.end(),
        [&](const std::string& quote) { return quote.find(needle) != std::string::npos; });
    if (!found) return VerdictMode::rejected("citation_does_not_substantiate_entity");
  }
  return VerdictMode::derived();
}

ValidatorReport run_validation(std::span<const ProvenanceClaim> claims,
                               std::span<const CorpusPage> pages,
                               const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                               CalendarDate today, const internal::ValidatorHooks& hooks) {
  std::vector<std::string> keys;
  keys.reserve(claims.size());
  for (const ProvenanceClaim& claim : claims) keys.push_back(hooks.anchor_key(claim.text));

  std::map<std::string, std::size_t, std::less<>> occurrences;
  for (const std::string& key : keys) ++occurrences[key];

  // A claim's candidates do not depend on any search result: they are all found first, and every
  // distinct candidate of a claim that goes to the corpus is searched in one pass for all.
  std::vector<std::vector<std::string>> candidates;
  candidates.reserve(claims.size());
  std::vector<std::string> terms;
  for (std::size_t i = 0; i < claims.size(); ++i) {
    candidates.push_back(hooks.find_entities(claims[i].text, allowlist));
    const bool anchored = claims[i].anchor_hash == keys[i] && occurrences.find(keys[i])->second < 2;
    if (anchored) terms.insert(terms.end(), candidates.back().begin(), candidates.back().end());
  }
  std::sort(terms.begin(), terms.end());
  terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
  // The search lower-cases a term first, so candidates that lower-case alike ("ACME", "Acme")
  // find the same records: the first of them is searched for all, and its records are held once
  // instead of once per spelling.
  std::vector<std::size_t> searched_as(terms.size());
  std::vector<std::string> searched;
  {
    std::map<std::string, std::size_t, std::less<>> first_spelling;
    for (std::size_t t = 0; t < terms.size(); ++t) {
      const auto [at, added] = first_spelling.emplace(text::to_lower(terms[t]), searched.size());
      if (added) searched.push_back(terms[t]);
      searched_as[t] = at->second;
    }
  }
  std::vector<std::vector<CorpusHits>> term_hits;
  if (!searched.empty()) term_hits = hooks.search(pages, searched);
  const auto term_index = [&](const std::string& term) {
    return searched_as.at(static_cast<std::size_t>(
        std::lower_bound(terms.begin(), terms.end(), term) - terms.begin()));
  };
  // The last claim that reads a term's records takes them over, so that a record is held once,
  // not once in the search results and again in every verdict.
  std::vector<std::size_t> readers(searched.size(), 0);
  for (std::size_t i = 0; i < claims.size(); ++i) {
    if (claims[i].anchor_hash != keys[i] || occurrences.find(keys[i])->second >= 2) continue;
    for (const std::string& candidate : candidates[i]) ++readers.at(term_index(candidate));
  }

  AssumptionLedger ledger(budget, today);

  ValidatorReport report;
  report.verdicts.reserve(claims.size());
  for (std::size_t i = 0; i < claims.size(); ++i) {
    const ProvenanceClaim& claim = claims[i];
    const std::string& key = keys[i];

    ClaimVerdict verdict;
    verdict.id = claim.id;
    verdict.kind = claim.kind;
    verdict.entity_candidates = std::move(candidates[i]);
    const bool has_candidates = !verdict.entity_candidates.empty();

    // Anchor faults are judged on the recomputed key, which is what the verdict shows.
    const bool mismatch = claim.anchor_hash != key;
    if (mismatch || occurrences.find(key)->second >= 2) {
      verdict.anchor_hash = key;
      verdict.mode = VerdictMode::rejected(mismatch ? "anchor_hash_mismatch" : "duplicate_anchor");
      verdict.names_external_entity = has_candidates;
      report.verdicts.push_back(std::move(verdict));
      continue;
    }

    verdict.anchor_hash = claim.anchor_hash;
    if (!has_candidates) {
      verdict.mode = claim.assumption ? ledger.decide(*claim.assumption) : VerdictMode::derived();
      report.verdicts.push_back(std::move(verdict));
      continue;
    }

    std::uint64_t total_hits = 0;
    std::size_t record_count = 0;
    for (const std::string& candidate : verdict.entity_candidates) {
      record_count += term_hits.at(term_index(candidate)).size();
    }
    verdict.corpus_search_summary.reserve(record_count);
    for (const std::string& candidate : verdict.entity_candidates) {
      const std::size_t term = term_index(candidate);
      std::vector<CorpusHits>& records = term_hits.at(term);
      const bool last_reader = --readers.at(term) == 0;
      for (CorpusHits& hits : records) {
        total_hits += hits.hit_count;
        if (last_reader) {
          verdict.corpus_search_summary.push_back(std::move(hits));
        } else {
          verdict.corpus_search_summary.push_back(hits);
        }
      }
      if (last_reader) std::vector<CorpusHits>().swap(records);
    }
    std::stable_sort(verdict.corpus_search_summary.begin(), verdict.corpus_search_summary.end(),
                     [](const CorpusHits& a, const CorpusHits& b) {
                       return text::path_less(a.source, b.source);
                     });
    verdict.names_external_entity = true;

    if (claim.assumption) {
      verdict.mode = ledger.decide(*claim.assumption);
    } else if (claim.citations.empty()) {
      verdict.mode = VerdictMode::rejected(total_hits > 0 ? "citation_unbound"
                                                          : "no_citation_for_external_entity");
    } else {
      verdict.mode = judge_citations(pages, claim, verdict.entity_candidates);
    }
    report.verdicts.push_back(std::move(verdict));
  }

  report.extracted_corpus_hash = corpus_listing_digest(pages);
  report.allowlist_version_hash = allowlist.digest;
  report.total = saturating_count(report.verdicts.size());
  for (const ClaimVerdict& verdict : report.verdicts) {
    switch (verdict.mode.tag) {
      case VerdictTag::kDerived:
        ++report.derived;
        break;
      case VerdictTag::kDerivedWeak:
        ++report.derived_weak;
        break;
      case VerdictTag::kAssumption:
        ++report.assumption;
        break;
      case VerdictTag::kAssumptionOrphaned:
        ++report.assumption_orphaned;
        break;
      case VerdictTag::kRejected:
        ++report.rejected;
        break;
    }
  }
  report.assumption_budget_used = ledger.used_after_run();
  return report;
}

}  // namespace

std::string_view verdict_tag_name(VerdictTag tag) {
  switch (tag) {
    case VerdictTag::kDerived:
      return "derived";
    case VerdictTag::kDerivedWeak:
      return "derivedWeak";
    case VerdictTag::kAssumption:
      return "assumption";
    case VerdictTag::kAssumptionOrphaned:
      return "assumptionOrphaned";
    case VerdictTag::kRejected:
      return "rejected";
  }
  return "rejected";
}

std::vector<std::string> anchor_keys(std::span<const ProvenanceClaim> claims) {
  std::vector<std::string> keys;
  keys.reserve(claims.size());
  for (const ProvenanceClaim& claim : claims) keys.push_back(token_fingerprint(claim.text));
  return keys;
}

std::vector<ClaimVerdict> reject_all_claims(std::span<const ProvenanceClaim> claims,
                                            std::string_view reason) {
  std::vector<ClaimVerdict> verdicts;
  verdicts.reserve(claims.size());
  for (const ProvenanceClaim& claim : claims) {
    ClaimVerdict verdict;
    verdict.id = claim.id;
    verdict.anchor_hash = claim.anchor_hash;
    verdict.mode = VerdictMode::rejected(std::string(reason));
    verdict.kind = claim.kind;
    verdicts.push_back(std::move(verdict));
  }
  return verdicts;
}

ValidatorReport validate_claims(std::span<const ProvenanceClaim> claims,
                                std::span<const CorpusPage> pages,
                                const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                                CalendarDate today) {
  return internal::validate_claims(claims, pages, allowlist, budget, today,
                                   internal::ValidatorHooks{});
}

namespace internal {

ValidatorReport validate_claims(std::span<const ProvenanceClaim> claims,
                                std::span<const CorpusPage> pages,
                                const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                                CalendarDate today, const ValidatorHooks& hooks) {
  return run_fail_closed(
      [&] { return run_validation(claims, pages, allowlist, budget, today, hooks); },
      [&](const std::optional<std::string>& panic_text) {
        return fail_closed_result(claims, pages, allowlist, panic_text);
      });
}

}  // namespace internal
}  // namespace fennick::provenance
