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

// The matching paths of a directory in path order (component by component, bytes each).
fennick::Result<std::vector<std::string>> gather_files(const std::string& directory,
                                                       std::string_view extension) {
  auto listing = open_directory_listing(directory);
  if (!listing) return Err(std::move(listing).error());
  std::vector<std::string> paths;
  while (auto path = find_first_with_extension(*listing, extension)) {
    paths.push_back(std::move(*path));
  }
  std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return text::path_less(a, b);
  });
  return paths;
}

std::string source_name(std::string_view path) {
  return std::string(text::file_name(path).value_or(std::string_view()));
}

// Cuts at every "\n": a text ending in "\n" has a last, empty piece and an empty text is one
// empty piece.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// Pages of 50 pieces each, or none when the text has 50 pieces or fewer: a legacy document has
// either no page list or at least two pages.
std::optional<std::vector<ExtractionPage>> legacy_pages(std::string_view text) {
  const std::vector<std::string_view> pieces = split_lines(text);
  if (pieces.size() <= kLinesPerPage) return std::nullopt;
  std::vector<ExtractionPage> pages;
  for (std::size_t first = 0; first < pieces.size(); first += kLinesPerPage) {
    const std::size_t last = std::min(first + kLinesPerPage, pieces.size());
    ExtractionPage page;
    page.index = pages.size();
    for (std::size_t i = first; i < last; ++i) {
      if (i != first) page.text.push_back('\n');
      page.text.append(pieces[i]);
    }
    pages.push_back(std::move(page));
  }
  return pages;
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
  while (listing.position < listing.names.size()) {
    std::string path = text::join_path(listing.directory, listing.names[listing.position]);
    ++listing.position;
    // The wanted extension is text, so byte equality also means the entry's is valid UTF-8.
    if (text::extension(path) == extension) return path;
  }
  return std::nullopt;
}

fennick::Result<std::vector<CorpusPage>> load_typed_artifact_store(const std::string& directory) {
  auto paths = gather_files(directory, "json");
  if (!paths) return Err(std::move(paths).error());
  std::vector<CorpusPage> pages;
  for (const std::string& path : *paths) {
    const fennick::Result<std::string> bytes = text::read_file(path, text::OpenMode::kRegularOnly);
    if (!bytes) continue;
    auto output = read_extraction_output(*bytes);
    if (!output) continue;
    pages.push_back(CorpusPage{std::move(output).value(), source_name(path)});
  }
  return pages;
}

fennick::Result<std::vector<CorpusPage>> load_legacy_txt_corpus(const std::string& directory) {
  auto paths = gather_files(directory, "txt");
  if (!paths) return Err(std::move(paths).error());
  std::vector<CorpusPage> pages;
  for (const std::string& path : *paths) {
    fennick::Result<std::string> content = text::read_file(path, text::OpenMode::kRegularOnly);
    if (!content || !text::is_valid_utf8(*content)) continue;
    std::string name = source_name(path);
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
