#include "provenance/validator/brd.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "provenance/tokens.h"
#include "provenance/validator/validator.h"
#include "support/files.h"

namespace fennick::provenance {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

const std::string kHeading = "# Business Requirements Document\n";

TEST(FindBrd, CanonicalPathIsUsedWhateverItHolds) {
  TempDir project;
  const std::string canonical = "requirements/business-requirements-document.md";
  const std::string path = project.write(canonical, "plain notes\n");
  project.write("requirements/a.md", kHeading);
  EXPECT_EQ(find_brd(project.path()).path, path);
  EXPECT_EQ(find_brd(project.path()).text, "plain notes\n");
  EXPECT_FALSE(find_brd(project.path()).unreadable);
  project.write(canonical, "");  // empty is read, and holds nothing
  EXPECT_FALSE(find_brd(project.path()).unreadable);

  project.write(canonical, kHeading + "\xFF\n");  // not UTF-8: found, but no text
  EXPECT_EQ(find_brd(project.path()).path, path);
  EXPECT_EQ(find_brd(project.path()).text, "");
  EXPECT_TRUE(find_brd(project.path()).unreadable);

  fs::remove(path);
  fs::create_directory(path);  // a directory of that name counts as found, too
  EXPECT_EQ(find_brd(project.path()).path, path);
  EXPECT_EQ(find_brd(project.path()).text, "");
  EXPECT_TRUE(find_brd(project.path()).unreadable);

  // So do a link to a device and a FIFO, which are not read: a read would never end or stall.
  fs::remove(path);
  fs::create_symlink("/dev/zero", path);
  EXPECT_EQ(find_brd(project.path()).path, path);
  EXPECT_EQ(find_brd(project.path()).text, "");
  EXPECT_TRUE(find_brd(project.path()).unreadable);
  fs::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(find_brd(project.path()).path, path);
  EXPECT_EQ(find_brd(project.path()).text, "");
  EXPECT_TRUE(find_brd(project.path()).unreadable);
}

TEST(FindBrd, SearchesMarkdownFilesInByteOrder) {
  TempDir project;
  EXPECT_FALSE(find_brd(project.path()).path);
  project.write("requirements/0-notes.md", "# Notes\n" + kHeading);
  project.write("requirements/1-bad.md", kHeading + "\xC3(");
  project.write("requirements/2-brd.MD", kHeading);  // extensions compare exactly
  project.write("requirements/3-brd.txt", kHeading);
  fs::create_symlink("/dev/zero", project / "requirements/4-zero.md");
  ASSERT_EQ(::mkfifo((project / "requirements/5-pipe.md").c_str(), 0600), 0);
  EXPECT_FALSE(find_brd(project.path()).path);

  project.write("requirements/b.md", kHeading + "b\n");
  const std::string upper = project.write("requirements/C.md", kHeading + "C\n");
  const BrdLookup found = find_brd(project.path());
  EXPECT_EQ(found.path, upper);  // "C" sorts before "b"
  EXPECT_EQ(found.text, kHeading + "C\n");
  EXPECT_FALSE(found.unreadable);  // a candidate that does not read is no BRD at all
  EXPECT_FALSE(find_brd(project.path() + "/missing").path);
}

TEST(IsBrdFile, FirstSignificantLineAmongTheFirstFiftyDecides) {
  TempDir dir;
  EXPECT_TRUE(
      is_brd_file(dir.write("a.md", "---\n\n---\n# Business Requirements Document: Portal")));
  EXPECT_FALSE(is_brd_file(dir.write("b.md", "---\ntitle: Portal\n---\n" + kHeading)));
  EXPECT_TRUE(is_brd_file(dir.write("c.md", "\u00A0 \r\n\t# BUSINESS requirements DOCUMENT\r\n")));
  EXPECT_FALSE(is_brd_file(dir.write("d.md", "## Business Requirements Document\n")));
  EXPECT_FALSE(is_brd_file(dir.write("e.md", "# Business Requirements\n")));
  EXPECT_FALSE(is_brd_file(dir.write("f.md", "")));
  EXPECT_FALSE(is_brd_file(dir.write("g.md", kHeading + "\xFF\xFE")));
  EXPECT_FALSE(is_brd_file(dir.path() + "/missing.md"));
  EXPECT_FALSE(is_brd_file(dir.path()));
  std::string skipped;
  for (int i = 0; i < 49; ++i) skipped += (i % 2 == 0) ? "\n" : "----\n";
  EXPECT_TRUE(is_brd_file(dir.write("line50.md", skipped + kHeading)));
  EXPECT_FALSE(is_brd_file(dir.write("line51.md", skipped + "\n" + kHeading)));
}

TEST(ExtractClaims, WorkedExample) {
  const ClaimExtraction result = extract_claims(
      "# Business Requirements Document\nScope covers BR-1 and UC-2.\n### BR-001: Sign in\n"
      "Users sign in with SSO.\n\n#### Notes\n### UC-7 Search\n## Appendix\nSee SWREQ-4.\n");
  ASSERT_EQ(result.claims.size(), 2u);
  EXPECT_EQ(result.unparsed_inline_count, 3u);
  EXPECT_EQ(result.claims[0].id, "BR-001");
  EXPECT_EQ(result.claims[0].kind, RequirementKind::kBr);
  EXPECT_EQ(result.claims[0].text, "Sign in Users sign in with SSO.\n\n#### Notes");
  EXPECT_EQ(result.claims[0].anchor_hash, crypto::sha256_hex("in notes sign sso users with"));
  EXPECT_EQ(result.claims[1].id, "UC-7");
  EXPECT_EQ(result.claims[1].kind, RequirementKind::kUc);
  EXPECT_EQ(result.claims[1].text, "Search");
  EXPECT_EQ(result.claims[1].anchor_hash, crypto::sha256_hex("search"));
}

TEST(ExtractClaims, HeadingForms) {
  const struct {
    const char* brd;
    const char* id;
    const char* text;
  } cases[] = {
      {"### BR-001: Sign in\nbody", "BR-001", "Sign in body"},
      {"### BR-001 : Sign in", "BR-001", "Sign in"},
      {"### Requirement BR-001 Sign in", "BR-001", "Sign in"},
      {"### BR-001.: :: Sign: in:", "BR-001", "Sign: in:"},
      {"### BR-001\nonly the body\n", "BR-001", "only the body"},
      {"### BR-001", "BR-001", ""},
      {"### BR-+7 Plus", "BR-+7", "Plus"},
      {"### SYSREQ-4294967295 Max", "SYSREQ-4294967295", "Max"},
      {"   ### USRREQ-2\u00A0Title\r\n  one\r\n\r\n    two  \r\n", "USRREQ-2",
       "Title one\n\n    two"},
      {"### STK-1 Title\r", "STK-1", "Title"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.brd);
    const ClaimExtraction result = extract_claims(c.brd);
    ASSERT_EQ(result.claims.size(), 1u);
    EXPECT_EQ(result.claims[0].id, c.id);
    EXPECT_EQ(result.claims[0].text, c.text);
    EXPECT_EQ(result.unparsed_inline_count, 0u);
  }
}

TEST(ExtractClaims, IdsOutsideClaimBodiesAreCounted) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"### See (BR-3)", 1},
      {"### br-001 Lower", 0},
      {"### BR001 No dash", 0},
      {"### BR- Empty", 0},
      {"### BR-4294967296", 0},
      {"###\tBR-1 tab", 1},
      {"#### BR-9 Detail", 1},
      {"#BR-1", 1},
      {"", 0},
  };
  for (const auto& [brd, count] : cases) {
    SCOPED_TRACE(brd);
    const ClaimExtraction result = extract_claims(brd);
    EXPECT_TRUE(result.claims.empty());
    EXPECT_EQ(result.unparsed_inline_count, count);
  }
  const ClaimExtraction result = extract_claims(
      "### BR-1 First\n#### BR-9 Detail\nmentions UC-3\n## Section SN-1\nloose TC-2\n"
      "#### INT-5\n### FS-2\nunder STREQ-8\n");
  ASSERT_EQ(result.claims.size(), 2u);
  EXPECT_EQ(result.claims[0].text, "First #### BR-9 Detail\nmentions UC-3");
  EXPECT_EQ(result.claims[1].kind, RequirementKind::kFs);
  EXPECT_EQ(result.unparsed_inline_count, 3u);  // SN-1, TC-2, INT-5
}

