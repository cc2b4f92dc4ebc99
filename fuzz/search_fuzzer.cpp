// The one pass over all terms against the per-term search. The input is cut at the first byte
// 0x00: before it, terms separated by 0x01; after it, documents separated by 0x02, each a text or,
// when it holds 0x03, a list of pages. Property: for every term, search_corpus_terms gives exactly
// what search_corpus gives.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "provenance/citation/search.h"

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) break;
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fennick::provenance;
  const std::string_view input = fennick::fuzz::as_text(data, size);
  const std::size_t cut = input.find('\0');
  if (cut == std::string_view::npos) return 0;
  const std::vector<std::string> terms = split(input.substr(0, cut), '\x01');
  std::vector<CorpusPage> pages;
  const std::vector<std::string> documents = split(input.substr(cut + 1), '\x02');
  for (std::size_t i = 0; i < documents.size(); ++i) {
    CorpusPage page;
    page.source = "d" + std::to_string(documents.size() - i) + ".json";
    if (documents[i].find('\x03') == std::string::npos) {
      page.output.text = documents[i];
    } else {
      page.output.pages.emplace();
      std::uint64_t index = 0;
      for (std::string& text : split(documents[i], '\x03')) {
        page.output.pages->push_back(ExtractionPage{index++, std::move(text), std::nullopt});
      }
    }
    pages.push_back(std::move(page));
  }
  const std::vector<std::vector<CorpusHits>> found = search_corpus_terms(pages, terms);
  FENNICK_FUZZ_CHECK(found.size() == terms.size());
  for (std::size_t i = 0; i < terms.size(); ++i) {
    FENNICK_FUZZ_CHECK(found[i] == search_corpus(pages, terms[i]));
  }
  return 0;
}
