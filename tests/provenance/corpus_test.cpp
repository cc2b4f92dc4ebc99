#include "provenance/corpus.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/digests.h"
#include "support/files.h"
#include "support/provenance_fixtures.h"

namespace fennick::provenance {
namespace {

using test_support::extraction_json;
using test_support::kEmptySha256;
using test_support::TempDir;

std::vector<std::string> sources(const std::vector<CorpusPage>& pages) {
  std::vector<std::string> out;
  for (const CorpusPage& page : pages) out.push_back(page.source);
  return out;
}

// `count` lines "line 0", "line 1", ... joined by `ending`, with `ending` after the last when
// `final_ending`.
std::string numbered_lines(int count, std::string_view ending, bool final_ending) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    out += "line " + std::to_string(i);
    if (i + 1 < count || final_ending) out.append(ending);
  }
  return out;
}

std::size_t count_lines(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

TEST(FindFirstWithExtension, ReturnsEachMatchThenNone) {
  TempDir dir;
  dir.write("a.json", "");
  dir.write("b.JSON", "");
  dir.write(".json", "");
  dir.write("c.txt", "");
  dir.write("d.", "");
  dir.write("e.tar.json", "");
  dir.mkdir("sub.json");

  auto listing = open_directory_listing(dir.path());
  ASSERT_TRUE(listing) << listing.error();
  std::vector<std::string> found;
  while (auto path = find_first_with_extension(*listing, "json")) found.push_back(*path);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (std::vector<std::string>{dir / "a.json", dir / "e.tar.json", dir / "sub.json"}));
  EXPECT_FALSE(find_first_with_extension(*listing, "json").has_value());
  EXPECT_FALSE(find_first_with_extension(*listing, "txt").has_value());

  // "d." has the empty extension, which is not the same as having none.
  auto again = open_directory_listing(dir.path());
  ASSERT_TRUE(again);
  std::vector<std::string> empty_ext;
  while (auto path = find_first_with_extension(*again, "")) empty_ext.push_back(*path);
  EXPECT_EQ(empty_ext, std::vector<std::string>{dir / "d."});
}

TEST(CorpusLoading, UnlistableDirectoryIsAnError) {
  TempDir dir;
  dir.write("file.json", extraction_json("x"));

  auto missing = load_typed_artifact_store(dir / "missing");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");
  auto not_dir = load_legacy_txt_corpus(dir / "file.json");
  ASSERT_FALSE(not_dir);
  EXPECT_EQ(not_dir.error(), "Not a directory (os error 20)");

  auto empty = load_typed_artifact_store(dir.path() + "/");
  ASSERT_TRUE(empty);
  EXPECT_EQ(sources(*empty), std::vector<std::string>{"file.json"});
}

TEST(TypedArtifactStore, LoadsMatchingFilesInPathOrder) {
  TempDir dir;
  for (const char* name : {"b.json", "a.json", "a.b.json", "c.JSON", ".json"}) {
    dir.write(name, extraction_json(name));
  }
  dir.write("notes.txt", "plain text");

  auto pages = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(pages) << pages.error();
  EXPECT_EQ(sources(*pages), (std::vector<std::string>{"a.b.json", "a.json", "b.json"}));
  EXPECT_EQ((*pages)[0].output.text, "a.b.json");
  EXPECT_EQ((*pages)[2].output.text, "b.json");
}

TEST(TypedArtifactStore, SortsNamesAsBytes) {
  TempDir dir;
  for (const char* name : {"b.json", "B.json", "a-b.json", "ab.json", "a.json", "\xc3\xa9.json"}) {
    dir.write(name, extraction_json("x"));
  }
  auto pages = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(pages);
  EXPECT_EQ(sources(*pages), (std::vector<std::string>{"B.json", "a-b.json", "a.json", "ab.json",
                                                       "b.json", "\xc3\xa9.json"}));
}

TEST(TypedArtifactStore, SkipsWhatDoesNotRead) {
  TempDir dir;
  dir.write("good.json", extraction_json("good"));
  dir.write("e.json", "");
  dir.write("garbage.json", std::string_view("\x89PNG\r\n\x1a\n\x00\x01", 10));
  dir.write("prose.json", "this is not JSON");
  dir.write("partial.json", extraction_json("p").substr(0, 20));
  dir.write("array.json", "[1,2,3]");
  dir.write("latin1.json", extraction_json("caf\xe9"));
  dir.write("deep.json", R"({"text":"","metadata":{"a":)" + std::string(100000, '[') +
                             std::string(100000, ']') +
                             R"(},"extractor":{"kind":"k","version":"v"}})");
  dir.mkdir("sub.json");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.json");
  std::filesystem::create_symlink("/dev/zero", dir / "zero.json");
  ASSERT_EQ(::mkfifo((dir / "pipe.json").c_str(), 0600), 0);

  auto pages = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(pages) << pages.error();
  EXPECT_EQ(sources(*pages), std::vector<std::string>{"good.json"});
}