TEST(RequirementIds, ParseClassifyAndCount) {
  for (std::uint8_t i = 0; i <= static_cast<std::uint8_t>(RequirementKind::kUsrreq); ++i) {
    const auto kind = static_cast<RequirementKind>(i);
    EXPECT_EQ(parse_requirement_id(std::string(requirement_kind_prefix(kind)) + "-12"), kind);
  }
  EXPECT_EQ(requirement_kind_prefix(RequirementKind::kSysreq), "SYSREQ");
  EXPECT_EQ(parse_requirement_id("SWREQ-+0001"), RequirementKind::kSwreq);
  for (const char* word :
       {"br-1", "BR", "BR1", "BR-", "BR-+", "BR--1", "BR-1-2", "BR-++1", "BR-1a", "-1", "REQ-1",
        "BR-4294967296", "BR-99999999999999999999", "BR-\uFF11"}) {
    EXPECT_FALSE(parse_requirement_id(word)) << word;
  }
  EXPECT_FALSE(classify_requirement_prefix("sysreq"));

  EXPECT_EQ(count_requirement_ids("BR-1, BR-2 and SYSREQ-3"), 3u);
  EXPECT_EQ(count_requirement_ids("BR-1-2"), 0u);
  EXPECT_EQ(count_requirement_ids("(BR-1)[UC-2]_FS-4\u2014TC-3"), 4u);
  EXPECT_EQ(count_requirement_ids("xBR-1 \u00E9UC-2 \u00BDTC-3"), 0u);
}

