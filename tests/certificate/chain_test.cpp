#include "certificate/chain.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "crypto/base64.h"
#include "support/certificate_producer.h"

namespace fennick::certificate {
namespace {

using test_support::Ed25519KeyPair;
using test_support::key_pair_from_fill;
using Kind = ManifestVerifyError::Kind;

constexpr std::string_view kEquationFailed =
    "manifest signature verification failed: Ed25519: signature error: Verification equation "
    "was not satisfied";

std::string display(const std::optional<ManifestVerifyError>& e) {
  return e ? e->to_string() : "(verified)";
}

class ManifestChainTest : public testing::Test {
 protected:
  const Ed25519KeyPair build_key = key_pair_from_fill(0x21);
  const Ed25519KeyPair test_key = key_pair_from_fill(0x22);
  const Ed25519KeyPair deploy_key = key_pair_from_fill(0x23);
  const InterStageChainRecord chain = test_support::linear_chain(
      "run-9", {{"build", build_key}, {"test", test_key}, {"deploy", deploy_key}});
  const RunKeyChain& keys = chain.key_chain;

  InterStageManifest first() const { return chain.manifests.at(0); }
  std::string verify(const InterStageManifest& m, const RunKeyChain& k,
                     std::optional<std::string_view> receiver = std::nullopt) const {
    return display(verify_inter_stage_manifest(m, k, receiver));
  }
};

TEST(KeyFingerprint, IsStandardBase64OfTheDigestOfTheRawKey) {
  // RFC 8032 test 1: secret seed 9d61b1... gives the public key d75a98...511a.
  const auto pair = test_support::key_pair_from_seed(
      crypto::decode_base64_standard("nWGxne/9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2A=").value());
  EXPECT_EQ(crypto::encode_base64_standard(
                {reinterpret_cast<const char*>(pair.public_key.data()), pair.public_key.size()}),
            "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=");
  EXPECT_EQ(key_fingerprint(pair.public_key), "If4x36FUomFia/hUBG/SJxt77UtqvkWqWId+9H+XIbk=");
}

TEST(ManifestSigningInput, CanonicalTextWithEmptySignatureLast) {
  InterStageManifest m;
  m.run_id = "run-1";
  m.from_stage = "build";
  m.to_stage = "test";
  m.produced_at = test_support::fixed_timestamp();
  m.artifact_hashes = {{"b", "2"}, {"a", "1"}};
  m.signer = {"agent-build", "kid"};
  m.signature = "sig";
  const std::string without_metadata =
      R"({"runId":"run-1","fromStage":"build","toStage":"test",)"
      R"("producedAt":"2024-05-01T10:00:00Z","artifactHashes":{"a":"1","b":"2"},)"
      R"("signer":{"agentId":"agent-build","ephemeralKeyId":"kid"},"signature":""})";
  EXPECT_EQ(manifest_signing_input(m), without_metadata);

  m.metadata["z"] = json::Value::unsigned_integer(1);
  m.metadata["a"] = json::Value::string("x");
  EXPECT_EQ(manifest_signing_input(m),
            R"({"runId":"run-1","fromStage":"build","toStage":"test",)"
            R"("producedAt":"2024-05-01T10:00:00Z","artifactHashes":{"a":"1","b":"2"},)"
            R"("metadata":{"a":"x","z":1},)"
            R"("signer":{"agentId":"agent-build","ephemeralKeyId":"kid"},"signature":""})");
  EXPECT_EQ(m.signature, "sig");  // built on a copy
}

TEST_F(ManifestChainTest, SignedManifestsVerifyAndResolveToTheirKeys) {
  for (const InterStageManifest& m : chain.manifests) EXPECT_EQ(verify(m, keys), "(verified)");
  EXPECT_EQ(verify(first(), keys, "test"), "(verified)");

  const auto resolved =
      resolve_manifest_signer(keys, test_support::stage_key_fingerprint(test_key));
  ASSERT_TRUE(resolved.ok());
  EXPECT_EQ(*resolved, test_key.public_key);

  // The stage of the signing key is not compared with fromStage.
  InterStageManifest by_other = first();
  test_support::sign_manifest(by_other, deploy_key);
  EXPECT_EQ(verify(by_other, keys), "(verified)");
}

TEST_F(ManifestChainTest, RunAndReceiverAreCheckedBeforeAnyKey) {
  InterStageManifest m = first();
  m.run_id = "run-other";
  m.signer.ephemeral_key_id = "nobody";
  EXPECT_EQ(verify(m, keys),
            "manifest's run_id run-other does not match expected run run-9 (cross-run swap)");

  EXPECT_EQ(verify(first(), keys, "deploy"),
            "manifest's to_stage test does not match expected receiver deploy");
}

TEST_F(ManifestChainTest, UnknownSignerNamesTheKeyIdAndRun) {
  InterStageManifest m = first();
  test_support::sign_manifest(m, key_pair_from_fill(0x7F));
  const std::string stranger = test_support::stage_key_fingerprint(key_pair_from_fill(0x7F));
  EXPECT_EQ(verify(m, keys), "signer's ephemeral_key_id " + stranger +
                                 " is not registered in run run-9's key chain");

  RunKeyChain empty = keys;
  empty.stage_keys.clear();
  EXPECT_EQ(verify(first(), empty), "signer's ephemeral_key_id " + first().signer.ephemeral_key_id +
                                        " is not registered in run run-9's key chain");
}

TEST_F(ManifestChainTest, FirstMatchInStageIdOrderIsTheOnlyOneUsed) {
  // "a-broken" sorts before "build" and claims the same fingerprint with a malformed key.
  RunKeyChain k = keys;
  StageKeyRecord broken = k.stage_keys.at("build");
  broken.ephemeral_public_key_b64 = broken.ephemeral_public_key_b64.substr(0, 43);
  k.stage_keys["a-broken"] = broken;
  EXPECT_EQ(verify(first(), k), "invalid key material: base64: Invalid padding");

  // Under a later stage id the duplicate is never looked at.
  RunKeyChain later = keys;
  later.stage_keys["zz-broken"] = broken;
  EXPECT_EQ(verify(first(), later), "(verified)");

  // Among many records under one fingerprint the first in stage id order still decides.
  for (int i = 0; i < 40; ++i) later.stage_keys["c-broken-" + std::to_string(i)] = broken;
  EXPECT_EQ(verify(first(), later), "(verified)");
  later.stage_keys["a-broken"] = broken;
  EXPECT_EQ(verify(first(), later), "invalid key material: base64: Invalid padding");
}

TEST_F(ManifestChainTest, KeyMaterialStepsInOrder) {
  const std::string fingerprint = first().signer.ephemeral_key_id;
  RunKeyChain k = keys;
  StageKeyRecord& record = k.stage_keys.at("build");

  record.ephemeral_public_key_b64 = crypto::encode_base64_standard(std::string(33, 'k'));
  EXPECT_EQ(verify(first(), k), "invalid key material: ephemeral_public_key length 33 != 32");

  // A sound key whose registered fingerprint is not its own.
  record.ephemeral_public_key_b64 = test_support::public_key_b64(test_key);
  EXPECT_EQ(verify(first(), k),
            "key " + fingerprint +
                " is registered under a fingerprint that is not the SHA-256 of its own public key "
                "(forged key-chain entry)");

  // Not a curve point: the fingerprint is checked first, then the point.
  std::string not_a_point(32, '\0');
  not_a_point[0] = 2;
  record.ephemeral_public_key_b64 = crypto::encode_base64_standard(not_a_point);
  EXPECT_EQ(verify(first(), k),
            "key " + fingerprint +
                " is registered under a fingerprint that is not the SHA-256 of its own public key "
                "(forged key-chain entry)");
  crypto::PublicKey raw{};
  raw[0] = 2;
  record.key_fingerprint = key_fingerprint(raw);
  InterStageManifest m = first();
  m.signer.ephemeral_key_id = record.key_fingerprint;
  EXPECT_EQ(verify(m, k),
            "invalid key material: not Ed25519: signature error: Cannot decompress Edwards point");
}

TEST_F(ManifestChainTest, FingerprintInAnotherFormNeverMatches) {
  const std::string padded = test_support::stage_key_fingerprint(build_key);
  const std::string unpadded = padded.substr(0, 43);
  InterStageManifest m = first();
  m.signer.ephemeral_key_id = unpadded;
  EXPECT_EQ(verify(m, keys), "signer's ephemeral_key_id " + unpadded +
                                 " is not registered in run run-9's key chain");

  RunKeyChain k = keys;
  k.stage_keys.at("build").key_fingerprint = unpadded;
  EXPECT_EQ(verify(m, k), "key " + unpadded +
                              " is registered under a fingerprint that is not the SHA-256 of its "
                              "own public key (forged key-chain entry)");
}

TEST_F(ManifestChainTest, SignatureDecodingAndCoverage) {
  InterStageManifest m = first();
  const std::string signature = m.signature;
  m.signature = signature.substr(0, 86);
  EXPECT_EQ(verify(m, keys), "manifest signature verification failed: base64: Invalid padding");
  m.signature = crypto::encode_base64_standard(std::string(63, 's'));
  EXPECT_EQ(verify(m, keys), "manifest signature verification failed: signature length 63 != 64");

  // A signature over the text with the real signature value, or without the member at all.
  InterStageManifest with_value = first();
  std::string text;
  write_manifest_json(with_value, text);
  with_value.signature = test_support::sign_b64(text, build_key);
  EXPECT_EQ(verify(with_value, keys), kEquationFailed);

  InterStageManifest without_member = first();
  std::string bare = manifest_signing_input(without_member);
  bare.replace(bare.find(R"(,"signature":"")"), 15, "");
  without_member.signature = test_support::sign_b64(bare, build_key);
  EXPECT_EQ(verify(without_member, keys), kEquationFailed);

  // Any change to a signed member.
  InterStageManifest tampered = first();
  tampered.artifact_hashes["extra"] = "00";
  EXPECT_EQ(verify(tampered, keys), kEquationFailed);
}

TEST_F(ManifestChainTest, MetadataAndTimestampAreSignedInCanonicalForm) {
  // Empty metadata is the same signed text as none; non-empty metadata is covered.
  InterStageManifest m = first();
  m.metadata.clear();
  EXPECT_EQ(verify(m, keys), "(verified)");
  m.metadata["note"] = json::Value::string("added");
  EXPECT_EQ(verify(m, keys), kEquationFailed);
  test_support::sign_manifest(m, build_key);
  EXPECT_EQ(verify(m, keys), "(verified)");

  // Signed over the producer's own +02:00 text: the canonical text says Z.
  InterStageManifest local = first();
  std::string own = manifest_signing_input(local);
  const std::string utc = R"("producedAt":"2024-05-01T10:00:00Z")";
  own.replace(own.find(utc), utc.size(), R"("producedAt":"2024-05-01T12:00:00+02:00")");
  local.signature = test_support::sign_b64(own, build_key);
  EXPECT_EQ(verify(local, keys), kEquationFailed);

  // Written with an offset in the file, the manifest reads as the same instant and verifies.
  GovernanceCertificate c = test_support::minimal_certificate("run-9");
  c.inter_stage_chain = chain;
  std::string file = test_support::certificate_text(c);
  file.replace(file.find(utc), utc.size(), R"("producedAt":"2024-05-01T12:00:00+02:00")");
  const auto read = read_certificate_json(file);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(verify(read->inter_stage_chain->manifests.at(0), keys), "(verified)");
}

}  // namespace
}  // namespace fennick::certificate
