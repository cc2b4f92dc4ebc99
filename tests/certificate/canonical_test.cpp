#include "certificate/canonical.h"

#include <gtest/gtest.h>

#include <string>

#include "certificate/records.h"
#include "support/certificate_json.h"

namespace fennick::certificate {
namespace {

constexpr std::string_view kVerification =
    R"({"compile":"passed","test":"passed","lint":"passed","typecheck":"passed",)"
    R"("securityScan":"passed"})";

using test_support::certificate_json;

// The shared certificate text with `members` (each followed by a comma) put in front.
std::string certificate(std::string_view members = "") {
  return "{" + std::string(members) + certificate_json().substr(1);
}

std::string canonical(const std::string& text) {
  auto read = read_certificate_json(text);
  if (!read.ok()) return "read error: " + read.error().to_string();
  auto written = write_certificate_json(*read);
  if (!written.ok()) return "write error: " + written.error();
  return *written;
}

// The canonical text of the certificate's member `key` (up to the next top-level member).
std::string member(const std::string& text, const std::string& key) {
  const std::string all = canonical(text);
  const std::string start = "\"" + key + "\":";
  const std::size_t at = all.find(start);
  if (at == std::string::npos) return "(absent)";
  std::size_t end = at + start.size();
  int depth = 0;
  bool in_string = false;
  for (; end < all.size(); ++end) {
    const char c = all[end];
    if (in_string) {
      if (c == '\\') ++end;
      if (c == '"') in_string = false;
      continue;
    }
    if (c == '"') in_string = true;
    if (c == '{' || c == '[') ++depth;
    if (c == '}' || c == ']') {
      if (depth == 0) break;
      --depth;
    }
    if (c == ',' && depth == 0) break;
  }
  return all.substr(at + start.size(), end - at - start.size());
}

TEST(CanonicalJson, TenRequiredKeysAndTheAlwaysWrittenDefaults) {
  EXPECT_EQ(canonical(certificate()),
            R"({"certificateVersion":"1.5.0","pipelineRunId":"run-1",)"
            R"("timestamp":"2024-05-01T10:00:00Z","status":"complete",)"
            R"("intent":{"requirementsHash":"r1"},"buildSpec":{"hash":"b1"},"stages":[],)"
            R"("verification":{"compile":"passed","test":"passed","lint":"passed",)"
            R"("typecheck":"passed","securityScan":"passed"},)"
            R"("proofChain":{"recordCount":3,"chainIntegrity":"verified"},)"
            R"("certificateHash":"c1","signingPublicKey":"","certSignature":"",)"
            R"("signingAttestation":{"kind":"unsigned"}})");
}

TEST(CanonicalJson, StageGateResultIsTheOnlyAbsentMemberWritten) {
  EXPECT_EQ(member(certificate_json(
                       {{"stages", R"([{"durationMs":null,"artifactHashes":{"b":"2","a":"1"},)"
                                   R"("status":"skipped","stageId":"s"}])"}}),
                   "stages"),
            R"([{"stageId":"s","status":"skipped","artifactHashes":{"a":"1","b":"2"},)"
            R"("gateResult":null}])");

  StageRecord stage;
  stage.stage_id = "s";
  stage.duration_ms = 0;
  std::string out = "prefix:";
  write_json(stage, out);
  EXPECT_EQ(out, R"(prefix:{"stageId":"s","status":"passed","artifactHashes":{},"gateResult":null,)"
                 R"("durationMs":0})");
}

TEST(CanonicalJson, OptionalStringsNoneAndEmpty) {
  const std::string none = R"({"certificateVersion":"1","pipelineRunId":"r","timestamp":)"
                           R"("2024-05-01T10:00:00Z","status":"complete",)"
                           R"("intent":{"requirementsHash":"r1","specId":null,"specHash":""},)"
                           R"("buildSpec":{"hash":"b"},"stages":[],"verification":)" +
                           std::string(kVerification) +
                           R"(,"proofChain":[0,null,"","empty"],"certificateHash":"c"})";
  EXPECT_EQ(member(none, "intent"), R"({"requirementsHash":"r1","specHash":""})");
  EXPECT_EQ(member(none, "proofChain"),
            R"({"recordCount":0,"lastRecordHash":"","chainIntegrity":"empty"})");
}

TEST(CanonicalJson, TimestampsInUtcWithFixedFractionWidths) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"2024-05-01T12:00:00+02:00", R"("2024-05-01T10:00:00Z")"},
      {"2024-05-01t10:00:00.5z", R"("2024-05-01T10:00:00.500Z")"},
      {"2024-05-01 10:00:00.500000000Z", R"("2024-05-01T10:00:00.500Z")"},
      {"2024-05-01T10:00:00.1234Z", R"("2024-05-01T10:00:00.123400Z")"},
      {"2024-05-01T10:00:00.000000001Z", R"("2024-05-01T10:00:00.000000001Z")"},
      {"2024-05-01T10:00:00.000Z", R"("2024-05-01T10:00:00Z")"},
      {"2024-05-01T00:30:00-01:00", R"("2024-05-01T01:30:00Z")"},
      {"2024-01-01T00:30:00+01:00", R"("2023-12-31T23:30:00Z")"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(member(certificate_json({{"timestamp", "\"" + input + "\""}}), "timestamp"), expected)
        << input;
  }
}

