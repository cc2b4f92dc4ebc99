#pragma once
// The provenance audit driver: finds the BRD, extracts its claims, resolves and loads the corpus,
// builds the allowlist and runs the validator, all under a fail-closed guard, so that a fault
// yields an all-rejected result instead of ending the process.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "provenance/allowlist/allowlist.h"
#include "provenance/corpus.h"
#include "provenance/validator/brd.h"
#include "provenance/validator/validator.h"

namespace fennick::provenance {

// Where the corpus pages came from.
enum class CorpusSource : std::uint8_t {
  kTypedArtifactStore,  // ".artifacts/corpus" under the project supplied a page
  kLegacyTxt,           // ".artifacts/extracted" under the project supplied a page
  kOverride,            // the caller named the corpus directory, whatever it yielded
  kEmpty,               // no page at all; also the driver's fail-closed value
};

// "TypedArtifactStore", "LegacyTxt", "Override", "Empty".
std::string_view corpus_source_name(CorpusSource source);

struct ProvenanceAuditResult {
  ValidatorReport report;
  std::optional<std::string> brd_path;  // absent when no BRD was found
  std::uint32_t unparsed_inline_count = 0;
  bool synthesized_corpus = false;  // the project's legacy text directory served the pages
  bool brd_not_found = false;
  bool corpus_empty = false;
  CorpusSource corpus_source = CorpusSource::kEmpty;
  // The BRD at brd_path could not be read as UTF-8 text: it gave no claims, so nothing was
  // verified although a BRD was found.
  bool brd_unreadable = false;

  bool operator==(const ProvenanceAuditResult&) const = default;
};

// Never throws; every missing or unreadable input becomes a fact of the result.
ProvenanceAuditResult verify_provenance(const std::string& project_dir,
                                        const std::optional<std::string>& corpus_dir);

inline constexpr std::string_view kNonStringPanicPayload = "<non-string panic payload>";
inline constexpr std::string_view kPanicReasonPrefix = "qg13_validator_panic: ";

// The all-rejected report of a fault. `panic_text` is the fault's message when it carried text,
// none otherwise (shown as "<non-string panic payload>"). Without claims the report holds one
// synthetic "VALIDATOR-PANIC" verdict.
ValidatorReport fail_closed_result(std::span<const ProvenanceClaim> claims,
                                   std::span<const CorpusPage> pages,
                                   const EffectiveAllowlist& allowlist,
                                   const std::optional<std::string>& panic_text);

}  // namespace fennick::provenance
