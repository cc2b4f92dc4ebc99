// Resource bounds of certificate reading, canonical writing and the posture cross-check: very
// large and very deep inputs complete, with the results the small cases have. Sizes shrink under
// the sanitizers (support/resource.h); speed and memory are measured by the benchmarks.

#include "support/resource.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "certificate/watchlist.h"

namespace fennick::certificate {
namespace {

using test_support::scaled;
using test_support::ScratchDir;

constexpr std::string_view kRequired =
    R"({"certificateVersion":"1.5.0","pipelineRunId":"run-1","timestamp":"2024-05-01T10:00:00Z",)"
    R"("status":"complete","intent":{"requirementsHash":"r1"},"buildSpec":{"hash":"b1"},)"
    R"("stages":[],"verification":{"compile":"passed","test":"passed","lint":"passed",)"
    R"("typecheck":"passed","securityScan":"passed"},)"
    R"("proofChain":{"recordCount":3,"chainIntegrity":"verified"},"goalId":"G",)"
    R"("certificateHash":"c1"})";

std::string canonical_of(std::string_view text) {
  const auto read = read_certificate_json(text);
  if (!read.ok()) return "read error: " + read.error().to_string();
  auto written = write_certificate_json(*read);
  if (!written.ok()) return "write error: " + written.error();
  return std::move(*written);
}

void replace_once(std::string& text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// A text that is already canonical: the small certificate's canonical text with a long goal id
// and many stages, each with sixteen artifacts, put in. Writing what it reads must give it back.
TEST(CertificateResources, HugeCertificateReadsAndWritesBack) {
  const std::size_t target = scaled(200u << 20, 50u << 20);
  std::string skeleton = canonical_of(kRequired);
  ASSERT_EQ(skeleton.find("error"), std::string::npos) << skeleton;

  const std::string digest(64, 'a');
  std::string stages = "[";
  std::size_t stage_count = 0;
  while (stages.size() < target * 9 / 10) {
    if (stage_count > 0) stages += ',';
    stages += R"({"stageId":"stage-)" + std::to_string(stage_count) +
              R"(","status":"passed","artifactHashes":{)";
    for (int a = 0; a < 16; ++a) {
      if (a > 0) stages += ',';
      // Two-digit names, so that the keys already stand in the canonical (byte) order.
      stages += "\"artifact-" + std::to_string(a / 10) + std::to_string(a % 10) + ".bin\":\"" +
                digest + "\"";
    }
    stages += R"(},"gateResult":null})";
    ++stage_count;
  }
  stages += ']';
  const std::string goal(target / 10, 'g');

  std::string huge = skeleton;
  replace_once(huge, R"("stages":[])", R"("stages":)" + stages);
  replace_once(huge, R"("goalId":"G")", R"("goalId":")" + goal + "\"");
  stages = std::string();

  const auto read = read_certificate_json(huge);
  ASSERT_TRUE(read.ok()) << read.error().to_string();
  EXPECT_EQ(read->stages.size(), stage_count);
  EXPECT_EQ(read->stages.back().artifact_hashes.size(), 16u);
  ASSERT_TRUE(read->goal_id.has_value());
  EXPECT_EQ(read->goal_id->size(), goal.size());
  const auto written = write_certificate_json(*read);
  ASSERT_TRUE(written.ok()) << written.error();
  EXPECT_EQ(written->size(), huge.size());
  EXPECT_TRUE(*written == huge);
}

// Ten million levels under keys no record declares, at the root and inside a stage: skipped
// whole, whatever the depth, and invisible in the canonical text.
TEST(CertificateResources, TenMillionDeepUndeclaredValuesAreSkipped) {
  constexpr std::size_t kDeep = 10'000'000;
  std::string deep;
  deep.reserve(4 * kDeep);
  for (std::size_t i = 0; i < kDeep / 2; ++i) deep += R"({"k":[)";
  for (std::size_t i = 0; i < kDeep / 2; ++i) deep += "]}";

  const std::string expected = canonical_of(kRequired);
  std::string at_root(kRequired);
  replace_once(at_root, R"("goalId")", R"("deep":)" + deep + R"(,"goalId")");
  EXPECT_EQ(canonical_of(at_root), expected);

  std::string in_stage(kRequired);
  replace_once(
      in_stage, R"("stages":[])",
      R"("stages":[{"stageId":"s","x":)" + deep + R"(,"status":"passed","artifactHashes":{}}])");
  std::string expected_stage = expected;
  replace_once(expected_stage, R"("stages":[])",
               R"("stages":[{"stageId":"s","status":"passed","artifactHashes":{},)"
               R"("gateResult":null}])");
  EXPECT_EQ(canonical_of(in_stage), expected_stage);

  // Unclosed, it is still a syntax error and not a crash.
  std::string unclosed(kRequired.substr(0, kRequired.find(R"("goalId")")));
  unclosed += R"("deep":)" + deep.substr(0, 6 * (kDeep / 4));  // ends after a "["
  const auto read = read_certificate_json(unclosed);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().message, "EOF while parsing a list");
}

// A BOM whose components nest `levels` deep, one component per level, each named "c" except the
// one at `hit_level` (1 = the top-level array), named "openai", a watchlisted package. `after`
// follows the chain in the top-level array.
std::string chain_bom(std::size_t levels, std::size_t hit_level, std::string_view after = "") {
  std::string bom = R"({"bomFormat":"CycloneDX","components":[)";
  bom.reserve(levels * 40);
  for (std::size_t level = 1; level <= levels; ++level) {
    bom += level == hit_level ? R"({"name":"openai")" : R"({"name":"c")";
    if (level < levels) bom += R"(,"components":[)";
  }
  bom += '}';
  for (std::size_t level = 1; level < levels; ++level) bom += "]}";
  bom += after;
  bom += "]}";
  return bom;
}

PostureCrossCheck cross_check_bom(const std::string& bom) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() + "/.factory");
  std::ofstream(dir.path() + "/.factory/sbom.cdx.json", std::ios::binary) << bom;
  AgenticPostureBinding binding;
  binding.posture = "none";
  return cross_check_agentic_posture(binding, dir.path());
}

TEST(CertificateResources, HundredThousandDeepBomIsScannedToItsLimit) {
  constexpr std::size_t kLevels = 100'000;
  // Components below level 65 are not examined, however deep the tree goes.
  const PostureCrossCheck deepest = cross_check_bom(chain_bom(kLevels, kLevels));
  EXPECT_EQ(deepest.kind, PostureCrossCheck::Kind::kNoneClean) << deepest.error;
  EXPECT_EQ(cross_check_bom(chain_bom(kLevels, 66)).kind, PostureCrossCheck::Kind::kNoneClean);

  // Level 65 is, even with a hundred thousand levels below it.
  const PostureCrossCheck at_limit = cross_check_bom(chain_bom(kLevels, 65));
  EXPECT_EQ(at_limit.kind, PostureCrossCheck::Kind::kContradicted) << at_limit.error;
  EXPECT_EQ(at_limit.dependency, "openai");
  EXPECT_EQ(at_limit.posture, "none");

  // Reaching the limit prunes only that branch: the next top-level component is still scanned.
  const PostureCrossCheck sibling =
      cross_check_bom(chain_bom(kLevels, 0, R"(,{"purl":"pkg:npm/openai@4"})"));
  EXPECT_EQ(sibling.kind, PostureCrossCheck::Kind::kContradicted) << sibling.error;
  EXPECT_EQ(sibling.dependency, "openai");
}

}  // namespace
}  // namespace fennick::certificate
