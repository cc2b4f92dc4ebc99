#include "provenance/validator/validator.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
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
  lowered_quotes.reserve(claim.citations().size());
  for (const Citation& citation : claim.citations()) {
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

// Per claim, whether its anchor key is shared with another claim. A key that equals the stored
// anchor hash (the usual case) is not kept apart from it; only differing keys are stored, with the
// index of their claim, in claim order.
struct AnchorKeys {
  std::vector<bool> differs;
  std::vector<std::pair<std::uint32_t, std::string>> differing;
  std::vector<bool> duplicate;

  bool mismatch(std::size_t i) const { return differs[i]; }
  const std::string& differing_key(std::size_t i) const {
    const auto found = std::lower_bound(differing.begin(), differing.end(), i,
                                        [](const std::pair<std::uint32_t, std::string>& entry,
                                           std::size_t claim) { return entry.first < claim; });
    return found->second;
  }
};

AnchorKeys compute_anchor_keys(std::span<const ProvenanceClaim> claims,
                               const internal::ValidatorHooks& hooks) {
  AnchorKeys keys;
  keys.differs.assign(claims.size(), false);
  for (std::size_t i = 0; i < claims.size(); ++i) {
    std::string key = hooks.anchor_key(claims[i].text);
    if (claims[i].anchor_hash != key) {
      keys.differs[i] = true;
      keys.differing.emplace_back(static_cast<std::uint32_t>(i), std::move(key));
    }
  }
  const auto key_of = [&](std::size_t i) -> std::string_view {
    return keys.mismatch(i) ? std::string_view(keys.differing_key(i))
                            : claims[i].anchor_hash.view();
  };
  // Claims ordered by key: equal keys stand side by side.
  std::vector<std::uint32_t> order(claims.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return key_of(a) < key_of(b); });
  keys.duplicate.assign(claims.size(), false);
  for (std::size_t run = 0; run < order.size();) {
    std::size_t next = run + 1;
    while (next < order.size() && key_of(order[next]) == key_of(order[run])) ++next;
    if (next - run >= 2) {
      for (std::size_t k = run; k < next; ++k) keys.duplicate[order[k]] = true;
    }
    run = next;
  }
  return keys;
}

// Where a searched candidate sits: verdicts[claim].entity_candidates()[index].
struct CandidateUse {
  std::uint32_t claim = 0;
  std::uint32_t index = 0;
  std::uint32_t term = 0;  // its position among the distinct terms
};

