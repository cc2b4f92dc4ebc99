// build_effective_allowlist over one in-memory document shaped against its corpus scan, built
// once in a fresh process so that the caller can read the peak memory (bench/allowlist_hostile.sh).
//
//   allowlist_hostile_bench KIND MEGABYTES [--input-only]
//     long-token  tokens of 1 MB each, every one twice, with hyphens inside so its parts count too
//     one-line    one line of distinct short capitalised words (about 11 million per 100 MB)
//   --input-only builds the document and stops: the memory of the input alone.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "provenance/allowlist/allowlist.h"
#include "provenance/extraction.h"

namespace {

using fennick::provenance::ExtractionOutput;

bool make_text(std::string_view kind, std::size_t bytes, std::string& text) {
  text.reserve(bytes + 64);
  if (kind == "long-token") {
    constexpr std::size_t kTokenBytes = 1000 * 1000;
    for (std::size_t i = 0; text.size() + kTokenBytes <= bytes; ++i) {
      const std::string tail = "-" + std::to_string(i / 2) + " ";
      text += "Hostile-";
      text.append(kTokenBytes - 8 - tail.size(), 'x');
      text += tail;
    }
    return true;
  }
  if (kind == "one-line") {
    constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (std::uint64_t i = 0; text.size() + 16 <= bytes; ++i) {
      text += 'Q';
      for (std::uint64_t n = i;; n /= 36) {
        text += kDigits[n % 36];
        if (n < 36) break;
      }
      text += ' ';
    }
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: allowlist_hostile_bench long-token|one-line MEGABYTES [--input-only]\n";
    return 2;
  }
  const std::string_view kind = argv[1];
  const std::size_t megabytes = std::strtoul(argv[2], nullptr, 10);
  const bool input_only = argc > 3 && std::string_view(argv[3]) == "--input-only";
  ExtractionOutput document;
  if (!make_text(kind, megabytes * 1000 * 1000, document.text)) {
    std::cerr << "unknown kind " << kind << "\n";
    return 2;
  }
  if (input_only) {
    std::cout << "input: " << document.text.size() << " bytes of text\n";
    return 0;
  }
  const std::vector<std::reference_wrapper<const ExtractionOutput>> documents = {document};
  fennick::provenance::AllowlistInputs inputs;
  inputs.documents = documents;
  inputs.project_strings = {"bench project", "bench-project", ""};
  const auto start = std::chrono::steady_clock::now();
  const fennick::provenance::EffectiveAllowlist allowlist =
      fennick::provenance::build_effective_allowlist(inputs);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "input: " << document.text.size() << " bytes of text\n"
            << "seconds: " << seconds << "\n"
            << "tokens: " << allowlist.tokens.size() << "\n";
  return 0;
}
