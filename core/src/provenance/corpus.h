#pragma once
// Loading an extraction corpus from one directory (typed JSON documents or legacy text files),
// the digest of its listing and the lookup of a document by path.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provenance/extraction.h"
#include "result.h"

namespace fennick::provenance {

// One corpus document (one file), not one page of it.
struct CorpusPage {
  ExtractionOutput output;
  // The file's own name without any directory part, as the file system gave its bytes (not
  // necessarily UTF-8).
  std::string source;

  bool operator==(const CorpusPage&) const = default;
};

// An open listing of one directory, consumed entry by entry in listing order.
struct DirectoryListing {
  std::string directory;
  std::vector<std::string> names;  // entry names, "." and ".." excluded
  std::size_t position = 0;        // the next entry to take
};

// Opens a listing of `directory`; the error is the system's text with its error number.
fennick::Result<DirectoryListing> open_directory_listing(const std::string& directory);

// Advances the listing to the next entry whose extension equals `extension` byte for byte and
// returns its path (the directory joined with the entry's name); none once the listing is
// exhausted. The entry's kind is not tested: a directory named "x.json" matches "json".
std::optional<std::string> find_first_with_extension(DirectoryListing& listing,
                                                     std::string_view extension);

// The names of the entries of `directory` that find_first_with_extension would return, sorted as
// bytes, which is path order for the entries of one directory. Names rather than paths: sorting
// and holding them costs nothing per byte of the directory's own path, however long it is.
fennick::Result<std::vector<std::string>> names_with_extension(const std::string& directory,
                                                               std::string_view extension);

// Every readable "json" file of `directory` that reads as an ExtractionOutput, in path order;
// other files are skipped silently. Fails only when the directory cannot be listed.
fennick::Result<std::vector<CorpusPage>> load_typed_artifact_store(const std::string& directory);

// Every "txt" file of `directory` that is valid UTF-8, as a synthesised ExtractionOutput, in
// path order; texts of more than 50 lines are cut into pages of 50 lines. Fails only when the
// directory cannot be listed.
fennick::Result<std::vector<CorpusPage>> load_legacy_txt_corpus(const std::string& directory);

// SHA-256 (64 lower-case hex characters) of the documents' source names, each shown as text,
// joined by "\n". Contents do not enter the digest.
std::string corpus_listing_digest(std::span<const CorpusPage> pages);

// The first document whose source equals `path` as a path (component by component); none when
// no document does.
const CorpusPage* find_corpus_page(std::span<const CorpusPage> pages, std::string_view path);

}  // namespace fennick::provenance