TEST(TypedArtifactStore, ReadsThroughLinksAndOddNames) {
  TempDir dir;
  dir.mkdir("elsewhere");
  dir.write("elsewhere/target.data", extraction_json("linked"));
  std::filesystem::create_symlink(dir / "elsewhere/target.data", dir / "link.json");
  // A name that is not UTF-8; the content's only bad byte is in an undeclared member's value.
  dir.write("\xff\xfe.json",
            "{\"junk\":\"\xff\",\"text\":\"t\",\"metadata\":{},"
            R"("extractor":{"kind":"k","version":"v"}})");

  auto pages = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(pages) << pages.error();
  ASSERT_EQ(pages->size(), 2u);
  EXPECT_EQ((*pages)[0].source, "link.json");
  EXPECT_EQ((*pages)[0].output.text, "linked");
  EXPECT_EQ((*pages)[1].source, "\xff\xfe.json");
}

TEST(TypedArtifactStore, LargeDocument) {
  TempDir dir;
  const std::string big(4 << 20, 'x');
  dir.write("big.json", extraction_json(big));
  auto pages = load_typed_artifact_store(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  EXPECT_EQ((*pages)[0].output.text, big);
}

TEST(LegacyTxtCorpus, EmptyFileGivesEmptyDocument) {
  TempDir dir;
  dir.write("e.txt", "");
  dir.write("e.json", extraction_json("ignored"));
  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  const CorpusPage& page = (*pages)[0];
  EXPECT_EQ(page.source, "e.txt");
  EXPECT_EQ(page.output.text, "");
  EXPECT_FALSE(page.output.pages.has_value());
  EXPECT_FALSE(page.output.language.has_value());
  EXPECT_FALSE(page.output.outline.has_value());
  EXPECT_EQ(page.output.extractor.kind, "legacy-txt-synthesized");
  EXPECT_EQ(page.output.extractor.version, "0.1.0");
  EXPECT_FALSE(page.output.extractor.agent_run.has_value());
  ASSERT_EQ(page.output.metadata.size(), 2u);
  EXPECT_EQ(page.output.metadata.at("legacySource"), json::Value::string("e.txt"));
  EXPECT_EQ(page.output.metadata.at("synthesizedCorpus"), json::Value::boolean(true));
}

TEST(LegacyTxtCorpus, PagesOfFiftyLines) {
  TempDir dir;
  const std::string no_final = numbered_lines(120, "\n", false);
  const std::string with_final = numbered_lines(120, "\n", true);
  dir.write("a.txt", no_final);
  dir.write("b.txt", with_final);

  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 2u);

  const ExtractionOutput& a = (*pages)[0].output;
  EXPECT_EQ(a.text, no_final);
  ASSERT_TRUE(a.pages.has_value());
  ASSERT_EQ(a.pages->size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ((*a.pages)[k].index, k);
    EXPECT_FALSE((*a.pages)[k].bbox.has_value());
  }
  EXPECT_EQ(count_lines((*a.pages)[0].text), 50u);
  EXPECT_EQ(count_lines((*a.pages)[1].text), 50u);
  EXPECT_EQ(count_lines((*a.pages)[2].text), 20u);
  EXPECT_EQ((*a.pages)[0].text.substr(0, 7), "line 0\n");
  EXPECT_EQ((*a.pages)[1].text.substr(0, 8), "line 50\n");
  EXPECT_EQ((*a.pages)[2].text.substr((*a.pages)[2].text.size() - 8), "line 119");
  // The pages put back together give the text.
  EXPECT_EQ((*a.pages)[0].text + "\n" + (*a.pages)[1].text + "\n" + (*a.pages)[2].text, no_final);

  const ExtractionOutput& b = (*pages)[1].output;
  EXPECT_EQ(b.text, with_final);
  ASSERT_EQ(b.pages->size(), 3u);
  EXPECT_EQ(count_lines((*b.pages)[2].text), 21u);
  EXPECT_EQ((*b.pages)[2].text.back(), '\n');
}

TEST(LegacyTxtCorpus, FiftyLineBoundary) {
  TempDir dir;
  dir.write("a.txt", numbered_lines(50, "\n", true));
  dir.write("b.txt", numbered_lines(50, "\n", false));
  dir.write("c.txt", numbered_lines(51, "\n", false));
  dir.write("d.txt", "\n");

  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 4u);

  const auto& a = (*pages)[0].output.pages;
  ASSERT_TRUE(a.has_value());
  ASSERT_EQ(a->size(), 2u);
  EXPECT_EQ((*a)[0].text, numbered_lines(50, "\n", false));
  EXPECT_EQ((*a)[1].index, 1u);
  EXPECT_EQ((*a)[1].text, "");

  EXPECT_FALSE((*pages)[1].output.pages.has_value());

  const auto& c = (*pages)[2].output.pages;
  ASSERT_TRUE(c.has_value());
  ASSERT_EQ(c->size(), 2u);
  EXPECT_EQ((*c)[1].text, "line 50");

  EXPECT_FALSE((*pages)[3].output.pages.has_value());
  EXPECT_EQ((*pages)[3].output.text, "\n");
}

