#pragma once
// Internals shared by the audit driver, the validator and their tests: the one catch-all guard
// that turns a fault into a fail-closed result, and the collaborator seams through which tests
// inject faults. The public entry points always run with the production collaborators below.

#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provenance/allowlist/allowlist.h"
#include "provenance/citation/search.h"
#include "provenance/claim_types.h"
#include "provenance/corpus.h"
#include "provenance/tokens.h"
#include "provenance/validator/audit.h"
#include "provenance/validator/brd.h"
#include "provenance/validator/validator.h"
#include "result.h"

namespace fennick::provenance::internal {

// Runs `body`; when anything escapes it, returns `on_panic(text)` instead, where `text` is the
// fault's message when it carried one (a std::exception's what(), a thrown std::string or C
// string) and none for any other thrown value. The audit driver and the validator are the only
// users: these are the two places where the audit fails closed instead of ending the process.
template <class Body, class OnPanic>
auto run_fail_closed(Body&& body, OnPanic&& on_panic) -> decltype(body()) {
  std::optional<std::string> text;
  try {
    return body();
  } catch (const std::exception& e) {
    text = std::string(e.what());
  } catch (const std::string& s) {
    text = s;
  } catch (const char* s) {
    text = std::string(s != nullptr ? s : "");
  } catch (...) {
    text.reset();
  }
  return on_panic(text);
}

struct ValidatorHooks {
  std::function<std::string(std::string_view)> anchor_key = [](std::string_view text) {
    return token_fingerprint(text);
  };
  std::function<std::vector<std::string>(std::string_view, const EffectiveAllowlist&)>
      find_entities = [](std::string_view text, const EffectiveAllowlist& allowlist) {
        return find_external_entities(text, allowlist, looks_like_entity);
      };
  // Element i holds the records of terms[i].
  std::function<std::vector<std::vector<CorpusHits>>(std::span<const CorpusPage>,
                                                     std::span<const std::string>)>
      search = [](std::span<const CorpusPage> pages, std::span<const std::string> terms) {
        return search_corpus_terms(pages, terms);
      };
};

ValidatorReport validate_claims(std::span<const ProvenanceClaim> claims,
                                std::span<const CorpusPage> pages,
                                const EffectiveAllowlist& allowlist, AssumptionBudget budget,
                                CalendarDate today, const ValidatorHooks& hooks);

// Today's calendar date in UTC.
CalendarDate current_utc_date();

using CorpusLoader = std::function<fennick::Result<std::vector<CorpusPage>>(const std::string&)>;

struct AuditHooks {
  std::function<BrdLookup(const std::string&)> find_brd = [](const std::string& project) {
    return provenance::find_brd(project);
  };
  std::function<ClaimExtraction(std::string_view)> extract_claims = [](std::string_view text) {
    return provenance::extract_claims(text);
  };
  CorpusLoader load_typed = [](const std::string& dir) { return load_typed_artifact_store(dir); };
  CorpusLoader load_legacy = [](const std::string& dir) { return load_legacy_txt_corpus(dir); };
  // Only the audit's own allowlist goes through here; the fail-closed path always builds the
  // embedded list directly.
  std::function<EffectiveAllowlist(const AllowlistInputs&)> build_allowlist =
      [](const AllowlistInputs& inputs) { return build_effective_allowlist(inputs); };
  std::function<CalendarDate()> today = [] { return current_utc_date(); };
  ValidatorHooks validator;
};

ProvenanceAuditResult verify_provenance(const std::string& project_dir,
                                        const std::optional<std::string>& corpus_dir,
                                        const AuditHooks& hooks);

}  // namespace fennick::provenance::internal
