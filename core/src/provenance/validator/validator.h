#pragma once
// The claim validator: re-derives every claim's anchor hash, rejects colliding anchors, and
// classifies each claim as derived, assumption or rejected (with a reason) against the corpus and
// the effective allowlist. A fault anywhere inside turns into an all-rejected report.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/boxed.h"
#include "json/text.h"
#include "provenance/allowlist/allowlist.h"
#include "provenance/citation/search.h"
#include "provenance/claim_types.h"
#include "provenance/corpus.h"
#include "provenance/validator/brd.h"

namespace fennick::provenance {

// Tags of VerdictMode in the order the report counts them. derivedWeak and assumptionOrphaned are
// never produced by the validator but stay part of the vocabulary of the report.
enum class VerdictTag : std::uint8_t {
  kDerived,
  kDerivedWeak,
  kAssumption,
  kAssumptionOrphaned,
  kRejected,
};

// "derived", "derivedWeak", "assumption", "assumptionOrphaned", "rejected".
std::string_view verdict_tag_name(VerdictTag tag);

// A rejection reason. Shared: the verdicts rejected for the same reason hold one copy of it.
// Set only explicitly, so that it never stands in for a std::string by accident.
class VerdictReason {
 public:
  VerdictReason() = default;
  explicit VerdictReason(std::string text)
      : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}

  std::string_view view() const { return text_ ? std::string_view(*text_) : std::string_view(); }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }
  bool empty() const { return view().empty(); }
  std::size_t size() const { return view().size(); }

  friend bool operator==(const VerdictReason& a, const VerdictReason& b) {
    return a.view() == b.view();
  }
  friend bool operator==(const VerdictReason& a, std::string_view b) { return a.view() == b; }

 private:
  std::shared_ptr<const std::string> text_;  // none when empty
};

struct VerdictMode {
  VerdictTag tag = VerdictTag::kDerived;
  VerdictReason reason;  // the rejection reason; empty for every other tag

  static VerdictMode derived() { return {VerdictTag::kDerived, {}}; }
  static VerdictMode assumption() { return {VerdictTag::kAssumption, {}}; }
  static VerdictMode rejected(std::string why) {
    return {VerdictTag::kRejected, VerdictReason(std::move(why))};
  }

  bool is_rejected() const { return tag == VerdictTag::kRejected; }
  bool operator==(const VerdictMode&) const = default;
};

// The lists of a verdict, empty for every claim that names no external entity.
struct VerdictLists {
  std::vector<std::string> entity_candidates;     // ascending and distinct, case as written
  std::vector<CorpusHits> corpus_search_summary;  // sorted by source path

  bool operator==(const VerdictLists&) const = default;
};

// The id and anchor hash share the claim's block (see ProvenanceClaim). The lists cost one
// pointer until one of them is reached through its non-const accessor.
struct ClaimVerdict {
  json::Text id;
  json::Text anchor_hash;
  json::Boxed<VerdictLists> lists;
  VerdictMode mode;
  bool names_external_entity = false;
  RequirementKind kind = RequirementKind::kBr;

  const std::vector<std::string>& entity_candidates() const {
    return lists_or_none().entity_candidates;
  }
  std::vector<std::string>& entity_candidates() { return made_lists().entity_candidates; }
  const std::vector<CorpusHits>& corpus_search_summary() const {
    return lists_or_none().corpus_search_summary;
  }
  std::vector<CorpusHits>& corpus_search_summary() { return made_lists().corpus_search_summary; }

  // An empty box equals no box.
  friend bool operator==(const ClaimVerdict& a, const ClaimVerdict& b) {
    return a.id == b.id && a.anchor_hash == b.anchor_hash &&
           a.lists_or_none() == b.lists_or_none() && a.mode == b.mode &&
           a.names_external_entity == b.names_external_entity && a.kind == b.kind;
  }

 private:
  const VerdictLists& lists_or_none() const {
    static const VerdictLists kNone;
    return lists ? *lists : kNone;
  }
  VerdictLists& made_lists() { return lists ? *lists : lists.emplace(); }
};

inline constexpr std::string_view kSchemaVersion = "1.0.0";
inline constexpr std::string_view kProvenanceSchemaVersion = "1.0.0";
inline constexpr std::string_view kValidatorVersion = "0.4.0";

struct ValidatorReport {
  std::string schema_version{kSchemaVersion};
  std::string provenance_schema_version{kProvenanceSchemaVersion};
  std::string validator_version{kValidatorVersion};
  std::string extracted_corpus_hash;   // corpus_listing_digest of the pages validated against
  std::string allowlist_version_hash;  // the allowlist's digest
  std::vector<ClaimVerdict> verdicts;  // one per claim, in claim order
  std::optional<std::string> validator_panic;  // set only when a guard fired
  std::uint32_t total = 0;
  std::uint32_t derived = 0;
  std::uint32_t derived_weak = 0;
  std::uint32_t assumption = 0;
  std::uint32_t assumption_orphaned = 0;
  std::uint32_t rejected = 0;
  std::uint32_t assumption_budget_used = 0;  // incoming used plus this run's assumptions

  bool operator==(const ValidatorReport&) const = default;
};

struct AssumptionBudget {
  std::uint32_t limit = 0;
  std::uint32_t used = 0;  // units spent before this run
};

// Never throws: any fault inside yields fail_closed_result over the same claims, pages and
// allowlist.
ValidatorReport validate_claims(std::span<const ProvenanceClaim> claims,
                                std::span<const CorpusPage> pages,
                                const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                                CalendarDate today);

// token_fingerprint of each claim's text, in claim order.
std::vector<std::string> anchor_keys(std::span<const ProvenanceClaim> claims);

// One rejected verdict per claim carrying `reason`, with the claim's stored anchor hash and no
// candidates or search records.
std::vector<ClaimVerdict> reject_all_claims(std::span<const ProvenanceClaim> claims,
                                            std::string_view reason);

}  // namespace fennick::provenance
