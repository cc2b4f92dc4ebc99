#include "certificate/countersign.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/base64.h"
#include "crypto/ed25519.h"
#include "json/read.h"
#include "support/files.h"
#include "support/jws_producer.h"

namespace fennick::certificate {
namespace {

using crypto::encode_base64_url;
using test_support::Ed25519KeyPair;
using test_support::jwks_json;
using test_support::JwkSpec;
using test_support::jws_header_json;
using test_support::key_pair_from_fill;
using test_support::key_pair_from_seed;
using test_support::sign_compact_jws;
using test_support::sign_segments;
using Kind = JwsError::Kind;

constexpr std::string_view kTyp = test_support::kCountersignTyp;
constexpr std::string_view kPayload =
    R"({"certificate_sha256":"ab12","envelope_hash":"cd34","run_id":"run-7","grant_count":3})";
constexpr std::string_view kEquationFailed =
    "JWS signature verification failed: Ed25519: signature error: Verification equation was not "
    "satisfied";

PlatformJwks read_jwks(const std::string& text) {
  auto jwks = read_platform_jwks_json(text);
  if (!jwks) {
    ADD_FAILURE() << "key set unreadable: " << jwks.error().to_string() << "\n" << text;
    return {};
  }
  return std::move(jwks).value();
}

PlatformJwks jwks_of(const std::vector<JwkSpec>& keys) { return read_jwks(jwks_json(keys)); }

// The display text of the failure, or "verified".
std::string outcome(const Result<VerifiedJws, JwsError>& result) {
  return result ? std::string("verified") : result.error().to_string();
}

void expect_failure(const Result<VerifiedJws, JwsError>& result, Kind kind,
                    std::string_view display) {
  ASSERT_FALSE(result.ok()) << "expected: " << display;
  EXPECT_EQ(result.error().kind, kind) << display;
  EXPECT_EQ(result.error().to_string(), display);
}

class CountersignTest : public ::testing::Test {
 protected:
  const Ed25519KeyPair signer_ = key_pair_from_fill(0x11);
  const Ed25519KeyPair other_ = key_pair_from_fill(0x22);
  const PlatformJwks jwks_ = jwks_of({{"k1", signer_.x()}});

  std::string header(std::string_view kid = "k1") const {
    return jws_header_json("EdDSA", kTyp, kid);
  }
  std::string jws(std::string_view payload = kPayload) const {
    return sign_compact_jws(header(), payload, signer_);
  }
  Result<VerifiedJws, JwsError> verify(std::string_view text) const {
    return verify_compact_jws(text, jwks_, kTyp);
  }
};

TEST(PlatformJwksReading, ReadsKeysWithAndWithoutOptionalMembers) {
  const auto jwks = read_platform_jwks_json(
      R"({"keys":[{"kty":"OKP","crv":"Ed25519","x":"AAAA","kid":"a","alg":"EdDSA","use":"sig",)"
      R"("d":"private"},{"kid":"b","x":"","crv":"X25519","kty":"EC"},)"
      R"({"kty":"OKP","crv":"Ed25519","x":"BBBB","kid":"c","alg":null,"use":null}],"extra":1})");
  ASSERT_TRUE(jwks.ok()) << jwks.error().to_string();
  ASSERT_EQ(jwks->keys.size(), 3u);
  EXPECT_EQ(jwks->keys[0], (PlatformJwk{"OKP", "Ed25519", "AAAA", "a", "EdDSA", "sig"}));
  EXPECT_EQ(jwks->keys[1], (PlatformJwk{"EC", "X25519", "", "b", std::nullopt, std::nullopt}));
  EXPECT_EQ(jwks->keys[2],
            (PlatformJwk{"OKP", "Ed25519", "BBBB", "c", std::nullopt, std::nullopt}));

  const auto empty = read_platform_jwks_json(" {\"keys\":[]}\n");
  ASSERT_TRUE(empty.ok()) << empty.error().to_string();
  EXPECT_TRUE(empty->keys.empty());
}

TEST(PlatformJwksReading, ArrayFormMayStopBeforeTheDefaultedMembers) {
  const auto jwks = read_platform_jwks_json(
      R"([[["OKP","Ed25519","AAAA","a"],["OKP","Ed25519","BBBB","b","EdDSA"]]])");
  ASSERT_TRUE(jwks.ok()) << jwks.error().to_string();
  ASSERT_EQ(jwks->keys.size(), 2u);
  EXPECT_EQ(jwks->keys[0],
            (PlatformJwk{"OKP", "Ed25519", "AAAA", "a", std::nullopt, std::nullopt}));
  EXPECT_EQ(jwks->keys[1], (PlatformJwk{"OKP", "Ed25519", "BBBB", "b", "EdDSA", std::nullopt}));
}

TEST(PlatformJwksReading, ReportsTheRecordErrorsWithTheirNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"keys":[{"kty":"OKP","crv":"Ed25519","kid":"k1"}]})",
       "missing field `x` at line 1 column 49"},
      {"{}", "missing field `keys` at line 1 column 2"},
      {"[]", "invalid length 0, expected struct PlatformJwks with 1 element at line 1 column 2"},
      {R"({"keys":[[]]})",
       "invalid length 0, expected struct PlatformJwk with 6 elements at line 1 column 11"},
      {R"({"keys":[{"kty":"OKP","kty")", "duplicate field `kty` at line 1 column 27"},
      {R"({"keys":["x"]})",
       "invalid type: string \"x\", expected struct PlatformJwk at line 1 column 12"},
      {R"({"keys":[]} x)", "trailing characters at line 1 column 13"},
  };
  for (const auto& [text, message] : cases) {
    const auto jwks = read_platform_jwks_json(text);
    ASSERT_FALSE(jwks.ok()) << text;
    EXPECT_EQ(jwks.error().to_string(), message) << text;
  }
}

