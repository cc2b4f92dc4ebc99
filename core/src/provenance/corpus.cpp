#include "provenance/corpus.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "crypto/sha256.h"
#include "json/value.h"
#include "text/fs.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

constexpr std::size_t kLinesPerPage = 50;
constexpr std::string_view kLegacyExtractorKind = "legacy-txt-synthesized";
constexpr std::string_view kLegacyExtractorVersion = "0.1.0";

// The next entry name whose extension is `extension`. A name from a listing holds no '/' and is
// never "." or "..", so its extension is that of the path it names.
std::optional<std::string_view> next_name_with_extension(DirectoryListing& listing,
                                                         std::string_view extension) {
  while (listing.position < listing.names.size()) {
    const std::string_view name = listing.names[listing.position];
    ++listing.position;
    // The wanted extension is text, so byte equality also means the entry's is valid UTF-8.
    if (text::extension(name) == extension) return name;
  }
  return std::nullopt;
}

// Pages of 50 pieces each, or none when the text has 50 pieces or fewer: a legacy document has
// either no page list or at least two pages. Pieces joined by "\n" are the stretch of the text
// that they were cut from, so each page is one substring, from its first piece to its last.
std::optional<std::vector<ExtractionPage>> legacy_pages(std::string_view text) {
  const auto newlines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  if (newlines < kLinesPerPage) return std::nullopt;
  std::vector<ExtractionPage> pages;
  pages.reserve(newlines / kLinesPerPage + 1);
  std::size_t start = 0;
  while (true) {
    // The page ends at the 50th "\n" from its start, or with the text.
    std::size_t end = std::string_view::npos;
    std::size_t from = start;
    for (std::size_t piece = 1; piece <= kLinesPerPage; ++piece) {
      const std::size_t newline = text.find('\n', from);
      if (newline == std::string_view::npos) break;
      if (piece == kLinesPerPage) end = newline;
      from = newline + 1;
    }
    ExtractionPage page;
    page.index = pages.size();
    page.text = text.substr(start, end == std::string_view::npos ? end : end - start);
    pages.push_back(std::move(page));
    if (end == std::string_view::npos) return pages;
    start = end + 1;
  }
}

ExtractionOutput synthesize_legacy_output(std::string text, std::string_view name) {
  ExtractionOutput output;
  output.pages = legacy_pages(text);
  output.text = std::move(text);
  output.metadata.insert_or_assign("legacySource", json::Value::string(text::lossy_utf8(name)));
  output.metadata.insert_or_assign("synthesizedCorpus", json::Value::boolean(true));
  output.extractor.kind = kLegacyExtractorKind;
  output.extractor.version = kLegacyExtractorVersion;
  return output;
}

}  // namespace

fennick::Result<DirectoryListing> open_directory_listing(const std::string& directory) {
  errno = 0;
  std::optional<std::vector<std::string>> names = text::list_directory(directory);
  if (!names) {
    const int error = errno;
    return Err(error != 0 ? text::os_error_text(error)
                          : std::string("cannot list directory ") + text::lossy_utf8(directory));
  }
  return DirectoryListing{directory, std::move(*names), 0};
}

std::optional<std::string> find_first_with_extension(DirectoryListing& listing,
                                                     std::string_view extension) {
  const std::optional<std::string_view> name = next_name_with_extension(listing, extension);
  if (!name) return std::nullopt;
  return text::join_path(listing.directory, *name);
}

fennick::Result<std::vector<std::string>> names_with_extension(const std::string& directory,
                                                               std::string_view extension) {
  auto listing = open_directory_listing(directory);
  if (!listing) return Err(std::move(listing).error());
  std::vector<std::string> names;
  while (const auto name = next_name_with_extension(*listing, extension)) {
    names.emplace_back(*name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

fennick::Result<std::vector<CorpusPage>> load_typed_artifact_store(const std::string& directory) {
  auto names = names_with_extension(directory, "json");
  if (!names) return Err(std::move(names).error());
  std::vector<CorpusPage> pages;
  for (std::string& name : *names) {
    const fennick::Result<std::string> bytes =
        text::read_file(text::join_path(directory, name), text::OpenMode::kRegularOnly);
    if (!bytes) continue;
    auto output = read_extraction_output(*bytes);
    if (!output) continue;
    pages.push_back(CorpusPage{std::move(output).value(), std::move(name)});
  }
  return pages;
}

fennick::Result<std::vector<CorpusPage>> load_legacy_txt_corpus(const std::string& directory) {
  auto names = names_with_extension(directory, "txt");
  if (!names) return Err(std::move(names).error());
  std::vector<CorpusPage> pages;
  for (std::string& name : *names) {
    fennick::Result<std::string> content =
        text::read_file(text::join_path(directory, name), text::OpenMode::kRegularOnly);
    if (!content || !text::is_valid_utf8(*content)) continue;
    ExtractionOutput output = synthesize_legacy_output(std::move(content).value(), name);
    pages.push_back(CorpusPage{std::move(output), std::move(name)});
  }
  return pages;
}

std::string corpus_listing_digest(std::span<const CorpusPage> pages) {
  crypto::Sha256 digest;
  bool first = true;
  for (const CorpusPage& page : pages) {
    if (!first) digest.update("\n");
    first = false;
    digest.update(text::lossy_utf8(page.source));
  }
  return digest.finish_hex();
}

const CorpusPage* find_corpus_page(std::span<const CorpusPage> pages, std::string_view path) {
  for (const CorpusPage& page : pages) {
    // Paths are equal when neither orders before the other.
    if (!text::path_less(page.source, path) && !text::path_less(path, page.source)) return &page;
  }
  return nullptr;
}

}  // namespace fennick::provenance
