#include "provenance/validator/audit.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "provenance/validator/internal.h"
#include "text/fs.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

struct ResolvedCorpus {
  std::vector<CorpusPage> pages;
  CorpusSource source = CorpusSource::kEmpty;
};

// A failed listing and an empty one both count as "yielded nothing".
std::vector<CorpusPage> pages_or_none(fennick::Result<std::vector<CorpusPage>> loaded) {
  if (!loaded.ok()) return {};
  return std::move(loaded).value();
}

ResolvedCorpus resolve_corpus(const std::string& project_dir,
                              const std::optional<std::string>& corpus_dir,
                              const internal::AuditHooks& hooks) {
  if (corpus_dir) {
    // A named directory is always the corpus, whichever loader serves it and whatever it holds.
    std::vector<CorpusPage> pages = pages_or_none(hooks.load_typed(*corpus_dir));
    if (pages.empty()) pages = pages_or_none(hooks.load_legacy(*corpus_dir));
    return {std::move(pages), CorpusSource::kOverride};
  }
  const std::string typed_dir = text::join_path(project_dir, ".artifacts/corpus");
  if (text::is_directory(typed_dir)) {
    std::vector<CorpusPage> pages = pages_or_none(hooks.load_typed(typed_dir));
    if (!pages.empty()) return {std::move(pages), CorpusSource::kTypedArtifactStore};
  }
  const std::string legacy_dir = text::join_path(project_dir, ".artifacts/extracted");
  if (text::is_directory(legacy_dir)) {
    std::vector<CorpusPage> pages = pages_or_none(hooks.load_legacy(legacy_dir));
    if (!pages.empty()) return {std::move(pages), CorpusSource::kLegacyTxt};
  }
  return {};
}

// Sorted by path; of pages sharing a path the first one stays.
void order_pages(std::vector<CorpusPage>& pages) {
  std::stable_sort(pages.begin(), pages.end(), [](const CorpusPage& a, const CorpusPage& b) {
    return text::path_less(a.source, b.source);
  });
  const auto last =
      std::unique(pages.begin(), pages.end(),
                  [](const CorpusPage& a, const CorpusPage& b) { return a.source == b.source; });
  pages.erase(last, pages.end());
}

std::string project_name(const std::string& project_dir) {
  const std::optional<std::string_view> name = text::file_name(project_dir);
  return name ? text::lossy_utf8(*name) : std::string();
}

ProvenanceAuditResult run_audit(const std::string& project_dir,
                                const std::optional<std::string>& corpus_dir,
                                const internal::AuditHooks& hooks) {
  BrdLookup brd = hooks.find_brd(project_dir);
  const ClaimExtraction extraction = hooks.extract_claims(brd.text);
  // The claims hold copies of what they took from the text, which is not needed past this point.
  std::string().swap(brd.text);

  ResolvedCorpus corpus = resolve_corpus(project_dir, corpus_dir, hooks);
  order_pages(corpus.pages);

  const std::string name = project_name(project_dir);
  std::string spaced_name = name;
  std::replace(spaced_name.begin(), spaced_name.end(), '-', ' ');
  // The allowlist reads the loaded records in place.
  const EffectiveAllowlist allowlist = [&] {
    std::vector<std::reference_wrapper<const ExtractionOutput>> documents;
    documents.reserve(corpus.pages.size());
    for (const CorpusPage& page : corpus.pages) documents.emplace_back(page.output);
    AllowlistInputs inputs;
    inputs.documents = documents;
    inputs.project_strings = {spaced_name, name, std::string_view()};
    inputs.threshold = 1;
    return hooks.build_allowlist(inputs);
  }();

  const CalendarDate today = hooks.today();
  ProvenanceAuditResult result;
  result.report = internal::validate_claims(extraction.claims, corpus.pages, allowlist,
                                            AssumptionBudget{10, 0}, today, hooks.validator);
  result.brd_path = brd.path;
  result.unparsed_inline_count = extraction.unparsed_inline_count;
  result.synthesized_corpus = corpus.source == CorpusSource::kLegacyTxt;
  result.brd_not_found = !brd.path.has_value();
  result.corpus_empty = corpus.pages.empty();
  result.corpus_source = corpus.source;
  result.brd_unreadable = brd.unreadable;
  return result;
}

// The result of a fault in the driver itself: nothing it computed is trusted, so the report is
// built over no claims, no pages and the embedded allowlist alone.
ProvenanceAuditResult driver_fail_closed(const std::optional<std::string>& panic_text) {
  AllowlistInputs inputs;
  inputs.project_strings = {std::string_view(), std::string_view(), std::string_view()};
  inputs.threshold = 1;
  const EffectiveAllowlist embedded_only = build_effective_allowlist(inputs);
  ProvenanceAuditResult result;
  result.report = fail_closed_result({}, {}, embedded_only, panic_text);
  result.corpus_empty = true;
  result.corpus_source = CorpusSource::kEmpty;
  return result;
}

}  // namespace

std::string_view corpus_source_name(CorpusSource source) {
  switch (source) {
    case CorpusSource::kTypedArtifactStore:
      return "TypedArtifactStore";
    case CorpusSource::kLegacyTxt:
      return "LegacyTxt";
    case CorpusSource::kOverride:
      return "Override";
    case CorpusSource::kEmpty:
      return "Empty";
  }
  return "Empty";
}

ProvenanceAuditResult verify_provenance(const std::string& project_dir,
                                        const std::optional<std::string>& corpus_dir) {
  return internal::verify_provenance(project_dir, corpus_dir, internal::AuditHooks{});
}

ValidatorReport fail_closed_result(std::span<const ProvenanceClaim> claims,
                                   std::span<const CorpusPage> pages,
                                   const EffectiveAllowlist& allowlist,
                                   const std::optional<std::string>& panic_text) {
  std::string message = panic_text ? *panic_text : std::string(kNonStringPanicPayload);
  const std::string reason = std::string(kPanicReasonPrefix) + message;

  ValidatorReport report;
  if (!claims.empty()) {
    report.verdicts = reject_all_claims(claims, reason);
  } else {
    ClaimVerdict synthetic;
    synthetic.id = "VALIDATOR-PANIC";
    synthetic.mode = VerdictMode::rejected(reason);
    synthetic.kind = RequirementKind::kBr;
    report.verdicts.push_back(std::move(synthetic));
  }
  report.extracted_corpus_hash = corpus_listing_digest(pages);
  report.allowlist_version_hash = allowlist.digest;
  report.validator_panic = std::move(message);
  const std::size_t count = report.verdicts.size();
  report.total = count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count);
  report.rejected = report.total;
  return report;
}

namespace internal {

CalendarDate current_utc_date() {
  const std::chrono::year_month_day ymd{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
  return CalendarDate{static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day())};
}

ProvenanceAuditResult verify_provenance(const std::string& project_dir,
                                        const std::optional<std::string>& corpus_dir,
                                        const AuditHooks& hooks) {
  return run_fail_closed([&] { return run_audit(project_dir, corpus_dir, hooks); },
                         driver_fail_closed);
}

}  // namespace internal
}  // namespace fennick::provenance