TEST_F(CountersignTest, VerifiesAndReturnsHeaderAndPayload) {
  const auto result = verify(jws());
  ASSERT_TRUE(result.ok()) << outcome(result);
  EXPECT_EQ(result->header, (JwsHeader{"EdDSA", std::string(kTyp), "k1"}));
  const json::Value& payload = result->payload;
  ASSERT_NE(payload.get("certificate_sha256"), nullptr);
  EXPECT_EQ(*payload.get("certificate_sha256")->as_string(), "ab12");
  EXPECT_EQ(*payload.get("run_id")->as_string(), "run-7");
  EXPECT_EQ(payload.get("grant_count")->as_u64(), 3u);
}

TEST_F(CountersignTest, HeaderMayCarryOtherMembersAnyOrderOrArrayForm) {
  for (const std::string_view header_json :
       {R"({"kid":"k1","x5u":{"deep":[1,2]},"typ":"torvane-cert-countersign+jws","alg":"EdDSA"})",
        R"(  ["EdDSA","torvane-cert-countersign+jws","k1"] )"}) {
    const auto result = verify(sign_compact_jws(header_json, "{}", signer_));
    ASSERT_TRUE(result.ok()) << header_json << ": " << outcome(result);
    EXPECT_EQ(result->header, (JwsHeader{"EdDSA", std::string(kTyp), "k1"}));
  }
}

TEST_F(CountersignTest, PayloadOfAnyJsonKindIsReturnedUnchanged) {
  struct Case {
    std::string text;
    json::Value value;
  };
  const std::vector<Case> cases = {
      {R"([1,"a",null])", json::Value::array({json::Value::unsigned_integer(1),
                                              json::Value::string("a"), json::Value::null()})},
      {R"("sealed")", json::Value::string("sealed")},
      {"-3", json::Value::signed_integer(-3)},
      {" false ", json::Value::boolean(false)},
      {"null", json::Value::null()},
  };
  for (const auto& c : cases) {
    const auto result = verify(jws(c.text));
    ASSERT_TRUE(result.ok()) << c.text << ": " << outcome(result);
    EXPECT_EQ(result->payload, c.value) << c.text;
  }
}

TEST_F(CountersignTest, AnythingButThreeSegmentsIsMalformed) {
  const std::string good = jws();
  for (const std::string& text :
       {std::string(), std::string("."), std::string("..."), good.substr(0, good.rfind('.')),
        good + ".", good + ".extra", std::string("abc")}) {
    expect_failure(verify(text), Kind::kMalformed, "malformed compact JWS: expected 3 segments");
  }
}

