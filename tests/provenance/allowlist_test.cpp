#include "provenance/allowlist/allowlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/keyed_hash.h"
#include "crypto/sha256.h"
#include "provenance/tokens.h"
#include "support/provenance_fixtures.h"
#include "text/split.h"
#include "text/unicode.h"

namespace fennick::provenance {
namespace {

using Strings = std::vector<std::string>;

ExtractionOutput document(std::string text) {
  ExtractionOutput output;
  output.text = std::move(text);
  return output;
}

EffectiveAllowlist embedded_only() { return build_effective_allowlist(AllowlistInputs{}); }

EffectiveAllowlist with_corpus(const std::vector<ExtractionOutput>& documents,
                               std::uint32_t threshold = 1,
                               std::optional<crypto::HashKey> hash_key = std::nullopt) {
  const std::vector<std::reference_wrapper<const ExtractionOutput>> records(documents.begin(),
                                                                            documents.end());
  AllowlistInputs inputs;
  inputs.documents = records;
  inputs.threshold = threshold;
  inputs.hash_key = hash_key;
  return build_effective_allowlist(inputs);
}

EffectiveAllowlist with_entities(std::string_view entities_text) {
  AllowlistInputs inputs;
  inputs.entities_text = entities_text;
  return build_effective_allowlist(inputs);
}

EffectiveAllowlist with_extra(const Strings& extra) {
  AllowlistInputs inputs;
  inputs.extra_tokens = std::span<const std::string>(extra);
  return build_effective_allowlist(inputs);
}

// Members of `allowlist` that the embedded list alone does not hold.
Strings added_tokens(const EffectiveAllowlist& allowlist) {
  const EffectiveAllowlist base = embedded_only();
  Strings added;
  std::set_difference(allowlist.tokens.begin(), allowlist.tokens.end(), base.tokens.begin(),
                      base.tokens.end(), std::back_inserter(added));
  return added;
}

Strings candidates(std::string_view text, const EffectiveAllowlist& allowlist) {
  return find_external_entities(text, allowlist, looks_like_entity);
}

struct Section {
  std::string heading;
  Strings tokens;
};

// The embedded list as written: the header's comment lines, then headed sections.
std::vector<Section> embedded_sections() {
  std::vector<Section> sections;
  std::string_view rest = embedded_token_allowlist();
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.starts_with("# ---")) {
      sections.push_back(Section{std::string(line), {}});
    } else if (!line.empty() && !line.starts_with('#')) {
      if (sections.empty()) {
        ADD_FAILURE() << "token before the first section: " << line;
        continue;
      }
      sections.back().tokens.emplace_back(line);
    }
  }
  return sections;
}

TEST(EmbeddedTokenList, SectionsCountsAndShape) {
  const std::string_view list = embedded_token_allowlist();
  ASSERT_FALSE(list.empty());
  EXPECT_TRUE(list.starts_with("#"));
  EXPECT_TRUE(list.ends_with("\n"));
  EXPECT_EQ(list.find('\r'), std::string_view::npos);

  const std::vector<Section> sections = embedded_sections();
  ASSERT_EQ(sections.size(), 8u);
  const std::vector<std::string_view> headings = {
      "# --- English articles & common stopwords (carry no entity signal) ---",
      "# --- common verbs in requirement text ---",
      "# --- common nouns / cross-project domain words ---",
      "",  // the deployment's jurisdiction, chosen per deployment
      "# --- common public-sector + grant program tokens ---",
      "# --- ubiquitous web / cloud infrastructure (every project legitimately uses) ---",
      "# --- common day/month/cardinal tokens (sentence-start capitalisation) ---",
      "# --- generic vocab carrying no entity signal even when capitalised ---"};
  const std::vector<std::size_t> counts = {94, 133, 276, 34, 62, 83, 34, 65};
  std::size_t token_lines = 0;
  std::set<std::string> distinct;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (!headings[i].empty()) {
      EXPECT_EQ(sections[i].heading, headings[i]);
    }
    EXPECT_TRUE(sections[i].heading.ends_with(" ---")) << sections[i].heading;
    EXPECT_EQ(sections[i].tokens.size(), counts[i]) << sections[i].heading;
    for (const std::string& token : sections[i].tokens) {
      EXPECT_TRUE(!token.empty() && std::all_of(token.begin(), token.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      })) << token;
      distinct.insert(token);
    }
    token_lines += sections[i].tokens.size();
  }
  EXPECT_EQ(token_lines, 781u);
  EXPECT_EQ(distinct.size(), 725u);

  // Rows in order, spot-checked at both ends of some sections.
  EXPECT_EQ(sections[0].tokens.front(), "a");
  EXPECT_EQ(sections[0].tokens.back(), "hers");
  EXPECT_EQ(sections[2].tokens.front(), "account");
  EXPECT_EQ(sections[2].tokens.back(), "year");
  EXPECT_EQ(sections[7].tokens.back(), "nondeterministic");

  // The embedded list alone is exactly its distinct tokens, and the digest is over them in byte
  // order joined by "\n" with none after the last.
  const EffectiveAllowlist base = embedded_only();
  EXPECT_EQ(base.tokens, (TokenSet(distinct.begin(), distinct.end())));
  std::string joined;
  for (const std::string& token : distinct) joined += (joined.empty() ? "" : "\n") + token;
  EXPECT_EQ(base.digest, crypto::sha256_hex(joined));
}