TEST(NewClaim, FillsTheRecord) {
  const auto before = std::chrono::system_clock::now();
  const ProvenanceClaim claim = new_claim("INT-3", RequirementKind::kInt, "Export the Ledger.");
  EXPECT_LE(before, claim.created_on);
  EXPECT_LE(claim.created_on, std::chrono::system_clock::now());
  EXPECT_EQ(claim.id, "INT-3");
  EXPECT_EQ(claim.kind, RequirementKind::kInt);
  EXPECT_EQ(claim.text, "Export the Ledger.");
  EXPECT_EQ(claim.anchor_hash, crypto::sha256_hex("export ledger"));
  EXPECT_TRUE(claim.citations().empty() && claim.reserved_list().empty());
  EXPECT_FALSE(claim.assumption() || claim.reserved_triple() || claim.reserved_single());
  EXPECT_FALSE(claim.reserved_flag_first);
  EXPECT_TRUE(claim.reserved_flag_second);
}

// Claims view one block of their own and verdicts share it: both outlive the BRD text and the
// claim list, and a copied claim stays whole after the original is gone.
TEST(ExtractClaims, ClaimsAndVerdictsOutliveTheBrdAndTheClaimList) {
  std::optional<ProvenanceClaim> kept;
  std::vector<ClaimVerdict> verdicts;
  {
    std::string brd = kHeading + "### BR-001: Sign in\n  Users sign in.  \n\n### UC-7 :: Search\n";
    std::optional<ClaimExtraction> extraction = extract_claims(brd);
    brd.assign(brd.size(), '#');
    ASSERT_EQ(extraction->claims.size(), 2u);
    kept = extraction->claims[0];
    verdicts = reject_all_claims(extraction->claims, "reason");
    extraction.reset();
  }
  EXPECT_EQ(kept->id, "BR-001");
  EXPECT_EQ(kept->text, "Sign in Users sign in.");
  EXPECT_EQ(kept->anchor_hash, token_fingerprint("Sign in Users sign in."));
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[1].id, "UC-7");
  EXPECT_EQ(verdicts[1].anchor_hash, token_fingerprint("Search"));
  EXPECT_EQ(verdicts[1].mode, VerdictMode::rejected("reason"));
}

TEST(ExtractClaims, ArbitraryContentDoesNotBreakIt) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
  for (const ProvenanceClaim& claim : extract_claims(binary).claims) {
    EXPECT_EQ(claim.anchor_hash.size(), 64u);
  }
  const ClaimExtraction one = extract_claims("### BR-1 " + std::string(1'000'000, 'x') + " UC-2");
  ASSERT_EQ(one.claims.size(), 1u);
  EXPECT_EQ(one.claims[0].text.size(), 1'000'005u);
  std::string many;
  for (int i = 0; i < 100'000; ++i) many += "BR-1 ";
  EXPECT_EQ(extract_claims(many).unparsed_inline_count, 100'000u);
}

}  // namespace
}  // namespace fennick::provenance