TEST(CanonicalJson, StringEscapes) {
  auto written = [](std::string_view text) {
    SigningAttestation attestation;
    attestation.note = std::string(text);
    std::string out;
    write_json(attestation, out);
    return out;
  };
  EXPECT_EQ(written("a\tb\nc/d\xC3\xA9"),
            "{\"kind\":\"unsigned\",\"note\":\"a\\tb\\nc/d\xC3\xA9\"}");
  EXPECT_EQ(written("\x1F"), R"({"kind":"unsigned","note":"\u001f"})");
  EXPECT_EQ(written(std::string_view("\"\\\b\f\r\x00\x7F", 7)),
            "{\"kind\":\"unsigned\",\"note\":\"\\\"\\\\\\b\\f\\r\\u0000\x7F\"}");

  // Escapes of the input are resolved on reading and re-escaped canonically.
  EXPECT_EQ(member(certificate(R"("goalId":"\/\u00e9\u0009\"",)"), "goalId"),
            "\"/\xC3\xA9\\t\\\"\"");
}

TEST(CanonicalJson, Integers) {
  SandboxExecutionRecord run;
  run.exit_code = -1;
  run.isolation_tier = 0;
  run.resource_peak.memory_bytes_peak = 18446744073709551615ULL;
  std::string out;
  write_json(run, out);
  EXPECT_EQ(out, R"({"command":[],"inputArtifactHashes":{},"outputArtifactHashes":{},)"
                 R"("resourcePeak":{"cpuMilliPeak":0,"memoryBytesPeak":18446744073709551615,)"
                 R"("pidPeak":0},"isolationTier":0,"runtimeDescriptor":"","deadlineHit":false,)"
                 R"("exitCode":-1})");

  ProofChainSummary summary;
  summary.record_count = 18446744073709551615ULL;
  out.clear();
  write_json(summary, out);
  EXPECT_EQ(out, R"({"recordCount":18446744073709551615,"chainIntegrity":"verified"})");
}

TEST(CanonicalJson, FreeFormValuesSortedAndShortest) {
  const std::string posture =
      R"("agenticPostureBinding":{"posture":"governed","defaulted":true,"surfaces":[)"
      R"({"governanceEnvelope":{"z":1,"a":{"k":1,"k":[-0,2.50,1e15,0.001,1e-7,1.5e-7,1E20,-5]}},)"
      R"("kind":"tool"}]},)";
  EXPECT_EQ(member(certificate(posture), "agenticPostureBinding"),
            R"({"posture":"governed","defaulted":true,"surfaces":[{"kind":"tool",)"
            R"("governanceEnvelope":{"a":{"k":[-0.0,2.5,1000000000000000.0,0.001,1e-7,1.5e-7,)"
            R"(1e20,-5]},"z":1}}]})");
}

TEST(CanonicalJson, PostureBindingOmissions) {
  EXPECT_EQ(member(certificate(R"("agenticPostureBinding":{"posture":"none","defaulted":false,)"
                               R"("surfaces":[]},)"),
                   "agenticPostureBinding"),
            R"({"posture":"none","defaulted":false})");
  EXPECT_EQ(member(certificate(R"("agenticPostureBinding":["declared",false,[["k"],)"
                               R"(["k2","",null]]],)"),
                   "agenticPostureBinding"),
            R"({"posture":"declared","defaulted":false,"surfaces":[{"kind":"k"},)"
            R"({"kind":"k2","description":""}]})");
}

TEST(CanonicalJson, BindingsAndCountersign) {
  EXPECT_EQ(member(certificate(R"("corpusBinding":null,)"), "corpusBinding"), "(absent)");
  EXPECT_EQ(member(certificate(R"("corpusBinding":{"keelsonVersion":"1","corpusAttestationHash":)"
                               R"("h","x":0},)"),
                   "corpusBinding"),
            R"({"corpusAttestationHash":"h","keelsonVersion":"1"})");
  EXPECT_EQ(member(certificate(R"("sbomArtifactBinding":["b","a","t"],)"), "sbomArtifactBinding"),
            R"({"bomHash":"b","auditHash":"a","bomToolVersion":"t"})");
  // Appended after the certificate hash, so read from the whole text.
  std::string text = certificate();
  text.insert(text.size() - 1,
              R"(,"platformCountersign":{"countersignedAt":"2024-05-01T12:00:00.25+02:00",)"
              R"("kid":"k","countersignJws":"h.p.s"})");
  const std::string all = canonical(text);
  const std::string tail =
      R"("signingAttestation":{"kind":"unsigned"},"platformCountersign":{"countersignJws":"h.p.s",)"
      R"("kid":"k","countersignedAt":"2024-05-01T10:00:00.250Z"}})";
  ASSERT_GE(all.size(), tail.size());
  EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
}

TEST(CanonicalJson, SigningAttestationKindAlwaysAsString) {
  std::string text = certificate();
  text.insert(text.size() - 1, R"(,"signingAttestation":{"kind":{"operator":null},"note":null})");
  const std::string all = canonical(text);
  const std::string tail = R"("signingAttestation":{"kind":"operator"}})";
  EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
}

TEST(CanonicalJson, ComplianceAndOverrides) {
  EXPECT_EQ(member(certificate(R"("compliance":{"frameworks":[],"mappings":[]},)"), "compliance"),
            R"({"frameworks":[]})");
  EXPECT_EQ(
      member(certificate(R"("compliance":{"frameworks":["soc2"],"mappings":[["c","m","s"]]},)"),
             "compliance"),
      R"({"frameworks":["soc2"],"mappings":[{"control":"c","mechanism":"m","status":"s"}]})");
  EXPECT_EQ(member(certificate(R"("consumedOverrides":[],)"), "consumedOverrides"), "(absent)");
  EXPECT_EQ(member(certificate(R"("consumedOverrides":[{"verifiedBy":"v","verified":true,)"
                               R"("contentHash":"h","path":"p","artifactId":"a",)"
                               R"("author":null}],)"),
                   "consumedOverrides"),
            R"([{"artifactId":"a","path":"p","contentHash":"h","verified":true,)"
            R"("verifiedBy":"v"}])");
}

TEST(CanonicalJson, InterStageChainAndManifests) {
  EXPECT_EQ(
      member(certificate(R"("interStageChain":{"keyChain":{"runId":"r",)"
                         R"("rootPublicKeyB64":"root","stageKeys":{}}},)"),
             "interStageChain"),
      R"({"keyChain":{"runId":"r","rootPublicKeyB64":"root","stageKeys":{}},"manifests":[]})");

  InterStageManifest manifest;
  manifest.run_id = "run-1";
  manifest.from_stage = "build";
  manifest.to_stage = "test";
  manifest.produced_at = text::Timestamp{1714557600, 0};
  manifest.artifact_hashes = {{"b", "2"}, {"a", "1"}};
  manifest.signer = {"agent", "fp"};
  manifest.signature = "sig";
  const std::string without_metadata =
      R"({"runId":"run-1","fromStage":"build","toStage":"test",)"
      R"("producedAt":"2024-05-01T10:00:00Z","artifactHashes":{"a":"1","b":"2"},)"
      R"("signer":{"agentId":"agent","ephemeralKeyId":"fp"},"signature":"sig"})";
  std::string out;
  write_manifest_json(manifest, out);
  EXPECT_EQ(out, without_metadata);

  manifest.metadata = {{"z", json::Value::boolean(false)},
                       {"a", json::Value::object({{"y", json::Value::null()},
                                                  {"x", json::Value::signed_integer(-3)}})}};
  out.clear();
  write_manifest_json(manifest, out);
  EXPECT_EQ(out, R"({"runId":"run-1","fromStage":"build","toStage":"test",)"
                 R"("producedAt":"2024-05-01T10:00:00Z","artifactHashes":{"a":"1","b":"2"},)"
                 R"("metadata":{"a":{"x":-3,"y":null},"z":false},)"
                 R"("signer":{"agentId":"agent","ephemeralKeyId":"fp"},"signature":"sig"})");

  // Absent and empty metadata read alike and are written alike.
  const std::string head =
      R"("interStageChain":{"keyChain":["r","root",{}],"manifests":[{"runId":"run-1",)"
      R"("fromStage":"build","toStage":"test","producedAt":"2024-05-01T12:00:00+02:00",)"
      R"("artifactHashes":{"b":"2","a":"1"},)";
  const std::string tail =
      R"("signer":{"ephemeralKeyId":"fp","agentId":"agent"},"signature":"sig"}]},)";
  const std::string expected = R"({"keyChain":{"runId":"r","rootPublicKeyB64":"root",)"
                               R"("stageKeys":{}},"manifests":[)" +
                               without_metadata + "]}";
  EXPECT_EQ(member(certificate(head + tail), "interStageChain"), expected);
  EXPECT_EQ(member(certificate(head + R"("metadata":{},)" + tail), "interStageChain"), expected);
}

// Everything at once: whitespace, member order, escapes, offsets, nulls and undeclared keys of
// the input do not reach the canonical text.
constexpr std::string_view kRich = R"({
  "pipelineRunId": "run-42",
  "certificateVersion": "1.5.0",
  "timestamp": "2024-05-01T12:30:00.5+02:00",
  "status": "incomplete",
  "intent": {"specHash": "sh", "requirementsHash": "rh", "specId": null},
  "buildSpec": {"hash": "bh", "approvalRecord": {"gateType": "manual",
                "approvedAt": "2024-04-30 23:59:59.000001Z", "approvedBy": "ops"}},
  "stages": [
    {"stageId": "build", "status": "passed", "artifactHashes": {"b.bin": "22", "a.bin": "11"},
     "gateResult": {"passed": true, "checksRun": 4, "checksFailed": 0}, "durationMs": 1200,
     "sandboxExecution": {"command": ["make", "-j8"], "inputArtifactHashes": {},
       "outputArtifactHashes": {"out": "33"},
       "resourcePeak": {"cpuMilliPeak": 1500, "memoryBytesPeak": 18446744073709551615,
                        "pidPeak": 12},
       "isolationTier": 0, "runtimeDescriptor": "oci:runtime", "deadlineHit": false,
       "exitCode": -1}},
    ["test", "failed", {}, null]
  ],
  "verification": {"compile": "passed", "test": "failed", "lint": "skipped",
                   "typecheck": "passed", "securityScan": "passed"},
  "proofChain": {"recordCount": 18446744073709551615, "firstRecordHash": "f",
                 "lastRecordHash": "", "chainIntegrity": "verified"},
  "compliance": {"frameworks": [], "mappings": []},
  "signer": {"subject": "s", "identityProvider": "idp", "sessionId": "sess"},
  "interStageChain": {
    "keyChain": {"runId": "run-42", "rootPublicKeyB64": "root=", "stageKeys": {
      "test": {"stageId": "test", "ephemeralPublicKeyB64": "k2", "keyFingerprint": "f2"},
      "build": {"stageId": "build", "ephemeralPublicKeyB64": "k1", "keyFingerprint": "f1"}}},
    "manifests": [{"runId": "run-42", "fromStage": "build", "toStage": "test",
                   "producedAt": "2024-05-01T10:00:00.1234Z", "artifactHashes": {"x": "1"},
                   "metadata": {}, "signer": {"agentId": "agent", "ephemeralKeyId": "f1"},
                   "signature": "sig=="}]},
  "admittedEnvelopeHash": "env",
  "goalId": "",
  "consumedOverrides": [{"artifactId": "o1", "path": "src/a.c", "contentHash": "ch",
                         "verified": false, "modifiedAt": "whenever"}],
  "corpusBinding": null,
  "sbomArtifactBinding": {"bomToolVersion": "t", "auditHash": "ah", "bomHash": "bh2"},
  "agenticPostureBinding": {"posture": "governed", "defaulted": false, "surfaces": [
    {"kind": "tool", "description": "d",
     "governanceEnvelope": {"z": [1, -2, 2.5, true, null], "a": {"y": "\t", "x": 1e20}}},
    {"kind": "bare"}]},
  "certificateHash": "ch64",
  "signingPublicKey": "pk",
  "certSignature": "sig",
  "signingAttestation": {"note": "tab\there", "kind": {"ephemeral": null}},
  "platformCountersign": {"countersignJws": "a.b.c", "kid": "kid-1",
                          "countersignedAt": "2024-05-01T10:00:00.000000001Z"},
  "unknownKey": {"anything": [1, 2, 3]}
}
)";