TEST(NormalizeToken, TrimsThenLowerCasesThenComposes) {
  EXPECT_EQ(normalize_token("(NASA),"), "nasa");
  EXPECT_EQ(normalize_token("Sign-In"), "sign-in");
  EXPECT_EQ(normalize_token("--..--"), "");
  EXPECT_EQ(normalize_token(""), "");
  EXPECT_EQ(normalize_token("\u039F\u0394\u039F\u03A3"),
            "\u03BF\u03B4\u03BF\u03C2");                               // final sigma
  EXPECT_EQ(normalize_token("\u0130ZM\u0130R"), "i\u0307zmi\u0307r");  // no Turkish rule
  EXPECT_EQ(normalize_token("E\u0301COLE"), "\u00E9cole");             // lower-cased, then composed
  // The edge trim comes first: a final combining mark is not alphanumeric.
  EXPECT_EQ(normalize_token("CAFE\u0301"), "cafe");
  EXPECT_EQ(normalize_token("\u212B"), "\u00E5");  // ANGSTROM SIGN: lower-cased to a-ring
  EXPECT_EQ(normalize_token("\uFB01"), "\uFB01");  // NFC, not NFKC
}

TEST(TokenizeIntoAllowlist, SplitsAtWhiteSpaceHyphenAndUnderscore) {
  TokenSet tokens;
  tokenize_into_allowlist(tokens, "Acme-Portal my_app  Big\u00A0Co\u3000(X) -- __ ");
  EXPECT_EQ(tokens, (TokenSet{"acme", "app", "big", "co", "my", "portal", "x"}));
  tokenize_into_allowlist(tokens, "");
  EXPECT_EQ(tokens.size(), 7u);
}

TEST(CleanAllowlistValue, RemovesOneMatchingPairOfQuotes) {
  EXPECT_EQ(clean_allowlist_value("  \"Acme Corp\"  "), "Acme Corp");
  EXPECT_EQ(clean_allowlist_value("'Globex'"), "Globex");
  EXPECT_EQ(clean_allowlist_value("\"\"Twice\"\""), "\"Twice\"");
  EXPECT_EQ(clean_allowlist_value("\"Mixed'"), "\"Mixed'");
  EXPECT_EQ(clean_allowlist_value("It's \"inner\" text"), "It's \"inner\" text");
  EXPECT_EQ(clean_allowlist_value("''"), "");
  EXPECT_EQ(clean_allowlist_value("\""), "\"");
  EXPECT_EQ(clean_allowlist_value("\u2003plain\u2003"), "plain");
}

TEST(BuildEffectiveAllowlist, ProjectStringsAsTheDriverPassesThem) {
  AllowlistInputs inputs;
  inputs.project_strings = {"acme portal", "acme-portal", ""};
  const EffectiveAllowlist allowlist = build_effective_allowlist(inputs);
  EXPECT_EQ(added_tokens(allowlist), (Strings{"acme"}));  // "portal" is already embedded
  EXPECT_TRUE(candidates("Acme-Portal and ACME ship", allowlist).empty());
}

