#include "certificate/watchlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "json/read.h"
#include "json/writer.h"
#include "support/files.h"
#include "text/fs.h"

namespace fennick::certificate {
namespace {

namespace fs = std::filesystem;
using Kind = PostureCrossCheck::Kind;
using test_support::TempDir;

// Writes the BOM where the cross-check looks for it.
void write_bom(const TempDir& dir, std::string_view content) {
  dir.write(".factory/sbom.cdx.json", content);
}

std::optional<AgenticPostureBinding> posture(std::string p) {
  AgenticPostureBinding b;
  b.posture = std::move(p);
  return b;
}

// Keeps every level, so that deep test BOMs reach the scan whole (the cross-check prunes).
json::Value parse(std::string_view text) {
  auto v = json::parse_value_pruned(text, text.size());
  EXPECT_TRUE(v.ok()) << v.error().to_string();
  return v.ok() ? *v : json::Value();
}

// The walk over the tree, checked against the walk done while the text is read.
std::optional<std::string> scan(std::string_view bom_json) {
  std::optional<std::string> hit =
      find_watchlisted_component(parse(bom_json), embedded_watchlist(), 0);
  const auto read_hit = scan_bom_text(bom_json, embedded_watchlist());
  EXPECT_TRUE(read_hit.ok()) << read_hit.error().to_string();
  if (read_hit.ok()) {
    EXPECT_EQ(*read_hit, hit) << bom_json;
  }
  return hit;
}

// A BOM whose only branch nests `levels` components deep (the top-level array is level 1), the
// innermost being `leaf`; `after` is appended to the top-level array.
std::string nested_bom(std::size_t levels, std::string_view leaf, std::string_view after = "") {
  std::string text = R"({"components":[)";
  for (std::size_t i = 1; i < levels; ++i) text += R"({"name":"wrap","components":[)";
  text += leaf;
  for (std::size_t i = 1; i < levels; ++i) text += "]}";
  text += after;
  text += "]}";
  return text;
}

TEST(Watchlist, EmbeddedListHoldsTheTwentySixNpmPackagesInOrder) {
  const AgenticSdkWatchlist list = embedded_watchlist();
  EXPECT_EQ(list.schema_version, "1.0.0");
  // The names in list order, one blank between them.
  const std::string expected =
      "@anthropic-ai/sdk @anthropic-ai/bedrock-sdk @anthropic-ai/vertex-sdk "
      "@anthropic-ai/claude-agent-sdk openai @azure/openai @google/generative-ai "
      "@google-cloud/vertexai @mistralai/mistralai cohere-ai "
      "@aws-sdk/client-bedrock-runtime @huggingface/inference groq-sdk replicate "
      "ollama ai @ai-sdk/anthropic @ai-sdk/openai langchain @langchain/core "
      "@langchain/anthropic @langchain/openai @langchain/langgraph llamaindex "
      "@mastra/core @openai/agents";
  std::string names;
  for (const WatchlistEntry& e : list.packages) {
    names += (names.empty() ? "" : " ") + e.name;
    EXPECT_EQ(e.ecosystem, "npm") << e.name;
    EXPECT_TRUE(e.note.has_value()) << e.name;
  }
  EXPECT_EQ(names, expected);
  ASSERT_EQ(list.packages.size(), 26u);
  EXPECT_EQ(list.packages[3].note, "Anthropic agent SDK (tool-use / agent loops)");
  EXPECT_EQ(list.packages[15].note, "Vercel AI SDK (model calls, tool loops)");
}

TEST(Watchlist, MalformedTextIsABuildDefect) {
  try {
    (void)read_watchlist(R"({"schema_version":"1.0.0"})");
    FAIL() << "no panic";
  } catch (const std::logic_error& e) {
    const std::string what = e.what();
    EXPECT_TRUE(
        what.starts_with("embedded agentic-sdk-watchlist.json is malformed (build-time invariant)"))
        << what;
    EXPECT_NE(what.find("missing field `packages`"), std::string::npos) << what;
  }
  // The note may be left out; other members are skipped.
  const AgenticSdkWatchlist small =
      read_watchlist(R"({"_comment":"x","schema_version":"2","packages":[["npm","ai"]]})");
  ASSERT_EQ(small.packages.size(), 1u);
  EXPECT_FALSE(small.packages[0].note.has_value());
}

TEST(PackageUrl, MatchingUrls) {
  const auto entry = [](std::string name) { return WatchlistEntry{"npm", std::move(name), {}}; };
  EXPECT_TRUE(purl_matches("pkg:npm/%40langchain/core@3?arch=x64", entry("@langchain/core")));
  EXPECT_TRUE(purl_matches("pkg:NPM/openai@4#dist", entry("openai")));
  EXPECT_TRUE(purl_matches("pkg:npm/@openai/agents", entry("@openai/agents")));
  EXPECT_TRUE(purl_matches("pkg:npm/ai", entry("ai")));
  EXPECT_TRUE(purl_matches("pkg:npm/openai#sub@1", entry("openai")));
  EXPECT_TRUE(purl_matches("pkg:npm/@scope@1@2", entry("@scope@1")));
  EXPECT_TRUE(purl_matches("pkg:npm/openai", WatchlistEntry{"nPm", "openai", {}}));
}

TEST(PackageUrl, NonMatchingUrls) {
  const WatchlistEntry openai{"npm", "openai", {}};
  EXPECT_FALSE(purl_matches("PKG:npm/openai", openai));
  EXPECT_FALSE(purl_matches("pkg:npm/OpenAI@4", openai));
  EXPECT_FALSE(
      purl_matches("pkg:npm/%40azure%2Fopenai@1", WatchlistEntry{"npm", "@azure/openai", {}}));
  EXPECT_FALSE(purl_matches("npm/openai", openai));
  EXPECT_FALSE(purl_matches("pkg:pypi/openai@1", openai));
  EXPECT_FALSE(purl_matches("pkg:npm/openai-extra@1", openai));
  EXPECT_FALSE(purl_matches("pkg:npmx/openai", openai));
  // Without "pkg:" the type is empty, which only an empty ecosystem matches.
  EXPECT_TRUE(purl_matches("npm/openai", WatchlistEntry{"", "npm/openai", {}}));
}

TEST(WatchlistScan, PurlDecidesAloneNameOnlyWithoutAStringPurl) {
  EXPECT_EQ(scan(R"({"components":[{"name":"openai"}]})"), "openai");
  EXPECT_EQ(scan(R"({"components":[{"name":"openai","purl":"pkg:pypi/openai@1"}]})"), std::nullopt);
  EXPECT_EQ(scan(R"({"components":[{"name":"openai","purl":7}]})"), "openai");
  EXPECT_EQ(scan(R"({"components":[{"name":"x","purl":"pkg:npm/%40langchain/core@3"}]})"),
            "@langchain/core");
  // Names are compared exactly and whatever the entry's ecosystem.
  EXPECT_EQ(scan(R"({"components":[{"name":"OpenAI"},{"name":"@azure/openai"}]})"),
            "@azure/openai");
}

TEST(WatchlistScan, BomsWithoutComponentsScanClean) {
  for (const char* bom : {R"({})", R"({"components":{"name":"openai"}})", R"([{"name":"ai"}])",
                          R"({"components":[1,"openai",null,[{"name":"ai"}],{"purl":null}]})",
                          R"({"metadata":{"component":{"name":"openai"}}})"}) {
    EXPECT_EQ(scan(bom), std::nullopt) << bom;
  }
  EXPECT_EQ(scan(R"({"components":[1,"openai",{"name":"ollama"}]})"), "ollama");
}

TEST(WatchlistScan, RepeatedMembersKeepTheLast) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {R"({"components":[{"name":"openai"}],"components":[{"name":"ai"}]})", "ai"},
      {R"({"components":[{"name":"openai"}],"components":{}})", std::nullopt},
      {R"({"components":[{"name":"x","components":[{"name":"openai"}],"components":[]},)"
       R"({"name":"ollama"}]})",
       "ollama"},
      {R"({"components":[{"name":"x","components":[{"name":"a"}],"purl":"pkg:npm/ai",)"
       R"("components":[{"name":"openai"}],"components":[{"name":"b"}]}]})",
       "ai"},
      {R"({"components":[{"purl":"pkg:npm/ai","purl":1,"name":"x","name":"openai"}]})", "openai"},
      {R"({"components":[{"purl":1,"purl":"pkg:npm/ai","name":"openai"}]})", "ai"},
      {R"({"components":[{"name":"openai","name":null}]})", std::nullopt},
  };
  for (const auto& [bom, expected] : cases) EXPECT_EQ(scan(bom), expected) << bom;
}

