// Resource bounds of the provenance inputs: a BRD that is one enormous line and a corpus of a
// hundred thousand files complete, with the results the small cases have. Sizes shrink under
// the sanitizers (support/resource.h); speed and memory are measured by the benchmarks.

#include "support/resource.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>

#include "crypto/sha256.h"
#include "provenance/corpus.h"
#include "provenance/tokens.h"
#include "provenance/validator/brd.h"

namespace fennick::provenance {
namespace {

using test_support::scaled;
using test_support::ScratchDir;

std::size_t brd_line_bytes() { return scaled(50u << 20, 10u << 20); }

// `unit` repeated up to `bytes` bytes (whole units only).
std::string repeat(std::string_view unit, std::size_t bytes) {
  std::string s;
  s.reserve(bytes);
  while (s.size() + unit.size() <= bytes) s += unit;
  return s;
}

TEST(ProvenanceResources, OneHugeHeadingLineIsOneClaim) {
  const std::string title = repeat("export reports quickly ", brd_line_bytes());
  const std::string brd = "# Business Requirements Document\n### BR-1: " + title;
  const ClaimExtraction extraction = extract_claims(brd);
  ASSERT_EQ(extraction.claims.size(), 1u);
  const ProvenanceClaim& claim = extraction.claims.front();
  EXPECT_EQ(claim.id, "BR-1");
  EXPECT_EQ(claim.kind, RequirementKind::kBr);
  // Title, a space, the empty body, trimmed: the title without its final space.
  EXPECT_EQ(claim.text.size(), title.size() - 1);
  EXPECT_EQ(claim.anchor_hash, token_fingerprint(claim.text));
  EXPECT_EQ(extraction.unparsed_inline_count, 0u);
}

TEST(ProvenanceResources, OneHugeLineOfInlineIdsIsCounted) {
  const std::string line = repeat("see BR-12 and SWREQ-7, ", brd_line_bytes());
  const ClaimExtraction extraction = extract_claims(line);
  EXPECT_TRUE(extraction.claims.empty());
  // "SWREQ-7," is cut at the comma: both ids of every unit count.
  EXPECT_EQ(extraction.unparsed_inline_count, 2 * (line.size() / 23));
}

TEST(ProvenanceResources, HugeSingleLineBrdIsRecognised) {
  ScratchDir dir;
  const std::string path = dir.path() + "/brd.md";
  const std::string line = "# Business Requirements Document " + repeat("x", brd_line_bytes());
  std::ofstream(path, std::ios::binary) << line;
  EXPECT_TRUE(is_brd_file(path));
  std::ofstream(path, std::ios::binary) << repeat(" ", brd_line_bytes()) << "\n# Notes\n";
  EXPECT_FALSE(is_brd_file(path));
}

// Files of each kind; the directory holds twice as many, and each loader lists them all.
std::size_t files_per_kind() { return scaled(50'000, 10'000); }

std::string file_name(std::size_t i, std::string_view extension) {
  char name[32];
  std::snprintf(name, sizeof name, "doc-%06zu.", i);
  return std::string(name) + std::string(extension);
}

// SHA-256 hex of the names joined by "\n", as the listing digest is defined.
std::string expected_digest(std::string_view extension) {
  std::string joined;
  for (std::size_t i = 0; i < files_per_kind(); ++i) {
    if (i > 0) joined += '\n';
    joined += file_name(i, extension);
  }
  return crypto::sha256_hex(joined);
}

TEST(ProvenanceResources, HundredThousandFileCorpusLoads) {
  ScratchDir dir(/*in_memory=*/true);
  const std::size_t n = files_per_kind();
  // Written in reverse so that the listing order is not already the path order.
  for (std::size_t i = n; i-- > 0;) {
    const std::string base = dir.path() + "/";
    std::ofstream(base + file_name(i, "txt"), std::ios::binary)
        << "line one of " << i << "\nline two\n";
    std::ofstream(base + file_name(i, "json"), std::ios::binary)
        << R"({"text":"document )" << i
        << R"(","metadata":{},"extractor":{"kind":"pdf","version":"1"}})";
  }

  const auto legacy = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(legacy.ok()) << legacy.error();
  ASSERT_EQ(legacy->size(), n);
  EXPECT_EQ(legacy->front().source, "doc-000000.txt");
  EXPECT_EQ(legacy->front().output.text, "line one of 0\nline two\n");
  EXPECT_EQ(legacy->back().source, file_name(n - 1, "txt"));
  EXPECT_EQ(corpus_listing_digest(*legacy), expected_digest("txt"));

  const auto typed = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(typed.ok()) << typed.error();
  ASSERT_EQ(typed->size(), n);
  EXPECT_EQ(typed->front().source, "doc-000000.json");
  EXPECT_EQ(typed->back().output.text, "document " + std::to_string(n - 1));
  EXPECT_EQ(corpus_listing_digest(*typed), expected_digest("json"));
}

}  // namespace
}  // namespace fennick::provenance