TEST(LegacyTxtCorpus, WindowsLineEndsStayInPages) {
  TempDir dir;
  const std::string content = numbered_lines(60, "\r\n", true);
  dir.write("crlf.txt", content);
  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  const ExtractionOutput& out = (*pages)[0].output;
  EXPECT_EQ(out.text, content);
  ASSERT_EQ(out.pages->size(), 2u);
  EXPECT_EQ((*out.pages)[0].text.substr(0, 8), "line 0\r\n");
  EXPECT_EQ((*out.pages)[0].text.back(), '\r');
  EXPECT_EQ((*out.pages)[1].text,
            numbered_lines(60, "\r\n", true).substr(numbered_lines(50, "\r\n", true).size()));
}

TEST(LegacyTxtCorpus, SkipsWhatIsNotUtf8Text) {
  TempDir dir;
  dir.write("bad.txt", "caf\xe9\n");
  dir.write("truncated.txt", "ok \xe2\x82");
  dir.write("good.txt", "caf\xc3\xa9\n");
  dir.mkdir("folder.txt");
  std::filesystem::create_symlink("/dev/zero", dir / "zero.txt");
  std::filesystem::create_symlink("/dev/null", dir / "null.txt");
  ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  EXPECT_EQ(sources(*pages), std::vector<std::string>{"good.txt"});
}

TEST(LegacyTxtCorpus, NameThatIsNotUtf8) {
  TempDir dir;
  const std::string name = "bad\xff.txt";
  dir.write(name, "hello");
  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  EXPECT_EQ((*pages)[0].source, name);
  EXPECT_EQ((*pages)[0].output.metadata.at("legacySource"),
            json::Value::string("bad\xef\xbf\xbd.txt"));
  // SHA-256 of "bad", U+FFFD, ".txt".
  EXPECT_EQ(corpus_listing_digest(*pages),
            "adff895423872b2d7a2b63ffa601863cd5b9555c3e57bed75367d8c002bbc251");
}

TEST(LegacyTxtCorpus, LargeFile) {
  TempDir dir;
  const std::string content = numbered_lines(200000, "\n", true);
  dir.write("big.txt", content);
  auto pages = load_legacy_txt_corpus(dir.path());
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  const ExtractionOutput& out = (*pages)[0].output;
  EXPECT_EQ(out.text.size(), content.size());
  // 200001 pieces: 4000 full pages and one holding the final empty piece.
  ASSERT_EQ(out.pages->size(), 4001u);
  EXPECT_EQ(out.pages->back().index, 4000u);
  EXPECT_EQ(out.pages->back().text, "");
}

TEST(CorpusListingDigest, HashesNamesOnly) {
  EXPECT_EQ(corpus_listing_digest({}), kEmptySha256);

  TempDir one;
  TempDir two;
  one.write("a.json", extraction_json("first"));
  one.write("b.json", extraction_json("second"));
  two.mkdir("deeper");
  two.write("deeper/a.txt", "other content");
  two.write("deeper/b.txt", "more");
  auto typed = load_typed_artifact_store(one.path());
  auto legacy = load_legacy_txt_corpus(two / "deeper");
  ASSERT_TRUE(typed);
  ASSERT_TRUE(legacy);

  // SHA-256 of the 13 bytes "a.json\nb.json".
  EXPECT_EQ(corpus_listing_digest(*typed),
            "d55c3a1d1fd523ea1e01f920594bec747b8ecc5ff0aa3e9b163722dbfa6d9142");
  // Contents and directories do not matter, the names do.
  std::vector<CorpusPage> renamed = *legacy;
  renamed[0].source = "a.json";
  renamed[1].source = "b.json";
  EXPECT_EQ(corpus_listing_digest(renamed), corpus_listing_digest(*typed));
  EXPECT_NE(corpus_listing_digest(*legacy), corpus_listing_digest(*typed));
}

TEST(FindCorpusPage, ComparesAsPaths) {
  std::vector<CorpusPage> pages(3);
  pages[0].source = "a.json";
  pages[0].output.text = "first";
  pages[1].source = "b.json";
  pages[2].source = "a.json";
  pages[2].output.text = "second";

  const CorpusPage* found = find_corpus_page(pages, "a.json");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, &pages[0]);
  EXPECT_EQ(find_corpus_page(pages, "a.json/"), &pages[0]);
  EXPECT_EQ(find_corpus_page(pages, "b.json"), &pages[1]);
  EXPECT_EQ(find_corpus_page(pages, "./a.json"), nullptr);
  EXPECT_EQ(find_corpus_page(pages, "corpus/a.json"), nullptr);
  EXPECT_EQ(find_corpus_page(pages, "/a.json"), nullptr);
  EXPECT_EQ(find_corpus_page(pages, "A.json"), nullptr);
  EXPECT_EQ(find_corpus_page(pages, "a.jso"), nullptr);
  EXPECT_EQ(find_corpus_page(pages, ""), nullptr);
  EXPECT_EQ(find_corpus_page({}, "a.json"), nullptr);
}

}  // namespace
}  // namespace fennick::provenance
