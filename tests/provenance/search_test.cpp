#include "provenance/citation/search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crypto/sha256.h"
#include "provenance/citation/citation.h"
#include "support/digests.h"
#include "support/provenance_fixtures.h"

namespace fennick::provenance {
namespace {

using test_support::corpus_page;

CorpusPage paged(std::string source, const std::vector<std::string>& page_texts,
                 std::string text = "") {
  CorpusPage result = corpus_page(std::move(source), "");
  result.output = test_support::paged_output(std::move(text), page_texts);
  return result;
}

// Searches every way, which must agree on every input; returns the result.
std::vector<CorpusHits> search(const std::vector<CorpusPage>& pages, std::string_view term) {
  std::vector<CorpusHits> direct = search_corpus(pages, term);
  const LoweredCorpus lowered(pages);
  EXPECT_EQ(search_corpus(lowered, term), direct) << "term: " << term;
  const std::vector<std::string> one = {std::string(term)};
  EXPECT_EQ(search_corpus_terms(pages, one), std::vector<std::vector<CorpusHits>>{direct})
      << "term: " << term;
  return direct;
}

std::vector<std::uint32_t> hit_lines(const CorpusHits& record) {
  std::vector<std::uint32_t> lines;
  for (const CorpusHit& hit : record.hits) {
    EXPECT_EQ(hit.line_end, hit.line_start);
    lines.push_back(hit.line_start);
  }
  return lines;
}

std::vector<std::string> sources(const std::vector<CorpusHits>& records) {
  std::vector<std::string> out;
  for (const CorpusHits& record : records) out.push_back(record.source);
  return out;
}

TEST(SearchCorpus, CaseInsensitiveSubstringPerLine) {
  const std::vector<CorpusPage> pages = {
      corpus_page("a.json", "Acme acme ACME\nnothing here\r\nthe ACMEs\r\nlast"),
      corpus_page("b.json", "see acme"),
      corpus_page("c.json", "no match"),
  };
  const std::vector<CorpusHits> found = search(pages, "aCmE");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(
      found[0],
      (CorpusHits{
          "a.json", {CorpusHit{"Acme acme ACME", 1, 1}, CorpusHit{"the ACMEs\r", 3, 3}}, 1, 2}));
  EXPECT_EQ(found[1], (CorpusHits{"b.json", {CorpusHit{"see acme", 1, 1}}, 1, 1}));
  // Inside a longer word too, and a "\r" is part of its line.
  EXPECT_EQ(hit_lines(search(pages, "MEs\r")[0]), (std::vector<std::uint32_t>{3}));
}

TEST(SearchCorpus, EmptyOrAbsentTermsFindNothing) {
  const std::vector<CorpusPage> pages = {corpus_page("a.json", "a\nb\n"),
                                         corpus_page("e.json", "")};
  EXPECT_TRUE(search(pages, "").empty());
  EXPECT_TRUE(search(pages, "zzz").empty());
  // No line holds a line feed, so a term holding one matches nowhere.
  EXPECT_TRUE(search(pages, "a\nb").empty());
  EXPECT_TRUE(search(pages, "\n").empty());
  EXPECT_TRUE(search({}, "a").empty());
  // The final empty line after a trailing "\n" exists but holds nothing to match.
  EXPECT_EQ(hit_lines(search(pages, "b")[0]), (std::vector<std::uint32_t>{2}));
}

TEST(SearchCorpus, KeepsTheFirstHundredHitsAndCountsAll) {
  std::string text;
  for (int i = 1; i <= 200; ++i) {
    text += (i % 4 == 0 ? "plain " : "Term ") + std::to_string(i) + "\n";
  }
  // The hit lines refer into the pages, which must outlive them.
  const std::vector<CorpusPage> pages = {corpus_page("big.json", text)};
  const std::vector<CorpusHits> found = search(pages, "term");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].hit_count, 150u);
  ASSERT_EQ(found[0].hits.size(), 100u);
  // Lines 1, 2, 3, 5, 6, 7, ...: the first hundred matching lines in order.
  EXPECT_EQ(found[0].hits.front(), (CorpusHit{"Term 1", 1, 1}));
  EXPECT_EQ(found[0].hits[3], (CorpusHit{"Term 5", 5, 5}));
  EXPECT_EQ(found[0].hits.back(), (CorpusHit{"Term 133", 133, 133}));
}

