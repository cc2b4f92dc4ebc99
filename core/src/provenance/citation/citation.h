#pragma once
// Citations of the corpus: the quoted lines of a cited range and the check of a citation's stored
// quote hash against them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "provenance/claim_types.h"
#include "provenance/corpus.h"

namespace fennick::provenance {

// Outcome of check_quote_hash; the alternatives are in the order the validator ranks them.
struct QuoteCheck {
  // The cited lines exist and their quote hash equals the stored one.
  struct Ok {
    bool operator==(const Ok&) const = default;
  };
  struct Mismatch {
    std::string expected;  // the citation's stored hash
    std::string computed;  // the quote hash of the cited lines
    bool operator==(const Mismatch&) const = default;
  };
  struct LineRangeOutOfBounds {
    std::string source;  // the citation's source
    std::uint32_t line_start = 0;
    std::uint32_t line_end = 0;
    std::uint32_t line_count = 0;  // lines of the document's text
    bool operator==(const LineRangeOutOfBounds&) const = default;
  };
  // No corpus document has the citation's source path.
  struct SourceMissing {
    bool operator==(const SourceMissing&) const = default;
  };

  std::variant<Ok, Mismatch, LineRangeOutOfBounds, SourceMissing> value;

  bool ok() const { return std::holds_alternative<Ok>(value); }
  bool operator==(const QuoteCheck&) const = default;
};

// Lines line_start through line_end (1-based, inclusive) of the cited document's whole text (not
// its pages), joined by "\n"; none when the document is missing or the range is not within
// 1..number of lines.
std::optional<std::string> resolve_citation_quote(std::span<const CorpusPage> pages,
                                                  const Citation& citation);

// Compares the citation's quote_hash byte for byte with the quote hash of the cited lines.
QuoteCheck check_quote_hash(std::span<const CorpusPage> pages, const Citation& citation);

}  // namespace fennick::provenance
