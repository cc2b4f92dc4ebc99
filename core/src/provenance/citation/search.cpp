#include "provenance/citation/search.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <utility>

#include "provenance/citation/term_matcher.h"
#include "text/fs.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

std::uint32_t saturate_u32(std::size_t value) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return value > kMax ? kMax : static_cast<std::uint32_t>(value);
}

std::uint32_t pages_searched(const ExtractionOutput& output) {
  return output.pages ? saturate_u32(output.pages->size()) : 1;
}

// Every line of `text`, cut at each "\n": a text ending in "\n" has a last, empty line and an
// empty text is one empty line.
template <class Visit>
void for_each_text_line(std::string_view text, Visit& visit) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    visit(text.substr(start, end - start));
    start = end + 1;
  }
  visit(text.substr(start));
}

// The document's lines numbered as one sequence: its text, or its pages' texts one after the
// other (numbering does not restart at a page); an empty page list has no lines.
template <class Visit>
void for_each_document_line(const ExtractionOutput& output, Visit visit) {
  if (!output.pages) {
    for_each_text_line(output.text, visit);
    return;
  }
  for (const ExtractionPage& page : *output.pages) for_each_text_line(page.text, visit);
}

// The full lower-casing of a document's lines that are not ASCII, in line order.
struct LoweredOthers {
  std::string text;
  std::vector<std::size_t> ends;  // where each line ends in `text`
  std::size_t next = 0;           // the next line to append
};

// Appends the lower-cased line. ASCII is lowered here directly (the full mapping agrees with the
// ASCII one there); any other line's full lower-casing comes from `others`.
void append_lowered_line(std::string& out, std::string_view line, LoweredOthers& others) {
  if (!text::is_ascii(line)) {
    const std::size_t start = others.next == 0 ? 0 : others.ends[others.next - 1];
    out.append(others.text, start, others.ends[others.next] - start);
    ++others.next;
    return;
  }
  for (const char c : line) out.push_back(text::ascii_lower(c));
}

void record_hit(CorpusHits& record, std::string_view line, std::size_t number) {
  if (record.hit_count < std::numeric_limits<std::uint32_t>::max()) ++record.hit_count;
  if (record.hits.size() < kMaxRecordedHits) {
    const std::uint32_t line_number = saturate_u32(number);
    record.hits.push_back(CorpusHit{line, line_number, line_number});
  }
}

bool source_less(std::string_view a, std::string_view b) { return text::path_less(a, b); }

// The first occurrence of `needle` (at least 1 byte) in haystack[0, size), or null. A search
// reads the whole lower-cased corpus once per term, so the scan tests 16 positions at a time for
// the needle's first and last byte and compares the rest only where both match; on requirement
// text that is more than twice as fast as memmem.
const char* find_bytes(const char* haystack, std::size_t size, std::string_view needle) {
  const std::size_t length = needle.size();
  if (size < length) return nullptr;
  if (length == 1) return static_cast<const char*>(std::memchr(haystack, needle[0], size));
  std::size_t pos = 0;
#if defined(__SSE2__)
  constexpr std::size_t kBlock = 16;
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  // Both loads of a block stay inside the haystack; the rest is left to memmem.
  for (; pos + length - 1 + kBlock <= size; pos += kBlock) {
    const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + pos));
    const __m128i ends =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + pos + length - 1));
    auto candidates = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(first, starts), _mm_cmpeq_epi8(last, ends))));
    while (candidates != 0) {
      const char* const start =
          haystack + pos + static_cast<std::size_t>(__builtin_ctz(candidates));
      if (std::memcmp(start + 1, needle.data() + 1, length - 2) == 0) return start;
      candidates &= candidates - 1;
    }
  }
#endif
  return static_cast<const char*>(::memmem(haystack + pos, size - pos, needle.data(), length));
}

constexpr std::array<unsigned char, 256> kAsciiLower = [] {
  std::array<unsigned char, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<unsigned char>(text::ascii_lower(static_cast<char>(i)));
  }
  return table;
}();