TEST(WatchlistScan, TextThatDoesNotReadFailsAsThePrunedTreeDoes) {
  const std::string deep = nested_bom(200, R"({"name":"\ud800"})");
  for (const std::string& bom :
       {std::string(R"({"components":[{"name":"openai"},]})"), std::string("{\"a\":1e400}"),
        std::string(R"({"components":[{"name":"\ud800"}]})"),
        std::string("{\"components\":[{\"name\":\"\xff\"}]}"), std::string(R"([1,2)"),
        std::string(R"({"a":[1,{"b":tru}]})"), std::string(R"({"components":[]}])"),
        std::string(R"(  )"), deep, deep.substr(0, deep.size() - 3)}) {
    const auto tree = json::parse_value_pruned(bom, 2 * (kMaxComponentDepth + 1) + 1);
    const auto read = scan_bom_text(bom, embedded_watchlist());
    ASSERT_EQ(read.ok(), tree.ok()) << bom;
    if (!tree.ok()) {
      EXPECT_EQ(read.error().to_string(), tree.error().to_string()) << bom;
    }
  }
}

TEST(WatchlistScan, NestedComponentsComeBeforeTheNextSibling) {
  EXPECT_EQ(scan(R"({"components":[{"name":"x","components":[{"name":"y"},)"
                 R"({"name":"z","components":[{"purl":"pkg:npm/langchain@1"}]}]},)"
                 R"({"name":"openai"}]})"),
            "langchain");
  // Within the walk, the component itself comes before what it nests.
  EXPECT_EQ(scan(R"({"components":[{"name":"ai","components":[{"name":"openai"}]}]})"), "ai");
}