TEST_F(CountersignTest, EmptySegmentsFailAtTheirOwnStep) {
  const std::string h = encode_base64_url(header());
  const std::string p = encode_base64_url(kPayload);
  expect_failure(
      verify(".."), Kind::kMalformed,
      "malformed compact JWS: header JSON: EOF while parsing a value at line 1 column 0");
  expect_failure(verify(h + "." + p + "."), Kind::kSignatureFailed,
                 "JWS signature verification failed: signature length != 64");
  // An empty payload passes the signature that covers it, then is not JSON.
  expect_failure(
      verify(sign_segments(h, "", signer_)), Kind::kMalformed,
      "malformed compact JWS: payload JSON: EOF while parsing a value at line 1 column 0");
}

TEST_F(CountersignTest, SegmentsMustBeUnpaddedBase64url) {
  // 64 bytes of header JSON: its base64 needs "==" padding.
  const std::string h = encode_base64_url(header() + " ");
  const std::string p = encode_base64_url(kPayload);
  const auto padded = [](std::string segment) {
    segment.append((4 - segment.size() % 4) % 4, '=');
    return segment;
  };
  ASSERT_NE(padded(h), h);
  ASSERT_NE(padded(p), p);
  expect_failure(verify(sign_segments(padded(h), p, signer_)), Kind::kMalformed,
                 "malformed compact JWS: header: Invalid padding");
  // The payload is decoded only once the signature over its received text holds.
  expect_failure(verify(sign_segments(h, padded(p), signer_)), Kind::kMalformed,
                 "malformed compact JWS: payload: Invalid padding");
  // A countersign copied with its line break: the signature is 86 symbols, then byte 10.
  expect_failure(verify(jws() + "\n"), Kind::kMalformed,
                 "malformed compact JWS: signature: Invalid symbol 10, offset 86.");
  std::string standard = jws();
  standard[2] = '+';
  expect_failure(verify(standard), Kind::kMalformed,
                 "malformed compact JWS: header: Invalid symbol 43, offset 2.");
}

TEST_F(CountersignTest, HeaderMustBeOneJwsHeaderRecord) {
  const auto with_header = [&](std::string_view header_json) {
    return verify(sign_compact_jws(header_json, kPayload, signer_));
  };
  expect_failure(with_header("{}"), Kind::kMalformed,
                 "malformed compact JWS: header JSON: missing field `alg` at line 1 column 2");
  expect_failure(with_header(R"({"alg":"EdDSA","alg")"), Kind::kMalformed,
                 "malformed compact JWS: header JSON: duplicate field `alg` at line 1 column 20");
  expect_failure(
      with_header(R"("x")"), Kind::kMalformed,
      "malformed compact JWS: header JSON: invalid type: string \"x\", expected struct JwsHeader "
      "at line 1 column 3");
  expect_failure(
      with_header("[]"), Kind::kMalformed,
      "malformed compact JWS: header JSON: invalid length 0, expected struct JwsHeader with 3 "
      "elements at line 1 column 2");
  const std::string trailing = header() + " x";
  expect_failure(with_header(trailing), Kind::kMalformed,
                 "malformed compact JWS: header JSON: trailing characters at line 1 column " +
                     std::to_string(trailing.size()));
}

TEST_F(CountersignTest, AlgThenTypAreCheckedBeforeAnyKey) {
  const auto signed_with = [&](std::string_view alg, std::string_view typ, std::string_view kid) {
    return verify(sign_compact_jws(jws_header_json(alg, typ, kid), kPayload, signer_));
  };
  // The key would verify: the name alone is refused.
  expect_failure(signed_with("Ed25519", kTyp, "k1"), Kind::kUnexpectedAlg,
                 "unexpected JWS alg 'Ed25519' (expected EdDSA)");
  expect_failure(signed_with("eddsa", "other", "nobody"), Kind::kUnexpectedAlg,
                 "unexpected JWS alg 'eddsa' (expected EdDSA)");
  expect_failure(signed_with("EdDSA", "TORVANE-CERT-COUNTERSIGN+JWS", "k1"), Kind::kTypMismatch,
                 "JWS typ mismatch: got 'TORVANE-CERT-COUNTERSIGN+JWS', expected "
                 "'torvane-cert-countersign+jws' (domain separation)");
  expect_failure(signed_with("EdDSA", "JWT", "nobody"), Kind::kTypMismatch,
                 "JWS typ mismatch: got 'JWT', expected 'torvane-cert-countersign+jws' (domain "
                 "separation)");
  expect_failure(signed_with("EdDSA", "torvane-cert-countersign+jws ", "k1"), Kind::kTypMismatch,
                 "JWS typ mismatch: got 'torvane-cert-countersign+jws ', expected "
                 "'torvane-cert-countersign+jws' (domain separation)");
  // The expected typ is the caller's.
  const std::string other_typ =
      sign_compact_jws(jws_header_json("EdDSA", "x+jws", "k1"), "1", signer_);
  EXPECT_EQ(outcome(verify_compact_jws(other_typ, jwks_, "x+jws")), "verified");
}