// The pass over the corpus for the distinct lower-cased terms of search_corpus_terms: per
// document, every term's matching lines counted once each and the first kMaxRecordedHits kept.
class OnePassSearch {
 public:
  explicit OnePassSearch(const TermMatcher& matcher)
      : matcher_(matcher), tallies_(matcher.pattern_count()), found_(matcher.pattern_count()) {}

  void search_document(const CorpusPage& page, const json::Text& source) {
    std::size_t number = 0;
    for_each_document_line(page.output, [&](std::string_view line) {
      ++number;
      ++line_serial_;
      search_line(line, number);
    });
    if (touched_.empty()) return;
    // The kept lines come in line order, mixed across terms; grouped by term they stay in order.
    const std::uint32_t pages = pages_searched(page.output);
    lists_.resize(touched_.size());
    for (std::size_t slot = 0; slot < touched_.size(); ++slot) {
      lists_[slot] = HitList();
      lists_[slot].reserve(tallies_[touched_[slot]].kept);
    }
    for (const Kept& kept : kept_) {
      lists_[tallies_[kept.pattern].slot].push_back(CorpusHit{kept.line, kept.number, kept.number});
    }
    for (std::size_t slot = 0; slot < touched_.size(); ++slot) {
      Tally& tally = tallies_[touched_[slot]];
      found_[touched_[slot]].push_back(
          CorpusHits{source, std::move(lists_[slot]), pages, tally.count});
      tally.count = 0;
      tally.kept = 0;
    }
    touched_.clear();
    kept_.clear();
  }

  std::vector<std::vector<CorpusHits>> take_found() { return std::move(found_); }

 private:
  struct Tally {
    std::uint64_t last_line = 0;  // line_serial_ of the last line that matched
    std::uint32_t count = 0;      // matching lines in this document, saturating
    std::uint32_t kept = 0;
    std::uint32_t slot = 0;  // position in touched_
  };
  struct Kept {
    std::uint32_t pattern = 0;
    std::uint32_t number = 0;
    std::string_view line;
  };

  // ASCII bytes are lowered on the way into the matcher; at the first other byte the line is
  // lowered whole with the full mapping, whose output begins with the same lowered ASCII prefix,
  // and the walk goes on from there.
  void search_line(std::string_view line, std::size_t number) {
    TermMatcher::State state = TermMatcher::kStart;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto byte = static_cast<unsigned char>(line[i]);
      if (byte >= 0x80) {
        lowered_ = text::to_lower(line);
        for (std::size_t j = i; j < lowered_.size(); ++j) {
          state = matcher_.step(state, static_cast<unsigned char>(lowered_[j]));
          report(state, line, number);
        }
        return;
      }
      state = matcher_.step(state, kAsciiLower[byte]);
      report(state, line, number);
    }
  }

  // Every term ending at `state` matches the line. A term already marked for this line has had
  // the terms on its own suffix chain marked with it, so the walk down the chain stops there.
  void report(TermMatcher::State state, std::string_view line, std::size_t number) {
    for (TermMatcher::State out = matcher_.first_output(state); out != TermMatcher::kNone;
         out = matcher_.next_output(out)) {
      const std::uint32_t pattern = matcher_.pattern_at(out);
      Tally& tally = tallies_[pattern];
      if (tally.last_line == line_serial_) return;
      tally.last_line = line_serial_;
      if (tally.count == 0) {
        tally.slot = static_cast<std::uint32_t>(touched_.size());
        touched_.push_back(pattern);
      }
      if (tally.count < std::numeric_limits<std::uint32_t>::max()) ++tally.count;
      if (tally.kept < kMaxRecordedHits) {
        ++tally.kept;
        kept_.push_back(Kept{pattern, saturate_u32(number), line});
      }
    }
  }

  const TermMatcher& matcher_;
  std::vector<Tally> tallies_;
  std::vector<std::vector<CorpusHits>> found_;
  std::vector<std::uint32_t> touched_;  // terms with a match in this document
  std::vector<Kept> kept_;
  std::vector<HitList> lists_;
  std::string lowered_;
  std::uint64_t line_serial_ = 0;
};