TEST(WatchlistScan, ComponentsDownToLevelSixtyFiveAreExamined) {
  EXPECT_EQ(scan(nested_bom(65, R"({"name":"groq-sdk"})")), "groq-sdk");
  EXPECT_EQ(scan(nested_bom(66, R"({"name":"groq-sdk"})")), std::nullopt);
  // The limit prunes only the branch that reaches it: a sibling at level 65 after a component
  // whose nested match sits at level 66, and the top-level sibling, are still examined.
  EXPECT_EQ(scan(nested_bom(65, R"({"name":"w","components":[{"name":"ai"}]},{"name":"ollama"})")),
            "ollama");
  EXPECT_EQ(scan(nested_bom(66, R"({"name":"ai"})", R"(,{"name":"replicate"})")), "replicate");
  // A caller starting deeper gets correspondingly less.
  EXPECT_EQ(find_watchlisted_component(parse(R"({"components":[{"name":"ai"}]})"),
                                       embedded_watchlist(), 65),
            std::nullopt);
}

TEST(PostureCrossCheck, StepsBeforeTheBomIsRead) {
  TempDir dir;
  write_bom(dir, R"({"components":[{"name":"openai"}]})");
  EXPECT_EQ(cross_check_agentic_posture(std::nullopt, std::nullopt).kind, Kind::kUnstated);
  EXPECT_EQ(cross_check_agentic_posture(std::nullopt, dir.path()).kind, Kind::kUnstated);
  EXPECT_EQ(cross_check_agentic_posture(posture("declared"), dir.path()).kind, Kind::kDeclared);
  EXPECT_EQ(cross_check_agentic_posture(posture("governed"), "/nonexistent/fennick").kind,
            Kind::kDeclared);
  EXPECT_EQ(cross_check_agentic_posture(posture("None"), dir.path()).kind, Kind::kDeclared);
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), std::nullopt).kind, Kind::kNoneUnverified);
}

TEST(PostureCrossCheck, MissingBomIsUnreadable) {
  TempDir dir;
  const PostureCrossCheck r = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(r.kind, Kind::kBomUnreadable);
  EXPECT_EQ(r.path, dir.path() + "/.factory/sbom.cdx.json");
  EXPECT_EQ(r.error, "No such file or directory (os error 2)");

  // The path is shown as the argument spelled it, with bytes that are not UTF-8 replaced.
  const PostureCrossCheck odd =
      cross_check_agentic_posture(posture("none"), dir.path() + "/b\xff" + "d/");
  EXPECT_EQ(odd.kind, Kind::kBomUnreadable);
  EXPECT_EQ(odd.path, dir.path() + "/b\xEF\xBF\xBD" + "d/.factory/sbom.cdx.json");
  EXPECT_EQ(odd.error, "No such file or directory (os error 2)");

  // A BOM linked to a device that never ends is not read.
  fs::create_directories(dir / ".factory");
  fs::create_symlink("/dev/zero", dir / ".factory/sbom.cdx.json");
  const PostureCrossCheck device = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(device.kind, Kind::kBomUnreadable);
  EXPECT_EQ(device.error, "not a regular file");
}