TEST_F(CountersignTest, KeyIsFoundByExactKid) {
  expect_failure(verify(sign_compact_jws(header("K1"), kPayload, signer_)), Kind::kNoKeyMatchesKid,
                 "no JWKS key matches kid 'K1'");
  expect_failure(verify_compact_jws(jws(), PlatformJwks{}, kTyp), Kind::kNoKeyMatchesKid,
                 "no JWKS key matches kid 'k1'");
  // The header's values are shown escaped and cut, escapes counted: they cannot end the line or
  // flood it.
  expect_failure(
      verify(sign_compact_jws(header("k\n" + std::string(1030, '1')), kPayload, signer_)),
      Kind::kNoKeyMatchesKid,
      "no JWKS key matches kid 'k\\n" + std::string(1021, '1') + "...[9 byte(s) left out]'");
  // Keys with other kids are not examined, whatever they hold.
  const PlatformJwks mixed = jwks_of({{"k0", "not base64", "RSA", "P-256"}, {"k1", signer_.x()}});
  EXPECT_EQ(outcome(verify_compact_jws(jws(), mixed, kTyp)), "verified");
  // Keys without alg and use serve as well.
  const PlatformJwks bare =
      jwks_of({{"k1", signer_.x(), "OKP", "Ed25519", std::nullopt, std::nullopt}});
  EXPECT_EQ(outcome(verify_compact_jws(jws(), bare, kTyp)), "verified");
}

TEST_F(CountersignTest, FirstKeyWithTheKidDecidesEvenWhenALaterOneIsValid) {
  const JwkSpec valid{"k1", signer_.x()};
  const std::vector<std::pair<JwkSpec, std::string>> first_keys = {
      {{"k1", signer_.x(), "EC"}, "JWKS key 'k1' is not an Ed25519 OKP key"},
      {{"k1", signer_.x(), "okp"}, "JWKS key 'k1' is not an Ed25519 OKP key"},
      {{"k1", signer_.x(), "OKP", "X25519"}, "JWKS key 'k1' is not an Ed25519 OKP key"},
      {{"k1", other_.x()}, std::string(kEquationFailed)},
  };
  for (const auto& [first, display] : first_keys) {
    const auto result = verify_compact_jws(jws(), jwks_of({first, valid}), kTyp);
    EXPECT_EQ(outcome(result), display);
  }
}

TEST_F(CountersignTest, KeyXMustBe32BytesOfUnpaddedBase64url) {
  const auto with_x = [&](std::string x) {
    return verify_compact_jws(jws(), jwks_of({{"k1", std::move(x)}}), kTyp);
  };
  // RFC 8037's key in the standard alphabet: "/" at offset 13, and a trailing "=".
  expect_failure(with_x("11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo="), Kind::kMalformed,
                 "malformed compact JWS: jwk.x: Invalid symbol 47, offset 13.");
  expect_failure(with_x(signer_.x() + "="), Kind::kMalformed,
                 "malformed compact JWS: jwk.x: Invalid padding");
  for (const std::size_t size : {0u, 31u, 33u, 64u}) {
    expect_failure(with_x(encode_base64_url(std::string(size, '\x05'))), Kind::kNotEd25519Okp,
                   "JWKS key 'k1' is not an Ed25519 OKP key");
  }
}