// The length of the longest lower-cased line of the corpus, or `enough` as soon as some line is
// known to reach it. ASCII lines keep their length; another line is lowered only when it could
// beat the longest so far (no character grows more than threefold when lowered).
std::size_t longest_lowered_line(std::span<const CorpusPage> pages, std::size_t enough) {
  std::size_t longest = 0;
  for (const CorpusPage& page : pages) {
    bool done = false;
    for_each_document_line(page.output, [&](std::string_view line) {
      if (done) return;
      if (text::is_ascii(line)) {
        longest = std::max(longest, line.size());
      } else if (line.size() > longest / 3) {
        longest = std::max(longest, text::to_lower(line).size());
      }
      done = longest >= enough;
    });
    if (done) return longest;
  }
  return longest;
}

// A pattern longer than every lower-cased line matches nothing, since the search goes line by
// line: it stays out of the matcher, whose size grows with the patterns' total length.
void drop_unmatchable_patterns(std::span<const CorpusPage> pages,
                               std::vector<std::string>& patterns,
                               std::vector<std::uint32_t>& pattern_of) {
  std::size_t longest_pattern = 0;
  for (const std::string& pattern : patterns) {
    longest_pattern = std::max(longest_pattern, pattern.size());
  }
  const std::size_t longest_line = longest_lowered_line(pages, longest_pattern);
  if (longest_line >= longest_pattern) return;
  constexpr std::uint32_t kGone = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> renumbered(patterns.size(), kGone);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (patterns[i].size() > longest_line) continue;
    renumbered[i] = static_cast<std::uint32_t>(kept);
    if (kept != i) patterns[kept] = std::move(patterns[i]);
    ++kept;
  }
  patterns.resize(kept);
  patterns.shrink_to_fit();
  for (std::uint32_t& pattern : pattern_of) {
    if (pattern != kGone) pattern = renumbered[pattern];
  }
}

}  // namespace

LoweredCorpus::LoweredCorpus(std::span<const CorpusPage> pages) {
  documents_.reserve(pages.size());
  for (const CorpusPage& page : pages) {
    Document document;
    document.source = text::lossy_utf8(page.source);
    document.pages_searched = pages_searched(page.output);
    // Sized once, exactly: lower-casing lengthens some lines ("\u0130" becomes three bytes), so
    // the lines that are not ASCII are lowered first, into a buffer of this document only.
    std::size_t line_count = 0;
    std::size_t bytes = 0;
    LoweredOthers others;
    for_each_document_line(page.output, [&](std::string_view line) {
      ++line_count;
      if (text::is_ascii(line)) {
        bytes += line.size() + 1;
      } else {
        others.text += text::to_lower(line);
        others.ends.push_back(others.text.size());
        ++bytes;
      }
    });
    document.lines.reserve(line_count);
    document.lowered_starts.reserve(line_count);
    document.lowered.reserve(bytes + others.text.size());
    for_each_document_line(page.output, [&](std::string_view line) {
      if (!document.lines.empty()) document.lowered.push_back('\n');
      document.lines.push_back(line);
      document.lowered_starts.push_back(document.lowered.size());
      append_lowered_line(document.lowered, line, others);
    });
    documents_.push_back(std::move(document));
  }
  // Sorting once here puts every search's records in source order without sorting each result.
  std::stable_sort(documents_.begin(), documents_.end(), [](const Document& a, const Document& b) {
    return source_less(a.source, b.source);
  });
}

