// The allowlist's corpus step against counting the plain way: every capitalised word normalised
// on its own. The input is one document; its first byte picks the threshold, and each NUL byte
// starts another page text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "provenance/allowlist/allowlist.h"
#include "provenance/tokens.h"
#include "text/split.h"
#include "text/unicode.h"

namespace {

using fennick::provenance::ExtractionOutput;
using fennick::provenance::ExtractionPage;
using fennick::provenance::TokenCounts;

void count_plainly(TokenCounts& counts, std::string_view text) {
  const auto count = [&counts](std::string normalised) {
    std::uint32_t& n = counts[std::move(normalised)];
    if (n < std::numeric_limits<std::uint32_t>::max()) ++n;
  };
  fennick::text::for_each_piece(
      text, fennick::text::is_white_space, [&count](std::string_view piece) {
        const std::string_view token = fennick::provenance::trim_non_alphanumeric(piece);
        if (std::none_of(token.begin(), token.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
          return;
        }
        count(fennick::provenance::normalize_token(token));
        if (token.find('-') == std::string_view::npos) return;
        fennick::text::for_each_piece(
            token, [](char32_t cp) { return cp == U'-'; },
            [&count](std::string_view part) {
              std::string normalised = fennick::provenance::normalize_token(part);
              if (!normalised.empty()) count(std::move(normalised));
            });
      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t threshold = data[0] % 4;
  const std::string_view input = fennick::fuzz::as_text(data + 1, size - 1);
  ExtractionOutput document;
  std::size_t cut = input.find('\0');
  document.text = std::string(input.substr(0, cut));
  if (cut != std::string_view::npos) {
    document.pages.emplace();
    while (cut != std::string_view::npos) {
      const std::size_t next = input.find('\0', cut + 1);
      document.pages->push_back(
          ExtractionPage{0, std::string(input.substr(cut + 1, next - cut - 1)), std::nullopt});
      cut = next;
    }
  }

  TokenCounts counts;
  count_plainly(counts, document.text);
  if (document.pages) {
    for (const ExtractionPage& page : *document.pages) count_plainly(counts, page.text);
  }
  fennick::provenance::AllowlistInputs none;
  fennick::provenance::TokenSet expected =
      fennick::provenance::build_effective_allowlist(none).tokens;
  for (const std::string& token : fennick::provenance::collect_frequent_tokens(counts, threshold)) {
    expected.insert(token);
  }

  const std::vector<std::reference_wrapper<const ExtractionOutput>> documents = {document};
  fennick::provenance::AllowlistInputs inputs;
  inputs.documents = documents;
  inputs.threshold = threshold;
  FENNICK_FUZZ_CHECK(fennick::provenance::build_effective_allowlist(inputs).tokens == expected);
  return 0;
}