TEST(BuildEffectiveAllowlist, CorpusAdmitsCapitalisedWordsOnly) {
  const std::vector<ExtractionOutput> documents = {
      document("Contact Initech today. globex stays out, 2024, \u00DCber too, \u00DCberWerk in."),
      test_support::paged_output("", {"Data-Driven (Vandelay)", "a Foo--Bar x"}),
  };
  // A capitalised hyphenated word counts itself and its parts; lower-case words, numbers and
  // words whose only capitals are not ASCII are not counted.
  EXPECT_EQ(added_tokens(with_corpus(documents)),
            (Strings{"bar", "contact", "data-driven", "driven", "foo", "foo--bar", "initech",
                     "vandelay", "\u00FCberwerk"}));
}

TEST(BuildEffectiveAllowlist, ThresholdCountsTextAndPagesSeparately) {
  const std::vector<ExtractionOutput> documents = {
      test_support::paged_output("Twice Once", {"Twice again"}),
      document("Thrice Thrice Thrice"),
  };
  EXPECT_EQ(added_tokens(with_corpus(documents, 2)), (Strings{"thrice", "twice"}));
  EXPECT_EQ(added_tokens(with_corpus(documents, 3)), (Strings{"thrice"}));
  EXPECT_TRUE(added_tokens(with_corpus(documents, 4)).empty());
  EXPECT_EQ(added_tokens(with_corpus(documents, 0)), (Strings{"once", "thrice", "twice"}));
}