std::vector<CorpusHits> search_corpus(const LoweredCorpus& corpus, std::string_view term) {
  const std::string needle = text::to_lower(term);
  // No line holds a "\n", so a term holding one matches nothing; the joined text would let it
  // match across a line end.
  if (needle.empty() || needle.find('\n') != std::string::npos) return {};
  std::vector<CorpusHits> results;
  for (const LoweredCorpus::Document& document : corpus.documents_) {
    CorpusHits record;
    const std::string& haystack = document.lowered;
    std::size_t pos = 0;
    while (true) {
      const char* const found = find_bytes(haystack.data() + pos, haystack.size() - pos, needle);
      if (found == nullptr) break;
      const auto offset = static_cast<std::size_t>(found - haystack.data());
      // The line holding the match: the last one starting at or before it.
      const auto next =
          std::upper_bound(document.lowered_starts.begin(), document.lowered_starts.end(), offset);
      const auto index = static_cast<std::size_t>(next - document.lowered_starts.begin()) - 1;
      record_hit(record, document.lines[index], index + 1);
      // A line counts once however often the term occurs in it.
      if (next == document.lowered_starts.end()) break;
      pos = *next;
    }
    if (record.hit_count == 0) continue;
    record.source = document.source;
    record.pages_searched = document.pages_searched;
    results.push_back(std::move(record));
  }
  return results;
}

std::vector<CorpusHits> search_corpus(std::span<const CorpusPage> pages, std::string_view term) {
  const std::string needle = text::to_lower(term);
  if (needle.empty()) return {};
  std::vector<CorpusHits> results;
  for (const CorpusPage& page : pages) {
    CorpusHits record;
    std::size_t number = 0;
    for_each_document_line(page.output, [&](std::string_view line) {
      ++number;
      if (text::to_lower(line).find(needle) != std::string::npos) record_hit(record, line, number);
    });
    if (record.hit_count == 0) continue;
    record.source = text::lossy_utf8(page.source);
    record.pages_searched = pages_searched(page.output);
    results.push_back(std::move(record));
  }
  std::stable_sort(results.begin(), results.end(), [](const CorpusHits& a, const CorpusHits& b) {
    return source_less(a.source, b.source);
  });
  return results;
}

std::vector<std::vector<CorpusHits>> search_corpus_terms(std::span<const CorpusPage> pages,
                                                         std::span<const std::string> terms) {
  std::vector<std::vector<CorpusHits>> results(terms.size());
  // Terms that lower-case alike are searched once.
  constexpr std::uint32_t kNoPattern = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> pattern_of(terms.size(), kNoPattern);
  std::vector<std::string> patterns;
  {
    std::map<std::string, std::uint32_t, std::less<>> ids;
    for (std::size_t i = 0; i < terms.size(); ++i) {
      std::string needle = text::to_lower(terms[i]);
      // No line holds a "\n", so a term holding one matches nothing.
      if (needle.empty() || needle.find('\n') != std::string::npos) continue;
      const auto id = static_cast<std::uint32_t>(patterns.size());
      const auto [it, added] = ids.emplace(needle, id);
      if (added) patterns.push_back(std::move(needle));
      pattern_of[i] = it->second;
    }
  }
  drop_unmatchable_patterns(pages, patterns, pattern_of);
  if (patterns.empty()) return results;

  // One shared name per document, whatever number of records refer to it.
  std::vector<json::Text> sources;
  sources.reserve(pages.size());
  std::vector<std::size_t> order(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    sources.push_back(text::lossy_utf8(pages[i].source));
    order[i] = i;
  }
  // Searched in source order, every term's records come out in that order.
  std::stable_sort(order.begin(), order.end(), [&sources](std::size_t a, std::size_t b) {
    return source_less(sources[a], sources[b]);
  });

  const TermMatcher matcher(patterns);
  OnePassSearch search(matcher);
  for (const std::size_t i : order) search.search_document(pages[i], sources[i]);
  std::vector<std::vector<CorpusHits>> found = search.take_found();
  std::vector<std::uint32_t> users(patterns.size(), 0);
  for (const std::uint32_t pattern : pattern_of) {
    if (pattern != kNoPattern) ++users[pattern];
  }
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const std::uint32_t pattern = pattern_of[i];
    if (pattern == kNoPattern) continue;
    // The records share their hit lines, so a copy for a second term is cheap.
    results[i] = --users[pattern] == 0 ? std::move(found[pattern]) : found[pattern];
  }
  return results;
}

}  // namespace fennick::provenance
