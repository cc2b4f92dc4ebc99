#pragma once
// Builders of provenance inputs and a reading of verdicts, shared by the provenance tests.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "provenance/corpus.h"
#include "provenance/extraction.h"
#include "provenance/validator/validator.h"

namespace fennick::test_support {

// An extraction document file's text: `text` (put in as it is, no escaping), empty metadata and
// extractor "k" version "v".
inline std::string extraction_json(std::string_view text) {
  return R"({"text":")" + std::string(text) +
         R"(","metadata":{},"extractor":{"kind":"k","version":"v"}})";
}

// An extraction output of `text` whose pages hold `page_texts` (indexes 0, 1, ...).
inline provenance::ExtractionOutput paged_output(std::string text,
                                                 const std::vector<std::string>& page_texts) {
  provenance::ExtractionOutput output;
  output.text = std::move(text);
  output.pages.emplace();
  for (const std::string& page_text : page_texts) {
    output.pages->push_back(
        provenance::ExtractionPage{output.pages->size(), page_text, std::nullopt});
  }
  return output;
}

// A corpus page as a loader gives it: the file name and its text, no pages, extractor "k" "v".
inline provenance::CorpusPage corpus_page(std::string source, std::string text) {
  provenance::CorpusPage page;
  page.source = std::move(source);
  page.output.text = std::move(text);
  page.output.extractor = provenance::Extractor{"k", "v", std::nullopt};
  return page;
}

// The rejection reason of a rejected verdict, the mode's name otherwise.
inline std::string verdict_reason(const provenance::ClaimVerdict& verdict) {
  return verdict.mode.is_rejected() ? verdict.mode.reason
                                    : std::string(provenance::verdict_tag_name(verdict.mode.tag));
}

inline std::vector<std::string> verdict_reasons(const provenance::ValidatorReport& report) {
  std::vector<std::string> out;
  for (const provenance::ClaimVerdict& verdict : report.verdicts) {
    out.push_back(verdict_reason(verdict));
  }
  return out;
}

}  // namespace fennick::test_support
