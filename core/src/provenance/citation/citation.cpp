#include "provenance/citation/citation.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "provenance/tokens.h"

namespace fennick::provenance {
namespace {

struct CitedText {
  std::uint32_t line_count = 0;
  std::optional<std::string_view> quote;  // none when the range is invalid
};

// Lines are the pieces between "\n" characters, so the count is their number plus one.
CitedText cite(std::string_view text, const Citation& citation) {
  const auto newlines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  // A text of 2^32 lines or more is beyond what a 32-bit line number addresses; saturating keeps
  // every range valid for the lines that can be named.
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  CitedText cited;
  cited.line_count = newlines >= kMax ? kMax : static_cast<std::uint32_t>(newlines + 1);
  if (citation.line_start < 1 || citation.line_start > citation.line_end ||
      citation.line_end > cited.line_count) {
    return cited;
  }
  // The joined lines are the text from the first cited line's start to the last one's end.
  std::size_t begin = 0;
  for (std::uint32_t line = 1; line < citation.line_start; ++line) {
    begin = text.find('\n', begin) + 1;
  }
  std::size_t end = begin;
  for (std::uint32_t line = citation.line_start;; ++line) {
    const std::size_t newline = text.find('\n', end);
    if (newline == std::string_view::npos) {
      end = text.size();
      break;
    }
    if (line == citation.line_end) {
      end = newline;
      break;
    }
    end = newline + 1;
  }
  cited.quote = text.substr(begin, end - begin);
  return cited;
}

}  // namespace

std::optional<std::string> resolve_citation_quote(std::span<const CorpusPage> pages,
                                                  const Citation& citation) {
  const CorpusPage* page = find_corpus_page(pages, citation.source);
  if (page == nullptr) return std::nullopt;
  const CitedText cited = cite(page->output.text, citation);
  if (!cited.quote) return std::nullopt;
  return std::string(*cited.quote);
}

QuoteCheck check_quote_hash(std::span<const CorpusPage> pages, const Citation& citation) {
  const CorpusPage* page = find_corpus_page(pages, citation.source);
  if (page == nullptr) return QuoteCheck{QuoteCheck::SourceMissing{}};
  const CitedText cited = cite(page->output.text, citation);
  if (!cited.quote) {
    return QuoteCheck{QuoteCheck::LineRangeOutOfBounds{citation.source, citation.line_start,
                                                       citation.line_end, cited.line_count}};
  }
  std::string computed = quote_hash(*cited.quote);
  if (computed == citation.quote_hash) return QuoteCheck{QuoteCheck::Ok{}};
  return QuoteCheck{QuoteCheck::Mismatch{citation.quote_hash, std::move(computed)}};
}

}  // namespace fennick::provenance