constexpr std::string_view kRichCanonical =
    R"({"certificateVersion":"1.5.0","pipelineRunId":"run-42",)"
    R"("timestamp":"2024-05-01T10:30:00.500Z","status":"incomplete",)"
    R"("intent":{"requirementsHash":"rh","specHash":"sh"},)"
    R"("buildSpec":{"hash":"bh","approvalRecord":{"approvedBy":"ops",)"
    R"("approvedAt":"2024-04-30T23:59:59.000001Z","gateType":"manual"}},)"
    R"("stages":[{"stageId":"build","status":"passed","artifactHashes":{"a.bin":"11","b.bin":"22"},)"
    R"("gateResult":{"passed":true,"checksRun":4,"checksFailed":0},"durationMs":1200,)"
    R"("sandboxExecution":{"command":["make","-j8"],"inputArtifactHashes":{},)"
    R"("outputArtifactHashes":{"out":"33"},"resourcePeak":{"cpuMilliPeak":1500,)"
    R"("memoryBytesPeak":18446744073709551615,"pidPeak":12},"isolationTier":0,)"
    R"("runtimeDescriptor":"oci:runtime","deadlineHit":false,"exitCode":-1}},)"
    R"({"stageId":"test","status":"failed","artifactHashes":{},"gateResult":null}],)"
    R"("verification":{"compile":"passed","test":"failed","lint":"skipped","typecheck":"passed",)"
    R"("securityScan":"passed"},)"
    R"("proofChain":{"recordCount":18446744073709551615,"firstRecordHash":"f",)"
    R"("lastRecordHash":"","chainIntegrity":"verified"},)"
    R"("compliance":{"frameworks":[]},)"
    R"("signer":{"subject":"s","identityProvider":"idp","sessionId":"sess"},)"
    R"("interStageChain":{"keyChain":{"runId":"run-42","rootPublicKeyB64":"root=",)"
    R"("stageKeys":{"build":{"stageId":"build","ephemeralPublicKeyB64":"k1","keyFingerprint":"f1"},)"
    R"("test":{"stageId":"test","ephemeralPublicKeyB64":"k2","keyFingerprint":"f2"}}},)"
    R"("manifests":[{"runId":"run-42","fromStage":"build","toStage":"test",)"
    R"("producedAt":"2024-05-01T10:00:00.123400Z","artifactHashes":{"x":"1"},)"
    R"("signer":{"agentId":"agent","ephemeralKeyId":"f1"},"signature":"sig=="}]},)"
    R"("admittedEnvelopeHash":"env","goalId":"",)"
    R"("consumedOverrides":[{"artifactId":"o1","path":"src/a.c","contentHash":"ch",)"
    R"("modifiedAt":"whenever","verified":false}],)"
    R"("sbomArtifactBinding":{"bomHash":"bh2","auditHash":"ah","bomToolVersion":"t"},)"
    R"("agenticPostureBinding":{"posture":"governed","defaulted":false,"surfaces":[)"
    R"({"kind":"tool","description":"d","governanceEnvelope":{"a":{"x":1e20,"y":"\t"},)"
    R"("z":[1,-2,2.5,true,null]}},{"kind":"bare"}]},)"
    R"("certificateHash":"ch64","signingPublicKey":"pk","certSignature":"sig",)"
    R"("signingAttestation":{"kind":"ephemeral","note":"tab\there"},)"
    R"("platformCountersign":{"countersignJws":"a.b.c","kid":"kid-1",)"
    R"("countersignedAt":"2024-05-01T10:00:00.000000001Z"}})";

TEST(CanonicalJson, RichCertificate) { EXPECT_EQ(canonical(std::string(kRich)), kRichCanonical); }

TEST(CanonicalJson, ReadWriteIsAFixedPoint) {
  auto first = read_certificate_json(kRich);
  ASSERT_TRUE(first.ok()) << first.error().to_string();
  auto first_text = write_certificate_json(*first);
  ASSERT_TRUE(first_text.ok());
  auto second = read_certificate_json(*first_text);
  ASSERT_TRUE(second.ok()) << second.error().to_string();
  EXPECT_EQ(*second, *first);
  auto second_text = write_certificate_json(*second);
  ASSERT_TRUE(second_text.ok());
  EXPECT_EQ(*second_text, *first_text);
}

}  // namespace
}  // namespace fennick::certificate
