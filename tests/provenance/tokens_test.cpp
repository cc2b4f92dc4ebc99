#include "provenance/tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "support/digests.h"

namespace fennick::provenance {
namespace {

using Tokens = std::vector<std::string>;

using test_support::kEmptySha256;

TEST(TokenFingerprint, IgnoresOrderCaseRepetitionEdgePunctuationAndStopWords) {
  const std::string expected = crypto::sha256_hex("in sign sso users with");
  EXPECT_EQ(token_fingerprint("Users sign in with SSO."), expected);
  EXPECT_EQ(token_fingerprint("(sso) WITH users, users: sign in!"), expected);
  EXPECT_EQ(token_fingerprint("The users MUST sign in with the SSO; users shall sign in."),
            expected);
  EXPECT_NE(token_fingerprint("Users sign in with SSO"), token_fingerprint("Users sign with SSO"));
  // Only the ten stop words are dropped, whatever their case or edge punctuation.
  EXPECT_EQ(normalised_tokens("Should be and THE, Portal"),
            (Tokens{"and", "be", "portal", "should"}));
}

TEST(TokenFingerprint, HyphenSplitsButUnderscoreStays) {
  EXPECT_EQ(normalised_tokens("Sign-in flow"), (Tokens{"flow", "in", "sign"}));
  EXPECT_EQ(token_fingerprint("sign-in flow"), token_fingerprint("sign in flow"));
  EXPECT_EQ(normalised_tokens("sign_in flow"), (Tokens{"flow", "sign_in"}));
  EXPECT_EQ(normalised_tokens("--x--y--  z  "), (Tokens{"x", "y", "z"}));
}

TEST(TokenFingerprint, TextWithoutTokensHashesTheEmptyString) {
  EXPECT_TRUE(normalised_tokens("The, a -- is!  ... SHALL\n\tmay? (can) will; are MUST.").empty());
  EXPECT_EQ(token_fingerprint("The, a -- is!  ... SHALL"), kEmptySha256);
  EXPECT_EQ(token_fingerprint(""), kEmptySha256);
}

TEST(TokenFingerprint, UnicodeCaseCompositionAndWhiteSpace) {
  EXPECT_EQ(normalised_tokens("\u039F\u0394\u039F\u03A3"), (Tokens{"\u03BF\u03B4\u03BF\u03C2"}));
  EXPECT_EQ(normalised_tokens("\u0130stanbul"), (Tokens{"i\u0307stanbul"}));
  EXPECT_EQ(normalised_tokens("Cafe\u0301 MENU"), (Tokens{"caf\u00E9", "menu"}));
  EXPECT_EQ(token_fingerprint("CAFE\u0301 menu"), crypto::sha256_hex("caf\u00E9 menu"));
  // NFC, not NFKC: the ligature stays; tokens sort by bytes.
  EXPECT_EQ(normalised_tokens("\uFB01le 10 9 zeta"), (Tokens{"10", "9", "zeta", "\uFB01le"}));
  // NBSP, EM SPACE, IDEOGRAPHIC SPACE, NEL, LINE SEPARATOR, vertical tab and tab separate;
  // ZERO WIDTH SPACE is not White_Space and stays inside its token.
  EXPECT_EQ(normalised_tokens("a1\u00A0b2\u2003c3\u3000d4\u0085e5\u2028f6\vG7\th8\u200Bi9"),
            (Tokens{"a1", "b2", "c3", "d4", "e5", "f6", "g7", "h8\u200Bi9"}));
}

TEST(TrimNonAlphanumeric, TrimsEdgesOnlyAndReturnsASubSlice) {
  const std::string_view token = "(sign-in),";
  const std::string_view trimmed = trim_non_alphanumeric(token);
  EXPECT_EQ(trimmed, "sign-in");
  EXPECT_EQ(trimmed.data(), token.data() + 1);
  EXPECT_EQ(trim_non_alphanumeric("...!?"), "");
  // A vulgar fraction (No) and non-ASCII letters are alphanumeric at either edge.
  EXPECT_EQ(trim_non_alphanumeric("\u00BDcup,"), "\u00BDcup");
  EXPECT_EQ(trim_non_alphanumeric("\"caf\u00E9\""), "caf\u00E9");
  EXPECT_EQ(trim_non_alphanumeric("-\u4E2D\u6587-"), "\u4E2D\u6587");
  // Dashes and quotation marks of several scripts.
  EXPECT_EQ(trim_non_alphanumeric("\u2014\u00ABZ\u00FCrich\u00BB\u2013"), "Z\u00FCrich");
  EXPECT_EQ(trim_non_alphanumeric("\u201E\u201Cword\u201D\u2019\u2212"), "word");
  EXPECT_EQ(trim_non_alphanumeric("\u300C\u6771\u4EAC\u300D\u30A0"), "\u6771\u4EAC");
  // Ill-formed bytes count as non-alphanumeric and are never split apart.
  EXPECT_EQ(trim_non_alphanumeric("\xFF"
                                  "ab\xC3"
                                  "c\xE2\x82"),
            "ab\xC3"
            "c");
}

TEST(QuoteHash, CollapsesWhiteSpaceButKeepsCaseAndPunctuation) {
  const std::string expected = crypto::sha256_hex("Users sign in with SSO.");
  EXPECT_EQ(quote_hash("Users sign in with SSO."), expected);
  EXPECT_EQ(quote_hash("  Users\tsign in\n\nwith \u00A0 SSO.\r\n"), expected);
  EXPECT_NE(quote_hash("users sign in with SSO."), expected);
  EXPECT_NE(quote_hash("Users sign in with SSO"), expected);
  EXPECT_NE(quote_hash("Users sign in SSO with."), expected);
  EXPECT_EQ(quote_hash(" \n\t "), kEmptySha256);
  // Composition is normalised; stop words and hyphens are left alone.
  EXPECT_EQ(quote_hash("The cafe\u0301-bar"), crypto::sha256_hex("The caf\u00E9-bar"));
}

TEST(TokenFingerprint, LongAndIllFormedInputs) {
  EXPECT_EQ(token_fingerprint(std::string(1'000'000, 'Q')),
            crypto::sha256_hex(std::string(1'000'000, 'q')));
  // Ill-formed bytes read as U+FFFD, which is not alphanumeric.
  EXPECT_EQ(normalised_tokens("\xFF\xFE abc \xC3"), (Tokens{"abc"}));
  EXPECT_EQ(quote_hash("a\xFF"), crypto::sha256_hex("a\uFFFD"));
}

}  // namespace
}  // namespace fennick::provenance