TEST_F(CountersignTest, KeyXMustDecodeAsACurvePoint) {
  // y = 2 has no x on the curve.
  const std::string not_a_point = "Ag" + std::string(41, 'A');
  const auto result = verify_compact_jws(jws(), jwks_of({{"k1", not_a_point}}), kTyp);
  expect_failure(result, Kind::kNotEd25519Okp,
                 "JWKS key 'k1: signature error: Cannot decompress Edwards point' is not an "
                 "Ed25519 OKP key");
  // The key is judged before the signature segment is even decoded.
  const std::string bad_signature = jws().substr(0, jws().rfind('.')) + ".!!";
  EXPECT_EQ(verify_compact_jws(bad_signature, jwks_of({{"k1", not_a_point}}), kTyp).error().kind,
            Kind::kNotEd25519Okp);

  // The identity point decodes; being of small order it fails at verification.
  std::string identity(32, '\0');
  identity[0] = '\x01';
  expect_failure(verify_compact_jws(jws(), jwks_of({{"k1", encode_base64_url(identity)}}), kTyp),
                 Kind::kSignatureFailed, kEquationFailed);
}

TEST_F(CountersignTest, SignatureMustBe64BytesAndVerifyStrictly) {
  const std::string signing_input = jws().substr(0, jws().rfind('.'));
  for (const std::size_t size : {63u, 65u, 1u}) {
    expect_failure(verify(signing_input + "." + encode_base64_url(std::string(size, '\x01'))),
                   Kind::kSignatureFailed,
                   "JWS signature verification failed: signature length != 64");
  }
  expect_failure(verify(signing_input + ".AA=="), Kind::kMalformed,
                 "malformed compact JWS: signature: Invalid padding");
  expect_failure(verify(sign_compact_jws(header(), kPayload, other_)), Kind::kSignatureFailed,
                 kEquationFailed);

  // s at the group order is refused before the equation.
  std::string signature = crypto::decode_base64_url(jws().substr(jws().rfind('.') + 1)).value();
  const std::string order =
      crypto::decode_base64_url("7dP1XBpjEljWnPei3vneFAAAAAAAAAAAAAAAAAAAABA").value();
  signature.replace(32, 32, order);
  expect_failure(verify(signing_input + "." + encode_base64_url(signature)), Kind::kSignatureFailed,
                 "JWS signature verification failed: Ed25519: signature error: Cannot use scalar "
                 "with high-bit set");
}

TEST_F(CountersignTest, SignatureCoversTheSegmentsAsReceived) {
  const std::string signature = jws().substr(jws().rfind('.'));
  // Same decoded JSON values, other text: other spacing, other member order.
  const std::string respaced_header =
      R"({"alg": "EdDSA", "typ": "torvane-cert-countersign+jws", "kid": "k1"})";
  const std::string reordered_payload =
      R"({"run_id":"run-7","certificate_sha256":"ab12","envelope_hash":"cd34","grant_count":3})";
  expect_failure(
      verify(encode_base64_url(respaced_header) + "." + encode_base64_url(kPayload) + signature),
      Kind::kSignatureFailed, kEquationFailed);
  expect_failure(
      verify(encode_base64_url(header()) + "." + encode_base64_url(reordered_payload) + signature),
      Kind::kSignatureFailed, kEquationFailed);
  // Signed as received, the other spelling verifies.
  EXPECT_EQ(outcome(verify(sign_compact_jws(respaced_header, reordered_payload, signer_))),
            "verified");
}

TEST_F(CountersignTest, PayloadIsParsedOnlyAfterTheSignatureHolds) {
  expect_failure(verify(jws("Example")), Kind::kMalformed,
                 "malformed compact JWS: payload JSON: expected value at line 1 column 1");
  expect_failure(verify(jws("{} {}")), Kind::kMalformed,
                 "malformed compact JWS: payload JSON: trailing characters at line 1 column 4");
  // Deep nesting is refused by the depth limit, not by exhausting the stack.
  expect_failure(verify(jws(std::string(100000, '['))), Kind::kMalformed,
                 "malformed compact JWS: payload JSON: recursion limit exceeded at line 1 column "
                 "128");
  // Under a signature that fails, the payload's own faults are never reached.
  expect_failure(verify(sign_compact_jws(header(), "Example", other_)), Kind::kSignatureFailed,
                 kEquationFailed);
}