TEST(SearchCorpus, PagesAreNumberedAsOneSequence) {
  const std::vector<CorpusPage> pages = {
      paged("p.json", {"one\ntwo\nthree", "four\nMATCH five", "six"}, "match in text only"),
      paged("e.json", {}, "match in text only"),
      corpus_page("t.json", "match in text"),
  };
  const std::vector<CorpusHits> found = search(pages, "match");
  ASSERT_EQ(found.size(), 2u);
  // With a page list, the document's own text is not searched; an empty list has no lines.
  EXPECT_EQ(found[0], (CorpusHits{"p.json", {CorpusHit{"MATCH five", 5, 5}}, 3, 1}));
  EXPECT_EQ(found[1], (CorpusHits{"t.json", {CorpusHit{"match in text", 1, 1}}, 1, 1}));
  // A page ending in "\n" contributes a last, empty line before the next page.
  EXPECT_EQ(hit_lines(search({paged("q.json", {"a\n", "b"})}, "b")[0]),
            (std::vector<std::uint32_t>{3}));
}

TEST(SearchCorpus, RecordsAreInSourcePathOrder) {
  const std::vector<CorpusPage> pages = {
      corpus_page("b.json", "x"),   corpus_page("a.json", "x"),     corpus_page("A.json", "x"),
      corpus_page("a.b.json", "x"), corpus_page("dir/a.json", "x"), corpus_page("\xFF.json", "x"),
  };
  EXPECT_EQ(sources(search(pages, "X")),
            (std::vector<std::string>{"A.json", "a.b.json", "a.json", "b.json", "dir/a.json",
                                      "\uFFFD.json"}));
  // Equal paths keep corpus order.
  const std::vector<CorpusPage> same = {corpus_page("a.json", "x first"),
                                        corpus_page("a.json/", "x second")};
  const std::vector<CorpusHits> found = search(same, "x");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].hits[0].line, "x first");
  EXPECT_EQ(found[1].hits[0].line, "x second");
}

