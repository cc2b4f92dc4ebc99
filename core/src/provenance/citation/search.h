#pragma once
// Case-insensitive, line-by-line search of the corpus documents for terms, with per-document
// hit records. The validator searches all of an audit's entity candidates in one pass over the
// corpus (search_corpus_terms); the per-term searches give the same records one term at a time.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/text.h"
#include "provenance/corpus.h"

namespace fennick::provenance {

// Matching lines kept per document; every further match is still counted.
inline constexpr std::size_t kMaxRecordedHits = 100;

// A hit line refers into the searched document, which must outlive it: a frequent term's hit
// lines would otherwise be copied for every term and every claim.
struct CorpusHit {
  std::string_view line;         // as written: letter case unchanged, a final "\r" kept
  std::uint32_t line_start = 0;  // 1-based
  std::uint32_t line_end = 0;    // equal to line_start: a hit covers one line

  bool operator==(const CorpusHit&) const = default;
};

// The recorded hits of one document, filled by the search and read-only afterwards. Copies share
// the lines: the validator hands the same search result to every claim that names the same
// candidate, and a frequent term's hit lines run to megabytes.
class HitList {
 public:
  HitList() = default;
  HitList(std::initializer_list<CorpusHit> hits)
      : hits_(std::make_shared<std::vector<CorpusHit>>(hits)) {}

  // While the search builds the list, before it is copied anywhere.
  void reserve(std::size_t count) {
    if (!hits_) hits_ = std::make_shared<std::vector<CorpusHit>>();
    hits_->reserve(count);
  }
  void push_back(CorpusHit hit) {
    if (!hits_) hits_ = std::make_shared<std::vector<CorpusHit>>();
    hits_->push_back(std::move(hit));
  }

  std::size_t size() const { return hits_ ? hits_->size() : 0; }
  bool empty() const { return size() == 0; }
  const CorpusHit& operator[](std::size_t i) const { return (*hits_)[i]; }
  const CorpusHit& at(std::size_t i) const { return all().at(i); }
  const CorpusHit& front() const { return all().front(); }
  const CorpusHit& back() const { return all().back(); }
  std::vector<CorpusHit>::const_iterator begin() const { return all().begin(); }
  std::vector<CorpusHit>::const_iterator end() const { return all().end(); }

  friend bool operator==(const HitList& a, const HitList& b) { return a.all() == b.all(); }

 private:
  const std::vector<CorpusHit>& all() const {
    static const std::vector<CorpusHit> kNone;
    return hits_ ? *hits_ : kNone;
  }
  std::shared_ptr<std::vector<CorpusHit>> hits_;
};

// The hits of one document; only documents with at least one matching line get a record. The
// source name is held once per document and shared by every record of it: an audit keeps a record
// per candidate and document, and a path copied into each would outweigh the corpus many times.
struct CorpusHits {
  json::Text source;                 // the document's source name, invalid UTF-8 shown as U+FFFD
  HitList hits;                      // the first kMaxRecordedHits matching lines, in line order
  std::uint32_t pages_searched = 0;  // entries of the page list, or 1 without one
  std::uint32_t hit_count = 0;       // all matching lines

  bool operator==(const CorpusHits&) const = default;
};

// The lines of every corpus document together with their lower-cased forms, each line lowered on
// its own (so final-sigma context never crosses a line end) exactly as a single search would.
// Documents are held in source order. Borrows the pages' texts: the pages must outlive it.
class LoweredCorpus {
 public:
  explicit LoweredCorpus(std::span<const CorpusPage> pages);

 private:
  struct Document {
    json::Text source;
    std::uint32_t pages_searched = 0;
    std::vector<std::string_view> lines;      // as written, into the pages' texts
    std::string lowered;                      // the lower-cased lines joined by "\n"
    std::vector<std::size_t> lowered_starts;  // offset of each lower-cased line in `lowered`
  };

  std::vector<Document> documents_;

  friend std::vector<CorpusHits> search_corpus(const LoweredCorpus& corpus, std::string_view term);
};

// The documents with at least one line whose lower-cased form contains the lower-cased term, in
// source path order (component by component, bytes each). An empty term finds nothing.
std::vector<CorpusHits> search_corpus(const LoweredCorpus& corpus, std::string_view term);

// The same search over the pages directly, lower-casing every line for this one term; for a
// single search, where building a LoweredCorpus would not pay off.
std::vector<CorpusHits> search_corpus(std::span<const CorpusPage> pages, std::string_view term);

// search_corpus for every term at once: element i holds search_corpus(pages, terms[i]). Each line
// is lower-cased and read once for all terms, so the cost is linear in the corpus plus the terms
// plus the hits, however many terms there are. The hit lines refer into `pages`.
std::vector<std::vector<CorpusHits>> search_corpus_terms(std::span<const CorpusPage> pages,
                                                         std::span<const std::string> terms);

}  // namespace fennick::provenance