ValidatorReport run_validation(std::span<const ProvenanceClaim> claims,
                               std::span<const CorpusPage> pages,
                               const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                               CalendarDate today, const internal::ValidatorHooks& hooks) {
  constexpr std::uint32_t kMaxClaims = std::numeric_limits<std::uint32_t>::max() - 1;
  if (claims.size() > kMaxClaims) throw std::length_error("too many claims");
  const AnchorKeys keys = compute_anchor_keys(claims, hooks);
  const auto anchored = [&](std::size_t i) { return !keys.mismatch(i) && !keys.duplicate[i]; };

  // A claim's candidates do not depend on any search result: they are all found first, and every
  // distinct candidate of a claim that goes to the corpus is searched in one pass for all.
  ValidatorReport report;
  report.verdicts.resize(claims.size());
  std::vector<CandidateUse> uses;
  for (std::size_t i = 0; i < claims.size(); ++i) {
    ClaimVerdict& verdict = report.verdicts[i];
    verdict.id = claims[i].id;
    verdict.kind = claims[i].kind;
    std::vector<std::string> found = hooks.find_entities(claims[i].text, allowlist);
    const std::size_t found_count = found.size();
    // A verdict without candidates keeps its lists unboxed.
    if (found_count > 0) verdict.entity_candidates() = std::move(found);
    if (!anchored(i)) continue;
    for (std::size_t j = 0; j < found_count; ++j) {
      uses.push_back(CandidateUse{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), 0});
    }
  }
  const auto candidate = [&](const CandidateUse& use) -> std::string& {
    return report.verdicts[use.claim].entity_candidates()[use.index];
  };
  // The distinct terms are moved out of the first verdict naming each and back after the search:
  // a candidate can be as long as the BRD, and the terms are not a second copy of them.
  std::vector<std::uint32_t> by_term(uses.size());
  for (std::size_t k = 0; k < by_term.size(); ++k) by_term[k] = static_cast<std::uint32_t>(k);
  std::stable_sort(by_term.begin(), by_term.end(), [&](std::uint32_t a, std::uint32_t b) {
    return candidate(uses[a]) < candidate(uses[b]);
  });
  std::vector<std::string> terms;
  std::vector<std::uint32_t> owner;  // per term, the use its string was moved from
  for (std::size_t k = 0; k < by_term.size(); ++k) {
    CandidateUse& use = uses[by_term[k]];
    if (terms.empty() || candidate(use) != terms.back()) {
      terms.push_back(std::move(candidate(use)));
      owner.push_back(by_term[k]);
    }
    use.term = static_cast<std::uint32_t>(terms.size() - 1);
  }
  std::vector<std::uint32_t>().swap(by_term);
  // The search lower-cases a term first, so candidates that lower-case alike ("ACME", "Acme")
  // find the same records: the first of them is searched for all, and its records are held once
  // instead of once per spelling.
  std::vector<std::uint32_t> searched_as(terms.size());
  std::vector<std::string> searched;
  std::vector<std::uint32_t> searched_from;  // per searched term, the term it was moved from
  {
    std::map<std::string, std::uint32_t, std::less<>> first_spelling;
    for (std::size_t t = 0; t < terms.size(); ++t) {
      const auto [at, added] = first_spelling.emplace(text::to_lower(terms[t]),
                                                      static_cast<std::uint32_t>(searched.size()));
      if (added) {
        searched.push_back(std::move(terms[t]));
        searched_from.push_back(static_cast<std::uint32_t>(t));
      }
      searched_as[t] = at->second;
    }
  }
  std::vector<std::vector<CorpusHits>> term_hits;
  if (!searched.empty()) term_hits = hooks.search(pages, searched);
  for (std::size_t s = 0; s < searched.size(); ++s) {
    terms[searched_from[s]] = std::move(searched[s]);
  }
  std::vector<std::string>().swap(searched);
  std::vector<std::uint32_t>().swap(searched_from);
  for (std::size_t t = 0; t < terms.size(); ++t) candidate(uses[owner[t]]) = std::move(terms[t]);
  std::vector<std::string>().swap(terms);
  std::vector<std::uint32_t>().swap(owner);
  // The last claim that reads a term's records takes them over, so that a record is held once,
  // not once in the search results and again in every verdict.
  std::vector<std::uint32_t> readers(term_hits.size(), 0);
  for (const CandidateUse& use : uses) ++readers.at(searched_as.at(use.term));

  AssumptionLedger ledger(budget, today);

  // Built once and copied: the copies share the reason's bytes.
  const VerdictMode kMismatch = VerdictMode::rejected("anchor_hash_mismatch");
  const VerdictMode kDuplicate = VerdictMode::rejected("duplicate_anchor");
  const VerdictMode kUnbound = VerdictMode::rejected("citation_unbound");
  const VerdictMode kNoCitation = VerdictMode::rejected("no_citation_for_external_entity");
  std::size_t next_use = 0;
  for (std::size_t i = 0; i < claims.size(); ++i) {
    const ProvenanceClaim& claim = claims[i];
    ClaimVerdict& verdict = report.verdicts[i];
    const std::vector<std::string>& candidates = std::as_const(verdict).entity_candidates();
    const bool has_candidates = !candidates.empty();

    // Anchor faults are judged on the recomputed key, which is what the verdict shows.
    const bool mismatch = keys.mismatch(i);
    if (mismatch || keys.duplicate[i]) {
      verdict.anchor_hash = mismatch ? json::Text(keys.differing_key(i)) : claim.anchor_hash;
      verdict.mode = mismatch ? kMismatch : kDuplicate;
      verdict.names_external_entity = has_candidates;
      continue;
    }

    verdict.anchor_hash = claim.anchor_hash;
    if (!has_candidates) {
      verdict.mode =
          claim.assumption() ? ledger.decide(*claim.assumption()) : VerdictMode::derived();
      continue;
    }

    std::uint64_t total_hits = 0;
    std::size_t record_count = 0;
    for (std::size_t j = 0; j < candidates.size(); ++j) {
      record_count += term_hits.at(searched_as.at(uses.at(next_use + j).term)).size();
    }
    std::vector<CorpusHits> summary;
    summary.reserve(record_count);
    for (std::size_t j = 0; j < candidates.size(); ++j, ++next_use) {
      const std::uint32_t term = searched_as.at(uses.at(next_use).term);
      std::vector<CorpusHits>& records = term_hits.at(term);
      const bool last_reader = --readers.at(term) == 0;
      for (CorpusHits& hits : records) {
        total_hits += hits.hit_count;
        if (last_reader) {
          summary.push_back(std::move(hits));
        } else {
          summary.push_back(hits);
        }
      }
      if (last_reader) std::vector<CorpusHits>().swap(records);
    }
    std::stable_sort(summary.begin(), summary.end(), [](const CorpusHits& a, const CorpusHits& b) {
      return text::path_less(a.source, b.source);
    });
    verdict.corpus_search_summary() = std::move(summary);
    verdict.names_external_entity = true;

    if (claim.assumption()) {
      verdict.mode = ledger.decide(*claim.assumption());
    } else if (claim.citations().empty()) {
      verdict.mode = total_hits > 0 ? kUnbound : kNoCitation;
    } else {
      verdict.mode = judge_citations(pages, claim, candidates);
    }
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
  const VerdictMode rejected = VerdictMode::rejected(std::string(reason));
  for (const ProvenanceClaim& claim : claims) {
    ClaimVerdict verdict;
    verdict.id = claim.id;
    verdict.anchor_hash = claim.anchor_hash;
    verdict.mode = rejected;
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