TEST(SearchCorpus, FullUnicodeLowerCasing) {
  const std::vector<CorpusPage> pages = {
      corpus_page("greek.json", "\u039F\u0394\u039F\u03A3\n\u039F\u0394\u039F\u03A3\u0391\n\u03A3"),
      corpus_page("turkish.json", "\u0130STANBUL\nistanbul"),
  };
  // Capital sigma lower-cases to final sigma at a word's end, also at the end of a line, and to
  // the medial form elsewhere.
  EXPECT_EQ(hit_lines(search(pages, "\u03BF\u03B4\u03BF\u03C2")[0]),
            (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(hit_lines(search(pages, "\u039F\u0394\u039F\u03A3")[0]),
            (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(hit_lines(search(pages, "\u03BF\u03B4\u03BF\u03C3")[0]),
            (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(hit_lines(search(pages, "\u03C3")[0]), (std::vector<std::uint32_t>{2, 3}));
  // U+0130 lower-cases to "i" followed by COMBINING DOT ABOVE.
  const std::vector<CorpusHits> dotted = search(pages, "\u0130stanbul");
  ASSERT_EQ(dotted.size(), 1u);
  EXPECT_EQ(dotted[0], (CorpusHits{"turkish.json", {CorpusHit{"\u0130STANBUL", 1, 1}}, 1, 1}));
  EXPECT_EQ(hit_lines(search(pages, "ISTANBUL")[0]), (std::vector<std::uint32_t>{2}));
}

TEST(SearchCorpus, FindsTermsAtEveryOffsetAndLength) {
  // Terms shorter and longer than the scan's 16-byte blocks, each at every offset up to 40 of a
  // line, beside near misses that share the first and last byte; the last line ends the text.
  for (const std::string_view term :
       {"z", "zz", "zqz", "zqqqqqqqqqqqqqqqz", "zqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqz"}) {
    std::string near_miss(term);
    near_miss[near_miss.size() / 2] = near_miss.size() > 2 ? 'p' : 'y';
    if (term.size() == 1) near_miss = "y";
    std::string text;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t line = 1; line <= 82; ++line) {
      if (line > 1) text += '\n';
      text += std::string((line - 1) / 2, 'a');
      text += line % 2 == 1 ? std::string(term) : near_miss;
      if (line % 2 == 1) expected.push_back(line);
    }
    const std::vector<CorpusHits> found = search({corpus_page("a.json", text)}, term);
    ASSERT_EQ(found.size(), 1u) << term;
    EXPECT_EQ(found[0].hit_count, 41u) << term;
    EXPECT_EQ(hit_lines(found[0]), expected) << term;
  }
}

// Text drawn from pieces that stress the lower-casing: sigma next to line ends and
// case-ignorable marks, dotted capital I, CRLF, blank lines.
std::string random_text(std::mt19937& random, int lines) {
  static const std::vector<std::string> kPieces = {
      "Acme",   "ACME",   "acme", "\u03A3", "\u039F\u03A3", "\u03A3\u0301", "\u0130",  "I\u0307",
      "i",      "x",      " ",    "-",      "\r",           "\u00C9",       "e\u0301", "\u1E9E",
      "\u00DF", "\u2126", "'",    "\u00A0", "\u03C2"};
  std::string text;
  for (int line = 0; line < lines; ++line) {
    if (line > 0) text += '\n';
    const int pieces = static_cast<int>(random() % 6);
    for (int i = 0; i < pieces; ++i) text += kPieces[random() % kPieces.size()];
  }
  return text;
}

// The per-term search is the oracle: the cached search and the one pass over all terms must give
// the same records for every term.
// Terms longer than every lower-cased line never reach the matcher; lengths count after
// lower-casing on both sides, so the terms at the edge still match.
TEST(SearchCorpus, TermsLongerThanEveryLineFindNothingAndTheEdgeStillMatches) {
  // "\u0130" (2 bytes) lowers to 3 bytes; "\u212A" (Kelvin, 3 bytes) lowers to "k".
  const std::vector<CorpusPage> pages = {corpus_page("a.json", "k\nab\u0130"),
                                         paged("b.json", {"kk", "xy"})};
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {
      {"ab\u0130", 1},      // as long as the longest lower-cased line
      {"abi\u0307", 1},     // the same, written lowered
      {"\u212A\u212A", 1},  // 6 bytes, 2 once lowered
      {"abi\u0307x", 0},    // one byte beyond every line
      {std::string(5000, 'k'), 0},
      {"kk", 1}};
  std::vector<std::string> terms;
  for (const auto& [term, documents] : cases) terms.push_back(term);
  const std::vector<std::vector<CorpusHits>> one_pass = search_corpus_terms(pages, terms);
  ASSERT_EQ(one_pass.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(one_pass[i].size(), cases[i].second) << i;
    EXPECT_EQ(one_pass[i], search_corpus(pages, terms[i])) << i;
  }
}

TEST(SearchCorpus, CachedAndOnePassSearchesAgreeWithTheDirectOneOnAVariedCorpus) {
  std::mt19937 random(20240917);
  std::vector<CorpusPage> pages;
  for (int i = 0; i < 40; ++i) {
    const std::string source = "doc" + std::to_string((i * 7) % 40) + ".json";
    if (i % 3 == 0) {
      std::vector<std::string> page_texts;
      for (int p = static_cast<int>(random() % 4); p > 0; --p) {
        page_texts.push_back(random_text(random, 1 + static_cast<int>(random() % 5)));
      }
      pages.push_back(paged(source, page_texts, random_text(random, 3)));
    } else {
      pages.push_back(corpus_page(source, random_text(random, static_cast<int>(random() % 12))));
    }
  }
  // Past the 100 kept lines, with terms repeated and overlapping within a line.
  std::string long_text;
  for (int line = 0; line < 130; ++line) {
    long_text += line % 2 == 0 ? "acmeacme ACME-\u03A3\n" : "x\u0130acm\n";
  }
  pages.push_back(corpus_page("long.json", long_text + "acme acme"));
  pages.push_back(paged("long-pages.json", {long_text, long_text}));
  std::vector<std::string> terms = {"acme",
                                    "ACME",
                                    "Acme",
                                    "acm",
                                    "cme",
                                    "me",
                                    "meac",
                                    "acmeacme",
                                    "eacmea",
                                    "acme acme",
                                    "\u03C3",
                                    "\u03C2",
                                    "\u03A3",
                                    "-\u03C3",
                                    "-\u03C2",
                                    "\u03BF\u03C2",
                                    "\u0130",
                                    "i\u0307",
                                    "i\u0307acm",
                                    "x\u0130ACM",  // a whole line
                                    "i",
                                    "I",
                                    "\u03C3\u0301",
                                    "\r",
                                    "x\r",
                                    "\u00E9",
                                    "e\u0301",
                                    "\u00DF",
                                    "ss",
                                    "\u03C9",
                                    " ",
                                    "-\u03A3",
                                    "\u00A0",
                                    "\u03A3\u0301 x",
                                    "'",
                                    "",
                                    "\n",
                                    "acme\nacme",
                                    "no such term"};
  // Enough terms, many alike once lower-cased, that the matcher holds states past its full
  // transition rows.
  const std::vector<std::string> pieces = {"acme", "ACME", "x", "i", "\u03A3", "\u0130", " ", "-"};
  for (const std::string& a : pieces) {
    for (const std::string& b : pieces) {
      for (const std::string& c : pieces) {
        for (const std::string& d : pieces) terms.push_back(a + b + c + d);
      }
    }
  }
  const std::vector<std::vector<CorpusHits>> one_pass = search_corpus_terms(pages, terms);
  ASSERT_EQ(one_pass.size(), terms.size());
  const LoweredCorpus lowered(pages);
  std::size_t total_hits = 0;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const std::vector<CorpusHits> direct = search_corpus(pages, terms[i]);
    EXPECT_EQ(search_corpus(lowered, terms[i]), direct) << "term: " << terms[i];
    EXPECT_EQ(one_pass[i], direct) << "term: " << terms[i];
    for (const CorpusHits& record : direct) total_hits += record.hit_count;
    // A hit line is the document's own line, not a copy of it.
    for (const CorpusHits& record : one_pass[i]) {
      const CorpusPage* const page = find_corpus_page(pages, record.source);
      ASSERT_NE(page, nullptr);
      const auto holds = [](const std::string& text, std::string_view line) {
        return line.data() >= text.data() && line.data() + line.size() <= text.data() + text.size();
      };
      for (const CorpusHit& hit : record.hits) {
        bool inside = holds(page->output.text, hit.line);
        if (page->output.pages) {
          for (const ExtractionPage& p : *page->output.pages)
            inside = inside || holds(p.text, hit.line);
        }
        EXPECT_TRUE(inside) << "term: " << terms[i];
      }
    }
  }
  EXPECT_GT(total_hits, 600u);  // the corpus really exercises the matching
}

TEST(ResolveCitationQuote, InclusiveOneBasedRangesOfTheWholeText) {
  const std::vector<CorpusPage> pages = {
      paged("a.json", {"page text is not cited"}, "one\ntwo\nthree"),
      corpus_page("b.json", "x\ny\n"),
  };
  const auto quote = [&](std::string source, std::uint32_t start, std::uint32_t end) {
    return resolve_citation_quote(pages, Citation{std::move(source), "", "", start, end});
  };
  EXPECT_EQ(quote("a.json", 1, 2), "one\ntwo");
  EXPECT_EQ(quote("a.json", 3, 3), "three");
  EXPECT_EQ(quote("a.json", 1, 3), "one\ntwo\nthree");
  EXPECT_EQ(quote("a.json/", 2, 2), "two");  // compared as paths
  EXPECT_EQ(quote("b.json", 3, 3), "");      // the empty line after the final "\n"
  EXPECT_EQ(quote("b.json", 2, 3), "y\n");
  EXPECT_EQ(quote("a.json", 0, 1), std::nullopt);
  EXPECT_EQ(quote("a.json", 0, 0), std::nullopt);
  EXPECT_EQ(quote("a.json", 3, 2), std::nullopt);
  EXPECT_EQ(quote("a.json", 1, 4), std::nullopt);
  EXPECT_EQ(quote("a.json", 4294967295u, 4294967295u), std::nullopt);
  EXPECT_EQ(quote("./a.json", 1, 1), std::nullopt);
  EXPECT_EQ(quote("c.json", 1, 1), std::nullopt);
}

TEST(CheckQuoteHash, OutcomesInOrder) {
  const std::vector<CorpusPage> pages = {
      corpus_page("a.json", "Acme  signed\n   the contract.\nend\n")};
  const std::string hash = crypto::sha256_hex("Acme signed the contract.");
  const auto check = [&](std::string source, std::string stored, std::uint32_t start,
                         std::uint32_t end) {
    return check_quote_hash(pages, Citation{std::move(source), "", std::move(stored), start, end});
  };
  // Only the white-space layout differs: the joining newline collapses too.
  EXPECT_EQ(check("a.json", hash, 1, 2), QuoteCheck{QuoteCheck::Ok{}});
  EXPECT_TRUE(check("a.json", hash, 1, 2).ok());

  const std::string upper_hex = test_support::upper_hex(hash);
  EXPECT_EQ(check("a.json", upper_hex, 1, 2), (QuoteCheck{QuoteCheck::Mismatch{upper_hex, hash}}));
  EXPECT_EQ(
      check("a.json", crypto::sha256_hex("acme signed the contract."), 1, 2),
      (QuoteCheck{QuoteCheck::Mismatch{crypto::sha256_hex("acme signed the contract."), hash}}));
  EXPECT_EQ(
      check("a.json", crypto::sha256_hex("Acme signed the contract"), 1, 2),
      (QuoteCheck{QuoteCheck::Mismatch{crypto::sha256_hex("Acme signed the contract"), hash}}));
  // Four lines: the last is the empty one after the final "\n", and citing it is valid.
  EXPECT_EQ(check("a.json", crypto::sha256_hex("end"), 3, 4), QuoteCheck{QuoteCheck::Ok{}});
  EXPECT_EQ(check("a.json", hash, 0, 2),
            (QuoteCheck{QuoteCheck::LineRangeOutOfBounds{"a.json", 0, 2, 4}}));
  EXPECT_EQ(check("a.json", hash, 2, 1),
            (QuoteCheck{QuoteCheck::LineRangeOutOfBounds{"a.json", 2, 1, 4}}));
  EXPECT_EQ(check("a.json/", hash, 4, 5),
            (QuoteCheck{QuoteCheck::LineRangeOutOfBounds{"a.json/", 4, 5, 4}}));
  EXPECT_EQ(check("b.json", hash, 1, 2), QuoteCheck{QuoteCheck::SourceMissing{}});
}

}  // namespace
}  // namespace fennick::provenance