TEST(PostureCrossCheck, BomThatDoesNotParseIsUnreadableNotClean) {
  TempDir dir;
  write_bom(dir, R"({"components":[]} x)");
  const PostureCrossCheck r = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(r.kind, Kind::kBomUnreadable);
  EXPECT_EQ(r.path, dir.path() + "/.factory/sbom.cdx.json");
  EXPECT_EQ(r.error, "trailing characters at line 1 column 19");
}

TEST(PostureCrossCheck, ScansTheBom) {
  TempDir dir;
  write_bom(dir, R"({"bomFormat":"CycloneDX"})");
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), dir.path()).kind, Kind::kNoneClean);
  write_bom(dir, R"({"components":[{"name":"left-pad","purl":"pkg:npm/left-pad@1"}]} )");
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), dir.path()).kind, Kind::kNoneClean);

  write_bom(dir, nested_bom(65, R"({"purl":"pkg:npm/%40mastra/core@0.1"})"));
  const PostureCrossCheck hit = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(hit.kind, Kind::kContradicted);
  EXPECT_EQ(hit.posture, "none");
  EXPECT_EQ(hit.dependency, "@mastra/core");

  write_bom(dir, nested_bom(66, R"({"purl":"pkg:npm/%40mastra/core@0.1"})"));
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), dir.path()).kind, Kind::kNoneClean);
}

TEST(PostureCrossCheck, VeryDeepBomIsScannedWithoutExhaustingTheStack) {
  constexpr std::size_t kDepth = 100000;
  TempDir dir;
  write_bom(dir, nested_bom(kDepth, R"({"name":"openai"})"));
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), dir.path()).kind, Kind::kNoneClean);

  write_bom(dir, nested_bom(kDepth, R"({"name":"openai"})", R"(,{"purl":"pkg:npm/llamaindex"})"));
  const PostureCrossCheck hit = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(hit.kind, Kind::kContradicted);
  EXPECT_EQ(hit.dependency, "llamaindex");

  // Cut short deep inside: a parse failure, not a crash and not a clean scan.
  const std::string whole = nested_bom(kDepth, "{}");
  write_bom(dir, std::string_view(whole).substr(0, whole.size() / 2));
  const PostureCrossCheck cut = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(cut.kind, Kind::kBomUnreadable);
  EXPECT_TRUE(cut.error.starts_with("EOF while parsing")) << cut.error;
}

// Real CycloneDX BOMs: none holds a watchlisted package, and a copy with one added is caught.
class ExampleBoms : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleBoms, CleanAsPublishedContradictedOnceAnSdkIsNested) {
  const fs::path source =
      fs::path(FENNICK_EXTERNAL_DIR) / "cyclonedx-bom-examples/SBOM" / GetParam();
  if (!fs::exists(source)) GTEST_SKIP() << "external BOM examples not present: " << source;
  auto bytes = text::read_file(source.string(), text::OpenMode::kAsGiven);
  ASSERT_TRUE(bytes.ok()) << bytes.error();

  TempDir dir;
  write_bom(dir, *bytes);
  EXPECT_EQ(cross_check_agentic_posture(posture("none"), dir.path()).kind, Kind::kNoneClean);
  EXPECT_EQ(scan(*bytes), std::nullopt);

  auto bom = json::parse_value(*bytes);
  ASSERT_TRUE(bom.ok()) << bom.error().to_string();
  ASSERT_NE(bom->as_object(), nullptr);
  json::Value::Array* top = (*bom->as_object())["components"].as_array();
  ASSERT_TRUE(top != nullptr && !top->empty());
  json::Value::Object& host = *top->front().as_object();
  if (host.find("components") == host.end()) host["components"] = json::Value::array({});
  json::Value::Object added;
  added["name"] = json::Value::string("core");
  added["purl"] = json::Value::string("pkg:npm/%40langchain/core@0.1.0");
  host["components"].as_array()->push_back(json::Value::object(std::move(added)));
  std::string edited;
  json::write_value(edited, *bom);
  write_bom(dir, edited);
  EXPECT_EQ(scan(edited), "@langchain/core");

  const PostureCrossCheck r = cross_check_agentic_posture(posture("none"), dir.path());
  EXPECT_EQ(r.kind, Kind::kContradicted);
  EXPECT_EQ(r.dependency, "@langchain/core");
}

INSTANTIATE_TEST_SUITE_P(CycloneDx, ExampleBoms,
                         ::testing::Values("cern-lhc-vdm-editor-e564943/bom.json",
                                           "protonmail-webclient-v4-0912dff/bom.json",
                                           "juice-shop/via_npm/bare/bom.1.4.json",
                                           "dropwizard-1.3.15/bom.json"));

}  // namespace
}  // namespace fennick::certificate