TEST(DecodeSegment, NamesTheSegmentInItsError) {
  const auto decoded = decode_segment("QUJD", "payload");
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(*decoded, "ABC");
  const auto refused = decode_segment("QUJD=", "jwk.x");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind, Kind::kMalformed);
  EXPECT_EQ(refused.error().to_string(),
            "malformed compact JWS: jwk.x: Invalid symbol 61, offset 4.");
  EXPECT_EQ(decode_segment("Q", "header").error().to_string(),
            "malformed compact JWS: header: Invalid input length: 1");
}

// RFC 8037 appendix A: the RFC's Ed25519 key, and its JWS over a plain-text payload.
class Rfc8037Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto text = test_support::read_file_bytes(
        std::string(FENNICK_EXTERNAL_DIR) + "/jose-rfc8037-rfc7638/rfc8037-appendix-a.json");
    if (!text) GTEST_SKIP() << "RFC 8037 vectors not present under " << FENNICK_EXTERNAL_DIR;
    auto parsed = json::parse_value(*text);
    ASSERT_TRUE(parsed.ok()) << parsed.error().to_string();
    vectors_ = std::move(parsed).value();
  }
  std::string field(std::string_view key) const {
    const json::Value* value = vectors_.get(key);
    return value && value->as_string() ? *value->as_string() : std::string();
  }
  std::string private_field(std::string_view key) const {
    const json::Value* jwk = vectors_.get("A.1_ed25519_private_key_jwk");
    const json::Value* value = jwk ? jwk->get(key) : nullptr;
    return value && value->as_string() ? *value->as_string() : std::string();
  }

  json::Value vectors_;
};

TEST_F(Rfc8037Test, ProducerReproducesTheRfcKeyAndSignature) {
  const std::string seed = crypto::decode_base64_url(private_field("d")).value();
  const Ed25519KeyPair pair = key_pair_from_seed(seed);
  EXPECT_EQ(pair.x(), private_field("x"));
  EXPECT_EQ(sign_segments(field("A.4_protected_header_b64url"), field("A.4_payload_b64url"), pair),
            field("A.4_compact_jws"));
}

TEST_F(Rfc8037Test, RfcSignatureVerifiesOverTheReceivedSigningInput) {
  const std::string compact = field("A.4_compact_jws");
  const std::string signing_input = field("A.4_signing_input");
  ASSERT_EQ(compact.substr(0, compact.rfind('.')), signing_input);
  const std::string x = crypto::decode_base64_url(private_field("x")).value();
  const std::string signature = crypto::decode_base64_url(field("A.4_signature_b64url")).value();
  ASSERT_EQ(x.size(), 32u);
  ASSERT_EQ(signature.size(), 64u);
  crypto::PublicKey key{};
  std::copy(x.begin(), x.end(), key.begin());
  crypto::SignatureBytes sig{};
  std::copy(signature.begin(), signature.end(), sig.begin());
  EXPECT_EQ(crypto::verify_strict(key, signing_input, sig), std::nullopt);
  EXPECT_NE(crypto::verify_strict(key, signing_input + " ", sig), std::nullopt);
}

TEST_F(Rfc8037Test, RfcJwsStopsAtItsHeaderWhichHasNoTypOrKid) {
  ASSERT_EQ(crypto::decode_base64_url(field("A.4_protected_header_b64url")).value(),
            R"({"alg":"EdDSA"})");
  const PlatformJwks jwks = jwks_of({{"rfc8037", private_field("x")}});
  expect_failure(verify_compact_jws(field("A.4_compact_jws"), jwks, kTyp), Kind::kMalformed,
                 "malformed compact JWS: header JSON: missing field `typ` at line 1 column 15");
}

TEST_F(Rfc8037Test, RfcKeyVerifiesACountersignMadeWithIt) {
  const Ed25519KeyPair pair =
      key_pair_from_seed(crypto::decode_base64_url(private_field("d")).value());
  const PlatformJwks jwks = jwks_of({{"rfc8037", private_field("x")}});
  const std::string compact = sign_compact_jws(jws_header_json("EdDSA", kTyp, "rfc8037"),
                                               R"("Example of Ed25519 signing")", pair);
  const auto result = verify_compact_jws(compact, jwks, kTyp);
  ASSERT_TRUE(result.ok()) << outcome(result);
  EXPECT_EQ(result->payload, json::Value::string("Example of Ed25519 signing"));
}

}  // namespace
}  // namespace fennick::certificate
