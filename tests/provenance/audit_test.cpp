#include "provenance/validator/audit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/sha256.h"
#include "provenance/validator/internal.h"
#include "support/digests.h"
#include "support/files.h"
#include "support/provenance_fixtures.h"

namespace fennick::provenance {
namespace {

using test_support::extraction_json;
using test_support::kEmptySha256;
using test_support::TempDir;
using test_support::write_file;

// A project directory named `name` inside a fresh temporary directory.
class Project {
 public:
  explicit Project(std::string_view name = "project") : dir_(root_.mkdir(name)) {}

  const std::string& dir() const { return dir_; }
  std::string at(std::string_view relative) const { return dir_ + "/" + std::string(relative); }
  void write(std::string_view relative, std::string_view bytes) const {
    write_file(at(relative), bytes);
  }
  void mkdir(std::string_view relative) const { std::filesystem::create_directories(at(relative)); }

 private:
  TempDir root_;
  std::string dir_;
};

constexpr std::string_view kBrdPath = "requirements/business-requirements-document.md";

constexpr std::string_view kBrd =
    "# Business Requirements Document\n"
    "Scope covers BR-1 and UC-2.\n"
    "### BR-001: users reach the Acme portal\n"
    "### BR-002: settle payments with Stripe\n"
    "### BR-003: sync tickets with Zendesk\n"
    "### BR-004: post entries to Ledgerly\n";

std::string embedded_only_digest() {
  AllowlistInputs inputs;
  inputs.project_strings = {"", "", ""};
  return build_effective_allowlist(inputs).digest;
}

TEST(CorpusSourceName, PrintsTheNamesAsWritten) {
  EXPECT_EQ(corpus_source_name(CorpusSource::kTypedArtifactStore), "TypedArtifactStore");
  EXPECT_EQ(corpus_source_name(CorpusSource::kLegacyTxt), "LegacyTxt");
  EXPECT_EQ(corpus_source_name(CorpusSource::kOverride), "Override");
  EXPECT_EQ(corpus_source_name(CorpusSource::kEmpty), "Empty");
}

TEST(VerifyProvenance, EmptyProjectReportsNoBrdAndNoCorpus) {
  const Project project;
  const ProvenanceAuditResult result = verify_provenance(project.dir(), std::nullopt);
  EXPECT_TRUE(result.brd_not_found);
  EXPECT_FALSE(result.brd_unreadable);
  EXPECT_FALSE(result.brd_path.has_value());
  EXPECT_TRUE(result.report.verdicts.empty());
  EXPECT_EQ(result.report.total, 0u);
  EXPECT_EQ(result.report.rejected, 0u);
  EXPECT_EQ(result.unparsed_inline_count, 0u);
  EXPECT_TRUE(result.corpus_empty);
  EXPECT_EQ(result.corpus_source, CorpusSource::kEmpty);
  EXPECT_FALSE(result.synthesized_corpus);
  EXPECT_EQ(result.report.extracted_corpus_hash, kEmptySha256);
  EXPECT_FALSE(result.report.validator_panic.has_value());
}

TEST(VerifyProvenance, UnreadableBrdCountsAsFoundWithoutClaims) {
  const Project invalid;
  invalid.write(kBrdPath, "# Business Requirements Document\n### BR-1 x \xff\n");
  const Project directory;
  directory.mkdir(kBrdPath);
  std::vector<const Project*> projects = {&invalid, &directory};
  // Too large to hold: unreadable like the others, not a fault that rejects the whole audit.
  const Project huge;
  huge.write(kBrdPath, "");
#if !defined(__SANITIZE_ADDRESS__)  // which ends the process on an allocation of this size
  if (test_support::make_unallocatable_sparse(huge.at(kBrdPath))) projects.push_back(&huge);
#endif
  for (const Project* project : projects) {
    const ProvenanceAuditResult result = verify_provenance(project->dir(), std::nullopt);
    EXPECT_EQ(result.brd_path, project->at(kBrdPath));
    EXPECT_FALSE(result.brd_not_found);
    EXPECT_TRUE(result.brd_unreadable);
    EXPECT_TRUE(result.report.verdicts.empty());
    EXPECT_FALSE(result.report.validator_panic.has_value());
  }
}

TEST(VerifyProvenance, ClassifiesBrdClaimsAgainstTheTypedStore) {
  const Project project("acme-portal");
  project.write(kBrdPath, kBrd);
  project.write(".artifacts/corpus/b.json", extraction_json("Ledgerly books every entry"));
  project.write(".artifacts/corpus/a.json", extraction_json("cards are settled by stripe nightly"));
  project.write(".artifacts/corpus/broken.json", "{");
  project.write(".artifacts/extracted/old.txt", "Zendesk");

  const ProvenanceAuditResult result = verify_provenance(project.dir(), std::nullopt);
  EXPECT_EQ(result.brd_path, project.at(kBrdPath));
  EXPECT_FALSE(result.brd_not_found);
  EXPECT_FALSE(result.brd_unreadable);
  EXPECT_EQ(result.unparsed_inline_count, 2u);
  EXPECT_EQ(result.corpus_source, CorpusSource::kTypedArtifactStore);
  EXPECT_FALSE(result.synthesized_corpus);
  EXPECT_FALSE(result.corpus_empty);
  EXPECT_EQ(result.report.extracted_corpus_hash, crypto::sha256_hex("a.json\nb.json"));
  // Acme comes from the project name, Ledgerly from a capitalised corpus word; stripe occurs
  // only in lower case, so it is found but not allowlisted; Zendesk is only in the unused
  // legacy directory.
  EXPECT_EQ(test_support::verdict_reasons(result.report),
            (std::vector<std::string>{"derived", "citation_unbound",
                                      "no_citation_for_external_entity", "derived"}));
  EXPECT_EQ(result.report.total, 4u);
  EXPECT_EQ(result.report.derived, 2u);
  EXPECT_EQ(result.report.rejected, 2u);
  EXPECT_NE(result.report.allowlist_version_hash, embedded_only_digest());
}

TEST(VerifyProvenance, GivenCorpusDirectoryIsAnOverrideWhateverItYields) {
  const Project project;
  project.write("elsewhere/notes.txt", "Zendesk tickets");
  project.write("elsewhere/a.md", "ignored");
  project.write(".artifacts/corpus/a.json", extraction_json("typed"));
  project.mkdir("empty");

  const ProvenanceAuditResult legacy = verify_provenance(project.dir(), project.at("elsewhere"));
  EXPECT_EQ(legacy.corpus_source, CorpusSource::kOverride);
  EXPECT_FALSE(legacy.synthesized_corpus);
  EXPECT_FALSE(legacy.corpus_empty);
  EXPECT_EQ(legacy.report.extracted_corpus_hash, crypto::sha256_hex("notes.txt"));

  for (const std::string& dir : {project.at("empty"), project.at("absent")}) {
    const ProvenanceAuditResult empty = verify_provenance(project.dir(), dir);
    EXPECT_EQ(empty.corpus_source, CorpusSource::kOverride);
    EXPECT_TRUE(empty.corpus_empty);
    EXPECT_EQ(empty.report.extracted_corpus_hash, kEmptySha256);
  }
}

TEST(VerifyProvenance, UnusableTypedStoreFallsThroughToLegacyText) {
  const Project project;
  project.write(".artifacts/corpus/bad.json", "not json");
  project.write(".artifacts/extracted/b.txt", "two");
  project.write(".artifacts/extracted/a.txt", "one");
  const ProvenanceAuditResult result = verify_provenance(project.dir(), std::nullopt);
  EXPECT_EQ(result.corpus_source, CorpusSource::kLegacyTxt);
  EXPECT_TRUE(result.synthesized_corpus);
  EXPECT_EQ(result.report.extracted_corpus_hash, crypto::sha256_hex("a.txt\nb.txt"));

  // A file where the store directory should be is no directory: the legacy text still serves.
  const Project file_store;
  file_store.write(".artifacts/corpus", "x");
  file_store.write(".artifacts/extracted/a.txt", "one");
  EXPECT_EQ(verify_provenance(file_store.dir(), std::nullopt).corpus_source,
            CorpusSource::kLegacyTxt);
}

TEST(VerifyProvenance, TypedStoreWithPagesLeavesLegacyDirectoryUnread) {
  const Project project;
  project.write(".artifacts/corpus/a.json", extraction_json("typed"));
  project.write(".artifacts/extracted/a.txt", "legacy");
  internal::AuditHooks hooks;
  int legacy_loads = 0;
  hooks.load_legacy = [&](const std::string& dir) {
    ++legacy_loads;
    return load_legacy_txt_corpus(dir);
  };
  const ProvenanceAuditResult result = internal::verify_provenance(project.dir(), {}, hooks);
  EXPECT_EQ(result.corpus_source, CorpusSource::kTypedArtifactStore);
  EXPECT_EQ(legacy_loads, 0);
}

// The allowlist inputs the driver builds, captured at the seam.
struct CapturedInputs {
  std::vector<std::string> project_strings;
  std::vector<std::string> texts;
  bool entities = true;
  bool extras = true;
  std::uint32_t threshold = 0;
};

CapturedInputs capture_allowlist_inputs(const std::string& project_dir,
                                        const internal::CorpusLoader& typed = {}) {
  CapturedInputs captured;
  internal::AuditHooks hooks;
  if (typed) hooks.load_typed = typed;
  hooks.build_allowlist = [&](const AllowlistInputs& inputs) {
    for (std::string_view s : inputs.project_strings) captured.project_strings.emplace_back(s);
    for (const ExtractionOutput& d : inputs.documents) captured.texts.push_back(d.text);
    captured.entities = inputs.entities_text.has_value();
    captured.extras = inputs.extra_tokens.has_value();
    captured.threshold = inputs.threshold;
    return build_effective_allowlist(inputs);
  };
  const ProvenanceAuditResult result = internal::verify_provenance(project_dir, {}, hooks);
  EXPECT_FALSE(result.report.validator_panic.has_value());
  return captured;
}

TEST(VerifyProvenance, ProjectNameFeedsTheAllowlist) {
  const Project hyphenated("my-portal");
  const CapturedInputs named = capture_allowlist_inputs(hyphenated.dir());
  EXPECT_EQ(named.project_strings, (std::vector<std::string>{"my portal", "my-portal", ""}));
  EXPECT_FALSE(named.entities);
  EXPECT_FALSE(named.extras);
  EXPECT_EQ(named.threshold, 1u);
  EXPECT_EQ(capture_allowlist_inputs(hyphenated.dir() + "/.").project_strings,
            (std::vector<std::string>{"my portal", "my-portal", ""}));
  EXPECT_EQ(capture_allowlist_inputs(hyphenated.dir() + "/..").project_strings,
            (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(capture_allowlist_inputs("/").project_strings, (std::vector<std::string>{"", "", ""}));
}

TEST(VerifyProvenance, PagesAreSortedByPathAndTheFirstOfARepeatedPathStays) {
  const Project project;
  project.mkdir(".artifacts/corpus");
  const internal::CorpusLoader typed = [](const std::string&) {
    return fennick::Result<std::vector<CorpusPage>>(std::vector<CorpusPage>{
        test_support::corpus_page("b.json", "bee"), test_support::corpus_page("a.json", "first"),
        test_support::corpus_page("B.json", "cap"), test_support::corpus_page("a.json", "second")});
  };
  const CapturedInputs captured = capture_allowlist_inputs(project.dir(), typed);
  EXPECT_EQ(captured.texts, (std::vector<std::string>{"cap", "first", "bee"}));
}

// Faults injected inside the validator: guard B rejects every claim, and the driver still
// reports what it found.
TEST(VerifyProvenanceGuards, ValidatorFaultKeepsTheDriverFacts) {
  const Project project;
  project.write(
      kBrdPath,
      "# Business Requirements Document\nSee SWREQ-4.\n### BR-1 a\n### BR-2 b\n### UC-3 c\n");
  project.write(".artifacts/extracted/a.txt", "legacy");
  internal::AuditHooks hooks;
  hooks.validator.find_entities = [](std::string_view,
                                     const EffectiveAllowlist&) -> std::vector<std::string> {
    throw std::runtime_error("scan failed");
  };
  const ProvenanceAuditResult result = internal::verify_provenance(project.dir(), {}, hooks);
  EXPECT_EQ(test_support::verdict_reasons(result.report),
            std::vector<std::string>(3, "qg13_validator_panic: scan failed"));
  EXPECT_EQ(result.report.verdicts[2].id, "UC-3");
  EXPECT_EQ(result.report.validator_panic, "scan failed");
  EXPECT_EQ(result.report.total, 3u);
  EXPECT_EQ(result.report.rejected, 3u);
  EXPECT_EQ(result.report.derived, 0u);
  EXPECT_EQ(result.brd_path, project.at(kBrdPath));
  EXPECT_EQ(result.unparsed_inline_count, 1u);
  EXPECT_EQ(result.corpus_source, CorpusSource::kLegacyTxt);
  EXPECT_TRUE(result.synthesized_corpus);
  EXPECT_FALSE(result.corpus_empty);
  EXPECT_EQ(result.report.extracted_corpus_hash, crypto::sha256_hex("a.txt"));
}

TEST(VerifyProvenanceGuards, ValidatorFaultWithANonTextPayload) {
  const Project project;
  project.write(".artifacts/corpus/a.json", extraction_json("x"));
  internal::AuditHooks hooks;
  hooks.extract_claims = [](std::string_view) {
    ClaimExtraction one;
    one.claims.push_back(new_claim("BR-9", RequirementKind::kBr, "x"));
    one.unparsed_inline_count = 7;
    return one;
  };
  hooks.validator.anchor_key = [](std::string_view) -> std::string { throw 3.5; };
  const ProvenanceAuditResult result = internal::verify_provenance(project.dir(), {}, hooks);
  EXPECT_EQ(test_support::verdict_reasons(result.report),
            std::vector<std::string>{"qg13_validator_panic: <non-string panic payload>"});
  EXPECT_EQ(result.report.verdicts[0].id, "BR-9");
  EXPECT_EQ(result.unparsed_inline_count, 7u);
  EXPECT_TRUE(result.brd_not_found);
  EXPECT_EQ(result.corpus_source, CorpusSource::kTypedArtifactStore);
}

void expect_driver_fail_closed(const ProvenanceAuditResult& result, std::string_view message) {
  ASSERT_EQ(result.report.verdicts.size(), 1u);
  const ClaimVerdict& v = result.report.verdicts[0];
  EXPECT_EQ(v.id, "VALIDATOR-PANIC");
  EXPECT_EQ(v.kind, RequirementKind::kBr);
  EXPECT_EQ(v.anchor_hash, "");
  EXPECT_EQ(v.mode, VerdictMode::rejected("qg13_validator_panic: " + std::string(message)));
  EXPECT_EQ(result.report.validator_panic, std::string(message));
  EXPECT_EQ(result.report.total, 1u);
  EXPECT_EQ(result.report.rejected, 1u);
  EXPECT_EQ(result.report.extracted_corpus_hash, kEmptySha256);
  EXPECT_EQ(result.report.allowlist_version_hash, embedded_only_digest());
  EXPECT_FALSE(result.brd_path.has_value());
  EXPECT_FALSE(result.brd_not_found);
  EXPECT_EQ(result.unparsed_inline_count, 0u);
  EXPECT_FALSE(result.synthesized_corpus);
  EXPECT_TRUE(result.corpus_empty);
  EXPECT_EQ(result.corpus_source, CorpusSource::kEmpty);
}

// Faults injected in the driver's own steps: guard A discards everything it computed.
TEST(VerifyProvenanceGuards, DriverFaultsAtEachStepFailClosed) {
  const Project project("acme-portal");
  project.write(kBrdPath, kBrd);
  project.write(".artifacts/extracted/a.txt", "Legacy text");

  {
    internal::AuditHooks hooks;
    hooks.find_brd = [](const std::string&) -> BrdLookup {
      throw std::runtime_error("lookup failed");
    };
    expect_driver_fail_closed(internal::verify_provenance(project.dir(), {}, hooks),
                              "lookup failed");
  }
  {
    internal::AuditHooks hooks;
    hooks.load_legacy = [](const std::string&) -> fennick::Result<std::vector<CorpusPage>> {
      throw 17;
    };
    expect_driver_fail_closed(internal::verify_provenance(project.dir(), {}, hooks),
                              "<non-string panic payload>");
  }
  {
    internal::AuditHooks hooks;
    hooks.build_allowlist = [](const AllowlistInputs&) -> EffectiveAllowlist {
      throw std::string("allowlist\tbroke");
    };
    expect_driver_fail_closed(internal::verify_provenance(project.dir(), {}, hooks),
                              "allowlist\tbroke");
  }
  {
    internal::AuditHooks hooks;
    hooks.today = []() -> CalendarDate { throw "clock"; };
    expect_driver_fail_closed(internal::verify_provenance(project.dir(), {}, hooks), "clock");
  }
}

TEST(VerifyProvenanceGuards, ProductionHooksMatchThePublicEntry) {
  const Project project("acme-portal");
  project.write(kBrdPath, kBrd);
  project.write(".artifacts/corpus/a.json", extraction_json("Ledgerly"));
  EXPECT_EQ(internal::verify_provenance(project.dir(), {}, internal::AuditHooks{}),
            verify_provenance(project.dir(), std::nullopt));
}

// The bundled sample project shows each kind of outcome the command can reach.
TEST(VerifyProvenance, BundledSampleProject) {
  const std::string project = std::string(FENNICK_SOURCE_DIR) + "/examples/provenance-project";
  const ProvenanceAuditResult result = verify_provenance(project, std::nullopt);
  EXPECT_EQ(result.corpus_source, CorpusSource::kTypedArtifactStore);
  EXPECT_EQ(result.report.extracted_corpus_hash,
            crypto::sha256_hex("finance-procedures.json\ngrant-programme-guidelines.json\n"
                               "kickoff-meeting-notes.json"));
  EXPECT_EQ(result.unparsed_inline_count, 3u);
  EXPECT_EQ(test_support::verdict_reasons(result.report),
            (std::vector<std::string>{"derived", "derived", "citation_unbound",
                                      "no_citation_for_external_entity", "duplicate_anchor",
                                      "duplicate_anchor", "derived"}));
  EXPECT_FALSE(result.report.validator_panic.has_value());
}

}  // namespace
}  // namespace fennick::provenance