// The corpus step written the plain way: every capitalised word normalised on its own and counted
// under its normalised form.
TokenCounts counted_the_plain_way(const std::vector<ExtractionOutput>& documents) {
  TokenCounts counts;
  const auto count = [&counts](std::string normalised) {
    std::uint32_t& n = counts[std::move(normalised)];
    if (n < std::numeric_limits<std::uint32_t>::max()) ++n;
  };
  const auto scan = [&count](std::string_view text) {
    text::for_each_piece(text, text::is_white_space, [&count](std::string_view piece) {
      const std::string_view token = trim_non_alphanumeric(piece);
      if (std::none_of(token.begin(), token.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return;
      }
      count(normalize_token(token));
      if (token.find('-') == std::string_view::npos) return;
      text::for_each_piece(
          token, [](char32_t cp) { return cp == U'-'; },
          [&count](std::string_view part) {
            std::string normalised = normalize_token(part);
            if (!normalised.empty()) count(std::move(normalised));
          });
    });
  };
  for (const ExtractionOutput& document : documents) {
    scan(document.text);
    if (document.pages) {
      for (const ExtractionPage& page : *document.pages) scan(page.text);
    }
  }
  return counts;
}

// Words that stress the corpus count: one word in several letter cases, spellings that normalise
// alike only through ICU (the Kelvin sign lower-cases to "k", "E" with a combining acute composes
// to "\u00E9"), final sigma, dotted capital I, words longer than a machine word, hyphens,
// punctuation at the edges, undecodable bytes, and thousands of distinct words. Every threshold
// at and next to a count that occurs is tried, so a count merged wrongly shows; and under other
// keys of the table of counts, so an outcome that hangs on the table's order shows.
TEST(BuildEffectiveAllowlist, CorpusCountsAgreeWithNormalisingEveryWord) {
  const std::vector<std::string> stems = {
      "acme", "Acme", "ACME", "aCmE", "\u212AELVIN", "Kelvin", "kelvin", "E\u0301COLE",
      "\u00C9COLE", "\u00E9cOLE", "OD\u039F\u03A3", "\u039F\u0394\u039F\u03A3-Way",
      "\u0130ZM\u0130R", "IzmIr", "Longer-Than-A-Machine-Word", "LONGER-than-a-MACHINE-word",
      "Data--Driven", "(Vandelay),", "\u2014Globex\u2014", "Ab\xFF\xFE", "Cd\xC3", "Zz\x80Zz",
      "x-Y-", "-", "12-AB", "\u00DCberWerk", "\u00FCberwerk",
      // Bytes next to the white space and capital ranges.
      "@Home[Z]`", "a\bB\x0E\x1F"};
  const std::vector<std::string> separators = {" ",  "\n", "\t", "\u00A0", "\u3000",
                                               "\r", "\v", "\f", "  \r\n"};
  std::mt19937 random(7);
  const auto pick = [&random](std::size_t n) {
    return static_cast<std::size_t>(random() % static_cast<std::uint32_t>(n));
  };
  std::vector<ExtractionOutput> documents;
  for (int d = 0; d < 12; ++d) {
    std::string text;
    for (int w = 0; w < 2000; ++w) {
      // Mostly numbered words of varied case and length, so that the table of counts grows.
      std::string word = pick(8) == 0 ? stems[pick(stems.size())]
                                      : (pick(2) == 0 ? "Q" : "q") + std::to_string(pick(3000)) +
                                            std::string(pick(12), pick(2) == 0 ? 'X' : 'x');
      text += word + separators[pick(separators.size())];
    }
    documents.push_back(d % 3 == 0 ? test_support::paged_output(text, {text.substr(0, 999), ""})
                                   : document(text));
  }
  const TokenCounts counts = counted_the_plain_way(documents);
  std::set<std::uint32_t> thresholds = {0};
  for (const auto& [token, count] : counts) thresholds.insert({count, count + 1});
  const TokenSet embedded = embedded_only().tokens;
  for (const std::uint32_t threshold : thresholds) {
    SCOPED_TRACE(threshold);
    TokenSet expected = embedded;
    for (const std::string& token : collect_frequent_tokens(counts, threshold)) {
      expected.insert(token);
    }
    const EffectiveAllowlist under_run_key = with_corpus(documents, threshold);
    EXPECT_EQ(under_run_key.tokens, expected);
    for (const crypto::HashKey key :
         {crypto::HashKey{0, 0}, crypto::HashKey{0x0123456789ABCDEFULL, ~0ULL}}) {
      EXPECT_EQ(with_corpus(documents, threshold, key), under_run_key);
    }
  }
}

TEST(BuildEffectiveAllowlist, EntitiesTextNamesUnderAnIndentedList) {
  const EffectiveAllowlist allowlist = with_entities(
      "# vendors we use\n"
      "entities:\n"
      "  - name: \"Acme Corp\"\r\n"
      "\n"
      "  # a comment keeps the list open\n"
      "  - name: 'Globex'\n"
      "    name: Initech-Labs\n"
      "    kind: Vendorish\n"
      "\t- name:Umbrella_Health\n"
      "project:\n"
      "  - name: Hidden\n"
      "entities:extra\n"
      "  name: Soylent\n");
  EXPECT_EQ(added_tokens(allowlist), (Strings{"acme", "corp", "globex", "health", "initech", "labs",
                                              "soylent", "umbrella"}));

  EXPECT_TRUE(added_tokens(with_entities("entities:\n- name: Flat\n")).empty());
  EXPECT_TRUE(added_tokens(with_entities("  entities:\n  - name: Indented\n")).empty());
  EXPECT_TRUE(added_tokens(with_entities("")).empty());
}

TEST(BuildEffectiveAllowlist, ExtraTokensAreSplitNotInsertedWhole) {
  EXPECT_EQ(added_tokens(with_extra({"Hooli-Cloud xyz_corp", "", "--"})),
            (Strings{"cloud", "corp", "hooli", "xyz"}));
}

TEST(BuildEffectiveAllowlist, DigestDependsOnlyOnTheMembers) {
  const std::vector<ExtractionOutput> documents = {document("Zeta")};
  AllowlistInputs from_project;
  from_project.project_strings = {"", "zeta", "ZETA"};
  const std::string digest = build_effective_allowlist(from_project).digest;
  EXPECT_EQ(with_corpus(documents).digest, digest);
  EXPECT_EQ(with_extra({"zeta", "Zeta"}).digest, digest);
  EXPECT_EQ(with_entities("entities:\n - name: zeta\n").digest, digest);
  EXPECT_NE(embedded_only().digest, digest);
  EXPECT_EQ(digest.size(), 64u);
  EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(AllowlistContains, NormalisesTheTokenFirst) {
  const EffectiveAllowlist allowlist = with_extra({"acme"});
  EXPECT_TRUE(allowlist_contains(allowlist, "ACME"));
  EXPECT_TRUE(allowlist_contains(allowlist, "(Acme),"));
  EXPECT_TRUE(allowlist_contains(allowlist, "January"));
  EXPECT_FALSE(allowlist_contains(allowlist, "acmes"));
  EXPECT_FALSE(allowlist_contains(allowlist, ""));
  EXPECT_FALSE(allowlist_contains(allowlist, "--"));
}

TEST(LooksLikeEntity, ShapeRule) {
  for (const std::string_view entity :
       {"NASA", "Acme", "iPhone", "(EU),", "Ab", "A1", "X-ray", "\u00C9cole-Normale", "\u00E9A"}) {
    EXPECT_TRUE(looks_like_entity(entity)) << entity;
  }
  for (const std::string_view plain :
       {"word", "2024", "A", "(A),", "\u00C9", "\u00C9cole", "\u0130\u0130", "--", "", "a-b"}) {
    EXPECT_FALSE(looks_like_entity(plain)) << plain;
  }
}

TEST(FindExternalEntities, SentenceStartCommonWordsAreNoCandidates) {
  const EffectiveAllowlist allowlist = embedded_only();
  EXPECT_TRUE(candidates("March: The User must Submit the Report on Monday.", allowlist).empty());
  EXPECT_TRUE(candidates("", allowlist).empty());
  EXPECT_TRUE(candidates("   \n\t ", allowlist).empty());
}

TEST(FindExternalEntities, PunctuationRepetitionAndOrder) {
  const EffectiveAllowlist allowlist = embedded_only();
  EXPECT_EQ(candidates("Report to (NASA), then NASA; nasa and NASA.", allowlist),
            (Strings{"NASA"}));
  // Two letter cases are two candidates; bytes order puts ASCII capitals first.
  EXPECT_EQ(candidates("iPhone Zorro Acme ACME \"Acme\"", allowlist),
            (Strings{"ACME", "Acme", "Zorro", "iPhone"}));
  // Unicode white space separates; a word whose only capital is not ASCII is not entity-shaped.
  EXPECT_EQ(candidates("Acme\u00A0Globex\u3000\u00C9cole \u0130ZM\u0130R", allowlist),
            (Strings{"Acme", "Globex", "\u0130ZM\u0130R"}));
}

TEST(FindExternalEntities, CorpusWordsCoverBothLetterCases) {
  const std::vector<ExtractionOutput> documents = {
      document("Signed with Acme and Foo-Corp; globex in lower case only.")};
  const EffectiveAllowlist allowlist = with_corpus(documents);
  EXPECT_TRUE(candidates("ACME and Acme and Foo and Corp and FOO-CORP", allowlist).empty());
  EXPECT_EQ(candidates("Globex", allowlist), (Strings{"Globex"}));
}

TEST(FindExternalEntities, HyphenatedWordsArePassedPartByPart) {
  const std::vector<ExtractionOutput> documents = {document("Build--Test is one word here")};
  const EffectiveAllowlist base = embedded_only();
  const EffectiveAllowlist corpus = with_corpus(documents);
  // Each part is in the embedded list, so the compound is covered.
  EXPECT_TRUE(candidates("Build-Test", base).empty());
  // An empty part is never covered ...
  EXPECT_EQ(candidates("Build--Test", base), (Strings{"Build--Test"}));
  // ... unless the whole word is.
  EXPECT_TRUE(candidates("Build--Test", corpus).empty());
  EXPECT_EQ(candidates("Data-Driven Build-Zorro", base), (Strings{"Build-Zorro", "Data-Driven"}));
}

TEST(FindExternalEntities, UsesTheGivenPredicate) {
  const EffectiveAllowlist allowlist = embedded_only();
  const auto anything = [](std::string_view) { return true; };
  const auto nothing = [](std::string_view) { return false; };
  EXPECT_EQ(find_external_entities("the flurb, (x) and 42!", allowlist, anything),
            (Strings{"42", "flurb", "x"}));
  EXPECT_TRUE(find_external_entities("NASA Zorro", allowlist, nothing).empty());
}

TEST(FindExternalEntities, ArbitraryBytesDoNotBreakIt) {
  const EffectiveAllowlist allowlist = embedded_only();
  // Ill-formed UTF-8 stays inside its word and never separates or aborts the scan.
  const std::string text = "Ab\xFF\xFE Cd\xC3 \xE2\x82 Zz\x80Zz";
  const Strings found = candidates(text, allowlist);
  EXPECT_EQ(found.size(), 3u);
  const std::vector<ExtractionOutput> documents = {document(text)};
  EXPECT_FALSE(added_tokens(with_corpus(documents)).empty());
}

}  // namespace
}  // namespace fennick::provenance
