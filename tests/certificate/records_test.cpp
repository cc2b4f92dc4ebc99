#include "certificate/records.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/certificate_json.h"

namespace fennick::certificate {
namespace {

using test_support::certificate_json;
using test_support::read_certificate_ok;
using Members = test_support::JsonMembers;

// The members of a certificate whose only stage is `stage`.
Members only_stage(const std::string& stage) { return {{"stages", "[" + stage + "]"}}; }
std::string with_stage(const std::string& stage) { return certificate_json(only_stage(stage)); }

std::string message(const std::string& text) {
  auto result = read_certificate_json(text);
  if (result.ok()) return "(read)";
  return result.error().message;
}

// Each certificate with its changes gives the message (without position).
void expect_messages(const std::vector<std::pair<Members, std::string>>& cases) {
  for (const auto& [changes, expected] : cases) {
    const std::string text = certificate_json(changes);
    SCOPED_TRACE(text);
    EXPECT_EQ(message(text), expected);
  }
}

std::string full_error(const std::string& text) {
  auto result = read_certificate_json(text);
  if (result.ok()) return "(read)";
  return result.error().to_string();
}

TEST(CertificateRecords, TenRequiredKeysReadWithDefaults) {
  const GovernanceCertificate c = read_certificate_ok(certificate_json());
  EXPECT_EQ(c.certificate_version, "1.5.0");
  EXPECT_EQ(c.pipeline_run_id, "run-1");
  EXPECT_EQ(c.timestamp, (text::Timestamp{1714557600, 0}));
  EXPECT_EQ(c.status, CertificateStatus::kComplete);
  EXPECT_EQ(c.intent.requirements_hash, "r1");
  EXPECT_FALSE(c.intent.spec_id.has_value());
  EXPECT_TRUE(c.stages.empty());
  EXPECT_EQ(c.proof_chain.record_count, 3u);
  EXPECT_EQ(c.proof_chain.chain_integrity, ChainIntegrity::kVerified);
  EXPECT_EQ(c.certificate_hash, "c1");

  EXPECT_TRUE(c.consumed_overrides.empty());
  EXPECT_EQ(c.signing_public_key, "");
  EXPECT_EQ(c.cert_signature, "");
  EXPECT_EQ(c.signing_attestation.kind, SigningKind::kUnsigned);
  EXPECT_FALSE(c.signing_attestation.note.has_value());
  EXPECT_FALSE(c.compliance || c.signer || c.inter_stage_chain || c.admitted_envelope_hash ||
               c.goal_id || c.intent_capsule_hash || c.corpus_binding || c.sbom_artifact_binding ||
               c.agentic_posture_binding || c.platform_countersign);
}

TEST(CertificateRecords, ReferenceMessagesWithPositions) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{}", "missing field `certificateVersion` at line 1 column 2"},
      {R"({"status":"complete","status":"complete"})",
       "duplicate field `status` at line 1 column 29"},
      {"[]",
       "invalid length 0, expected struct GovernanceCertificate with 24 elements at line 1 "
       "column 2"},
      {R"({"intent":null})",
       "invalid type: null, expected struct IntentRecord at line 1 column 14"},
      {R"({"status":"Complete"})",
       "unknown variant `Complete`, expected `complete` or `incomplete` at line 1 column 20"},
      {R"({"status":5})", "expected value at line 1 column 11"},
      {R"({"proofChain":{"recordCount":-0}})",
       "invalid type: floating point `-0.0`, expected u64 at line 1 column 31"},
      {R"({"proofChain":[1]})",
       "invalid length 3, expected struct ProofChainSummary with 4 elements at line 1 column 17"},
      {R"({"stages":[["s","passed",{},null,1,null,7]]})",
       "trailing characters at line 1 column 41"},
      {R"({"timestamp":"2024-05-01T10:00:00"})", "premature end of input at line 1 column 34"},
      {"{\"certificateVersion\":\"a\nb\"}",
       "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
      // A record error wins over the characters that follow the document.
      {"{} x", "missing field `certificateVersion` at line 1 column 2"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(full_error(input), expected) << input;
}

TEST(CertificateRecords, DocumentLevelSyntax) {
  const std::string text = certificate_json();
  read_certificate_ok(" \t\r\n" + text + "\n\n ");
  EXPECT_EQ(message(text + " {}"), "trailing characters");
  EXPECT_EQ(message(""), "EOF while parsing a value");
  EXPECT_EQ(message("null"), "invalid type: null, expected struct GovernanceCertificate");
}

TEST(CertificateRecords, NullAgainstPresenceRules) {
  expect_messages({
      {{{"signingPublicKey", "null"}}, "invalid type: null, expected a string"},
      {{{"consumedOverrides", "null"}}, "invalid type: null, expected a sequence"},
      {{{"signingAttestation", "null"}}, "invalid type: null, expected struct SigningAttestation"},
      {{{"certificateHash", "null"}}, "invalid type: null, expected a string"},
  });

  const GovernanceCertificate c =
      read_certificate_ok(certificate_json({{"signer", "null"},
                                            {"goalId", "null"},
                                            {"corpusBinding", "null"},
                                            {"agenticPostureBinding", "null"},
                                            {"platformCountersign", "null"}}));
  EXPECT_FALSE(c.signer || c.goal_id || c.corpus_binding || c.agentic_posture_binding ||
               c.platform_countersign);

  const std::string hashes = R"("artifactHashes":{})";
  for (const std::string& stage :
       {R"({"stageId":"s","status":"passed",)" + hashes + R"(,"gateResult":null})",
        R"({"stageId":"s","status":"passed",)" + hashes + "}"}) {
    const GovernanceCertificate read = read_certificate_ok(with_stage(stage));
    ASSERT_EQ(read.stages.size(), 1u);
    EXPECT_FALSE(read.stages[0].gate_result.has_value());
  }

  // Present and empty is not absent.
  const GovernanceCertificate empty_spec = read_certificate_ok(
      certificate_json({{"intent", R"({"requirementsHash":"r1","specId":""})"}}));
  ASSERT_TRUE(empty_spec.intent.spec_id.has_value());
  EXPECT_EQ(*empty_spec.intent.spec_id, "");
}

TEST(CertificateRecords, UndeclaredKeysAreSkippedAndKeysAreCaseSensitive) {
  const std::string stage =
      R"({"extra":[1,{"x":[]}],"stageId":"s","status":"failed","artifactHashes":{"a":"1"},)"
      R"("gateResult":{"passed":true,"checksRun":2,"checksFailed":0,"note":"x","note":"y"},)"
      R"("extra":"again"})";
  const GovernanceCertificate c =
      read_certificate_ok(certificate_json({{"stages", "[" + stage + "]"},
                                            {"unknown", R"({"deep":[[[null]]]})"},
                                            {"unknown2", "1e999999"}}));
  ASSERT_EQ(c.stages.size(), 1u);
  EXPECT_EQ(c.stages[0].stage_id, "s");
  EXPECT_EQ(c.stages[0].status, StageStatus::kFailed);
  ASSERT_TRUE(c.stages[0].gate_result.has_value());
  EXPECT_EQ(c.stages[0].gate_result->checks_run, 2u);

  // The same key repeated at the root, as an undeclared key.
  read_certificate_ok(certificate_json({{"x", "1"}}).insert(1, R"("x":2,"x":[],)"));

  EXPECT_EQ(message(with_stage(R"({"StageId":"s","status":"passed","artifactHashes":{}})")),
            "missing field `stageId`");
  // Keys are compared after their escapes are resolved.
  const GovernanceCertificate escaped = read_certificate_ok(
      with_stage(R"({"\u0073tageId":"s","status":"passed","artifactHashes":{}})"));
  EXPECT_EQ(escaped.stages[0].stage_id, "s");
}

TEST(CertificateRecords, DuplicateDeclaredKeys) {
  std::string text = certificate_json();
  text.insert(1, R"("status":"complete",)");
  EXPECT_EQ(message(text), "duplicate field `status`");
  EXPECT_EQ(message(with_stage(
                R"({"stageId":"s","status":"passed","artifactHashes":{},"gateResult":null,)"
                R"("gateResult":null})")),
            "duplicate field `gateResult`");
}

TEST(CertificateRecords, MissingFieldIsTheFirstInDeclaredOrder) {
  EXPECT_EQ(message(R"({"certificateHash":"c","pipelineRunId":"r"})"),
            "missing field `certificateVersion`");
  expect_messages({
      {{{"certificateVersion", ""}, {"stages", ""}}, "missing field `certificateVersion`"},
      {{{"stages", ""}, {"certificateHash", ""}}, "missing field `stages`"},
      {{{"verification", R"({"compile":"passed"})"}}, "missing field `test`"},
  });
}

TEST(CertificateRecords, StageArrayForm) {
  EXPECT_EQ(message(with_stage(R"(["s","passed",{}])")),
            "invalid length 3, expected struct StageRecord with 6 elements");
  const GovernanceCertificate c =
      read_certificate_ok(with_stage(R"(["s","skipped",{"a":"1"},null])"));
  ASSERT_EQ(c.stages.size(), 1u);
  EXPECT_EQ(c.stages[0].status, StageStatus::kSkipped);
  EXPECT_FALSE(c.stages[0].gate_result || c.stages[0].duration_ms || c.stages[0].sandbox_execution);
  EXPECT_EQ(message(with_stage(R"(["s","passed",{},null,1,null,7])")), "trailing characters");

  const GovernanceCertificate full =
      read_certificate_ok(with_stage(R"(["s","passed",{},[true,1,0],42,null])"));
  EXPECT_EQ(full.stages[0].gate_result, (GateResultRecord{true, 1, 0}));
  EXPECT_EQ(full.stages[0].duration_ms, 42u);
}

// Every record's array-form length error, with the position of the first missing field that
// may not be left out.
TEST(CertificateRecords, InvalidLengthTextsOfEveryRecord) {
  const std::string ts = R"("2024-05-01T10:00:00Z")";
  const std::string manifest_head = R"(["r","a","b",)" + ts + ",{}";
  const std::string chain_head = R"({"keyChain":["r","root",{}],"manifests":[)";
  const std::string stage_head = R"({"stageId":"s","status":"passed","artifactHashes":{},)";
  const std::vector<std::pair<Members, std::string>> cases = {
      {{{"intent", "[]"}}, "invalid length 0, expected struct IntentRecord with 3 elements"},
      {{{"buildSpec", "[]"}}, "invalid length 0, expected struct BuildSpecRecord with 2 elements"},
      {{{"buildSpec", R"(["h",[]])"}},
       "invalid length 1, expected struct ApprovalRecord with 3 elements"},
      {{{"buildSpec", R"(["h",[null,)" + ts + "]]"}},
       "invalid length 2, expected struct ApprovalRecord with 3 elements"},
      {{{"stages", "[[]]"}}, "invalid length 0, expected struct StageRecord with 6 elements"},
      {{{"stages", "[" + stage_head + R"("gateResult":[true,1]}])"}},
       "invalid length 2, expected struct GateResultRecord with 3 elements"},
      {{{"stages", "[" + stage_head + R"("sandboxExecution":[[],{},{}]}])"}},
       "invalid length 3, expected struct SandboxExecutionRecord with 8 elements"},
      {{{"stages", "[" + stage_head + R"("sandboxExecution":[[],{},{},[1,2]]}])"}},
       "invalid length 2, expected struct SandboxResourcePeak with 3 elements"},
      {{{"verification", R"(["passed","passed","passed","passed"])"}},
       "invalid length 4, expected struct VerificationRecord with 5 elements"},
      {{{"proofChain", "[1]"}},
       "invalid length 3, expected struct ProofChainSummary with 4 elements"},
      {{{"compliance", "[]"}},
       "invalid length 0, expected struct ComplianceRecord with 2 elements"},
      {{{"compliance", R"([[],[["c","m"]]])"}},
       "invalid length 2, expected struct ComplianceMapping with 3 elements"},
      {{{"signer", R"(["s"])"}}, "invalid length 1, expected struct Signer with 3 elements"},
      {{{"consumedOverrides", R"([["a","p","h"]])"}},
       "invalid length 5, expected struct ConsumedOverride with 7 elements"},
      {{{"signingAttestation", "[]"}},
       "invalid length 0, expected struct SigningAttestation with 2 elements"},
      {{{"corpusBinding", R"(["h"])"}},
       "invalid length 1, expected struct CorpusBinding with 2 elements"},
      {{{"sbomArtifactBinding", R"(["a","b"])"}},
       "invalid length 2, expected struct SbomArtifactBinding with 3 elements"},
      {{{"interStageChain", "[]"}},
       "invalid length 0, expected struct InterStageChainRecord with 2 elements"},
      {{{"interStageChain", R"([["r","root"]])"}},
       "invalid length 2, expected struct RunKeyChain with 3 elements"},
      {{{"interStageChain", R"([["r","root",{"s":["s","k"]}]])"}},
       "invalid length 2, expected struct StageKeyRecord with 3 elements"},
      {{{"interStageChain", chain_head + manifest_head + "]]}"}},
       "invalid length 6, expected struct InterStageManifest with 8 elements"},
      {{{"interStageChain", chain_head + manifest_head + R"(,{},["a"],"sig"]]})"}},
       "invalid length 1, expected struct ManifestSigner with 2 elements"},
      {{{"platformCountersign", R"(["jws","kid"])"}},
       "invalid length 2, expected struct PlatformCountersign with 3 elements"},
      {{{"agenticPostureBinding", R"(["none"])"}},
       "invalid length 1, expected struct AgenticPostureBinding with 3 elements"},
      {{{"agenticPostureBinding", R"(["none",false,[[]]])"}},
       "invalid length 0, expected struct CertAgenticSurface with 3 elements"},
  };
  expect_messages(cases);
}

TEST(CertificateRecords, ShortArraysEndingBeforeDefaultedFields) {
  const GovernanceCertificate c = read_certificate_ok(certificate_json({
      {"intent", R"(["r"])"},
      {"buildSpec", R"(["h",[null,"2024-05-01T10:00:00Z","manual"]])"},
      {"compliance", R"([["soc2"]])"},
      {"signer", R"(["sub","idp"])"},
      {"signingAttestation", R"(["operator"])"},
      {"interStageChain", R"([["r","root",{}]])"},
      {"agenticPostureBinding", R"(["none",false])"},
  }));
  EXPECT_EQ(c.intent.requirements_hash, "r");
  EXPECT_FALSE(c.build_spec.approval_record->approved_by.has_value());
  EXPECT_EQ(c.build_spec.approval_record->gate_type, "manual");
  EXPECT_TRUE(c.compliance && c.compliance->mappings.empty());
  EXPECT_FALSE(c.signer->session_id.has_value());
  EXPECT_EQ(c.signing_attestation.kind, SigningKind::kOperator);
  EXPECT_TRUE(c.inter_stage_chain && c.inter_stage_chain->manifests.empty());
  EXPECT_TRUE(c.agentic_posture_binding && c.agentic_posture_binding->surfaces.empty());

  // The root needs its first twenty positions.
  std::string root = "[";
  for (const auto& [k, value] : test_support::required_certificate_members()) {
    if (k == "certificateHash") {
      root += "null,null,null,null,null,null,[],null,null,null,";
    }
    root += value + ",";
  }
  root.back() = ']';
  const GovernanceCertificate array_root = read_certificate_ok(root);
  EXPECT_EQ(array_root.certificate_hash, "c1");
  root.resize(root.size() - 6);  // drop the certificate hash
  root += "]";
  EXPECT_EQ(message(root),
            "invalid length 19, expected struct GovernanceCertificate with 24 elements");
}

TEST(CertificateRecords, IntegerWidths) {
  auto sandbox = [](const std::string& tier, const std::string& exit_code) {
    return only_stage(
        R"({"stageId":"s","status":"passed","artifactHashes":{},"sandboxExecution":)"
        R"({"command":["make","test"],"inputArtifactHashes":{},"outputArtifactHashes":{},)"
        R"("resourcePeak":{"cpuMilliPeak":4294967295,"memoryBytesPeak":18446744073709551615,)"
        R"("pidPeak":0},"isolationTier":)" +
        tier + R"(,"runtimeDescriptor":"rt","deadlineHit":false,"exitCode":)" + exit_code + "}}");
  };
  const GovernanceCertificate low =
      read_certificate_ok(certificate_json(sandbox("255", "-2147483648")));
  const SandboxExecutionRecord& run = *low.stages.at(0).sandbox_execution;
  EXPECT_EQ(run.isolation_tier, 255);
  EXPECT_EQ(run.exit_code, -2147483648LL);
  EXPECT_EQ(run.resource_peak.memory_bytes_peak, 18446744073709551615ULL);
  EXPECT_EQ(run.resource_peak.cpu_milli_peak, 4294967295u);
  EXPECT_EQ(read_certificate_ok(certificate_json(sandbox("0", "2147483647")))
                .stages[0]
                .sandbox_execution->exit_code,
            2147483647);

  auto gate = [](const std::string& checks_run) {
    return only_stage(R"({"stageId":"s","status":"passed","artifactHashes":{},"gateResult":)"
                      R"({"passed":true,"checksRun":)" +
                      checks_run + R"(,"checksFailed":0}})");
  };
  expect_messages({
      {sandbox("0", "2147483648"), "invalid value: integer `2147483648`, expected i32"},
      {sandbox("0", "-2147483649"), "invalid value: integer `-2147483649`, expected i32"},
      {sandbox("256", "0"), "invalid value: integer `256`, expected u8"},
      {sandbox("-1", "0"), "invalid value: integer `-1`, expected u8"},
      {sandbox("\"1\"", "0"), "invalid type: string \"1\", expected u8"},
      {gate("3.0"), "invalid type: floating point `3.0`, expected u32"},
      {gate("3e0"), "invalid type: floating point `3.0`, expected u32"},
      {gate("4294967296"), "invalid value: integer `4294967296`, expected u32"},
      {gate("true"), "invalid type: boolean `true`, expected u32"},
      {{{"proofChain", R"({"recordCount":18446744073709551616,"chainIntegrity":"empty"})"}},
       "invalid type: floating point `1.8446744073709552e19`, expected u64"},
  });
}

TEST(CertificateRecords, Enumerations) {
  const std::string checks = R"({"compile":"passed","test":"passed","lint":"passed",)"
                             R"("typecheck":"passed","securityScan":" passed"})";
  expect_messages({
      {{{"status", R"("Complete")"}},
       "unknown variant `Complete`, expected `complete` or `incomplete`"},
      {{{"status", "5"}}, "expected value"},
      {{{"status", "null"}}, "expected value"},
      {{{"status", R"(["complete"])"}}, "expected value"},
      {{{"status", R"({"incomplete":1})"}}, "invalid type: integer `1`, expected unit"},
      {{{"status", R"({"done":null})"}},
       "unknown variant `done`, expected `complete` or `incomplete`"},
      {{{"status", R"({"complete":null,"incomplete":null})"}}, "expected value"},
      {only_stage(R"({"stageId":"s","status":"done","artifactHashes":{}})"),
       "unknown variant `done`, expected one of `passed`, `failed`, `skipped`"},
      {{{"verification", checks}},
       "unknown variant ` passed`, expected one of `passed`, `failed`, `skipped`"},
      {{{"proofChain", R"({"recordCount":0,"chainIntegrity":"ok"})"}},
       "unknown variant `ok`, expected one of `verified`, `unverified`, `empty`"},
      {{{"signingAttestation", R"({"kind":"Operator"})"}},
       "unknown variant `Operator`, expected one of `unsigned`, `ephemeral`, `operator`, "
       "`sigstore-rekor`"},
  });

  EXPECT_EQ(read_certificate_ok(certificate_json({{"status", R"({"incomplete":null})"}})).status,
            CertificateStatus::kIncomplete);
  const GovernanceCertificate c = read_certificate_ok(certificate_json(
      {{"verification", R"({"compile":"failed","test":"skipped","lint":{"passed":null},)"
                        R"("typecheck":"passed","securityScan":"failed"})"},
       {"proofChain", R"({"recordCount":0,"chainIntegrity":"unverified"})"},
       {"signingAttestation", R"({"kind":{"sigstore-rekor":null},"note":"n"})"}}));
  EXPECT_EQ(c.verification.compile, CheckStatus::kFailed);
  EXPECT_EQ(c.verification.test, CheckStatus::kSkipped);
  EXPECT_EQ(c.verification.lint, CheckStatus::kPassed);
  EXPECT_EQ(c.verification.security_scan, CheckStatus::kFailed);
  EXPECT_EQ(c.proof_chain.chain_integrity, ChainIntegrity::kUnverified);
  EXPECT_EQ(c.signing_attestation.kind, SigningKind::kSigstoreRekor);
  EXPECT_EQ(c.signing_attestation.note, "n");
}

TEST(CertificateRecords, WireAndDisplayNames) {
  EXPECT_EQ(wire_name(CertificateStatus::kIncomplete), "incomplete");
  EXPECT_EQ(display_name(CertificateStatus::kComplete), "Complete");
  EXPECT_EQ(display_name(CertificateStatus::kIncomplete), "Incomplete");
  EXPECT_EQ(wire_name(StageStatus::kSkipped), "skipped");
  EXPECT_EQ(wire_name(CheckStatus::kFailed), "failed");
  EXPECT_EQ(wire_name(ChainIntegrity::kEmpty), "empty");
  EXPECT_EQ(wire_name(SigningKind::kSigstoreRekor), "sigstore-rekor");
}

TEST(CertificateRecords, Timestamps) {
  const text::Timestamp ten_z{1714557600, 0};
  for (const char* written : {R"("2024-05-01 10:00:00Z")", R"("2024-05-01T12:00:00+02:00")"}) {
    EXPECT_EQ(read_certificate_ok(certificate_json({{"timestamp", written}})).timestamp, ten_z);
  }
  expect_messages({
      {{{"timestamp", R"("2024-05-01T10:00:00")"}}, "premature end of input"},
      {{{"timestamp", R"("2024-05-01T10:00:00Zx")"}}, "trailing input"},
      {{{"timestamp", R"("2024-13-01T10:00:00Z")"}}, "input is out of range"},
      {{{"timestamp", "1714557600"}},
       "invalid type: integer `1714557600`, expected an RFC 3339 formatted date and time string"},
  });
  // Not read as a timestamp: any text is kept.
  const GovernanceCertificate c = read_certificate_ok(certificate_json(
      {{"consumedOverrides",
        R"([{"artifactId":"a","path":"p","contentHash":"h","modifiedAt":"last tuesday",)"
        R"("verified":true}])"}}));
  EXPECT_EQ(c.consumed_overrides.at(0).modified_at, "last tuesday");
}

TEST(CertificateRecords, MapsAndLists) {
  const GovernanceCertificate c = read_certificate_ok(with_stage(
      R"({"stageId":"s","status":"passed","artifactHashes":{"b":"2","a":"1","b":"3"}})"));
  const StringMap expected = {{"a", "1"}, {"b", "3"}};
  EXPECT_EQ(c.stages.at(0).artifact_hashes, expected);

  // Ascending byte order (bytes from 0x80 after ASCII, a prefix before its extensions), and of
  // repeated keys, spelt plainly or with escapes, the last one read.
  const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>
      orders = {
          {R"({"ab":"1","a":"2","\u00e9":"3","z":"4","\u0061":"5","é":"6","a":"7"})",
           {{"a", "7"}, {"ab", "1"}, {"z", "4"}, {"\xc3\xa9", "6"}}},
          {R"({"c":"1","b":"2","a":"3"})", {{"a", "3"}, {"b", "2"}, {"c", "1"}}},
          {R"({"x":"1","x":"2","x":"3"})", {{"x", "3"}}},
          {R"({"\u00ff":"1","\u007f":"2","":"3"})", {{"", "3"}, {"\x7f", "2"}, {"\xc3\xbf", "1"}}},
      };
  for (const auto& [map, entries] : orders) {
    SCOPED_TRACE(map);
    const GovernanceCertificate read = read_certificate_ok(
        with_stage(R"({"stageId":"s","status":"passed","artifactHashes":)" + map + "}"));
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& [key, value] : read.stages.at(0).artifact_hashes) got.emplace_back(key, value);
    EXPECT_EQ(got, entries);
  }

  expect_messages({
      {{{"stages", "{}"}}, "invalid type: map, expected a sequence"},
      {only_stage(R"({"stageId":"s","status":"passed","artifactHashes":[]})"),
       "invalid type: sequence, expected a map"},
      {only_stage(R"({"stageId":"s","status":"passed","artifactHashes":{"a":1}})"),
       "invalid type: integer `1`, expected a string"},
      {{{"compliance", R"({"frameworks":[true]})"}},
       "invalid type: boolean `true`, expected a string"},
      {{{"consumedOverrides", R"([{"artifactId":"a","path":"p","contentHash":"h",)"
                              R"("verified":"yes"}])"}},
       "invalid type: string \"yes\", expected a boolean"},
  });
}

// The strings of a certificate view the text it was read from: whatever is copied out of it
// stays readable once the text and the certificate are gone.
TEST(CertificateRecords, StringsOutliveTheirCertificate) {
  StageRecord stage;
  json::Text id;
  json::Text escaped;
  {
    std::string text = with_stage(
        R"({"stageId":"build","status":"passed","artifactHashes":{"app\n.tar":"d1","lib":"d2"}})");
    std::optional<GovernanceCertificate> c = read_certificate_ok(text);
    text.assign(text.size(), 'x');
    stage = c->stages.at(0);
    id = c->stages.at(0).stage_id;
    escaped = c->stages.at(0).artifact_hashes.begin()->first;
    GovernanceCertificate moved = std::move(*c);
    c.reset();
    moved.stages.at(0).stage_id = moved.stages.at(0).artifact_hashes.begin()->second;
  }
  EXPECT_EQ(id, "build");
  EXPECT_EQ(escaped, "app\n.tar");
  EXPECT_EQ(stage.stage_id, "build");
  EXPECT_EQ(stage.artifact_hashes.at("lib"), "d2");
  const json::Text& same = id;
  id = same;  // assigning a string to itself keeps it
  EXPECT_EQ(id, "build");
  stage.stage_id = stage.artifact_hashes.at("lib");
  stage.artifact_hashes.clear();
  EXPECT_EQ(stage.stage_id, "d2");
}

TEST(CertificateRecords, SubRecords) {
  const std::string manifest =
      R"({"runId":"run-1","fromStage":"a","toStage":"b","producedAt":"2024-05-01T12:00:00+02:00",)"
      R"("artifactHashes":{"z":"1","y":"2"},"metadata":{"k":{"b":1,"a":[2.5,null]}},)"
      R"("signer":{"agentId":"agent","ephemeralKeyId":"fp"},"signature":"sig"})";
  const GovernanceCertificate c = read_certificate_ok(certificate_json({
      {"interStageChain",
       R"({"keyChain":{"runId":"run-1","rootPublicKeyB64":"root","stageKeys":)"
       R"({"b":{"stageId":"b","ephemeralPublicKeyB64":"k1","keyFingerprint":"f1"},)"
       R"("a":{"stageId":"x","ephemeralPublicKeyB64":"k2","keyFingerprint":"f2"},)"
       R"("b":{"stageId":"b2","ephemeralPublicKeyB64":"k3","keyFingerprint":"f3"}}},)"
       R"("manifests":[)" +
           manifest + "]}"},
      {"corpusBinding", R"({"keelsonVersion":"0.3","corpusAttestationHash":"h"})"},
      {"sbomArtifactBinding", R"(["bom","audit","tool 1"])"},
      {"platformCountersign",
       R"({"countersignJws":"a.b.c","kid":"k","countersignedAt":"2024-05-01T10:00:00Z"})"},
      {"agenticPostureBinding",
       R"({"posture":"governed","defaulted":true,"surfaces":[{"kind":"tool",)"
       R"("governanceEnvelope":{"z":1,"a":2,"z":3}},{"kind":"mcp","governanceEnvelope":null}]})"},
      {"signingAttestation", R"({"kind":{"operator":null}})"},
  }));
  ASSERT_TRUE(c.inter_stage_chain.has_value());
  const RunKeyChain& keys = c.inter_stage_chain->key_chain;
  ASSERT_EQ(keys.stage_keys.size(), 2u);
  EXPECT_EQ(keys.stage_keys.begin()->first, "a");
  EXPECT_EQ(keys.stage_keys.begin()->second.stage_id, "x");
  EXPECT_EQ(keys.stage_keys.at("b").stage_id, "b2");  // the later entry is kept
  ASSERT_EQ(c.inter_stage_chain->manifests.size(), 1u);
  const InterStageManifest& m = c.inter_stage_chain->manifests[0];
  EXPECT_EQ(m.produced_at, (text::Timestamp{1714557600, 0}));
  EXPECT_EQ(m.signer.ephemeral_key_id, "fp");
  ASSERT_EQ(m.metadata.count("k"), 1u);
  EXPECT_EQ(*m.metadata.at("k").get("b")->as_u64(), 1u);

  EXPECT_EQ(c.corpus_binding, (CorpusBinding{"h", "0.3"}));
  EXPECT_EQ(c.sbom_artifact_binding, (SbomArtifactBinding{"bom", "audit", "tool 1"}));
  EXPECT_EQ(c.platform_countersign->countersigned_at, (text::Timestamp{1714557600, 0}));
  const AgenticPostureBinding& posture = *c.agentic_posture_binding;
  EXPECT_TRUE(posture.defaulted);
  ASSERT_EQ(posture.surfaces.size(), 2u);
  EXPECT_EQ(*posture.surfaces[0].governance_envelope->get("z")->as_u64(), 3u);
  EXPECT_FALSE(posture.surfaces[1].governance_envelope.has_value());
  EXPECT_EQ(c.signing_attestation.kind, SigningKind::kOperator);
}

TEST(CertificateRecords, SubRecordFailures) {
  expect_messages({
      {{{"corpusBinding", R"({"corpusAttestationHash":"h"})"}}, "missing field `keelsonVersion`"},
      {{{"signingAttestation", R"({"note":"n"})"}}, "missing field `kind`"},
      // The tagged form belongs to the kind; the attestation record has no member named after
      // one.
      {{{"signingAttestation", R"({"operator":null})"}}, "missing field `kind`"},
      {{{"signingAttestation", R"({"kind":"operator","kind":"operator"})"}},
       "duplicate field `kind`"},
      {{{"interStageChain", R"({"keyChain":["r","root",{}],"manifests":null})"}},
       "invalid type: null, expected a sequence"},
      {{{"interStageChain", R"({"keyChain":["r","root",{}],"manifests":[["r","a","b",)"
                            R"("2024-05-01T10:00:00Z",{},null,["a","k"],"s"]]})"}},
       "invalid type: null, expected a map"},
      {{{"agenticPostureBinding", R"({"posture":"none","defaulted":false,"surfaces":null})"}},
       "invalid type: null, expected a sequence"},
      {{{"agenticPostureBinding", R"({"posture":"none"})"}}, "missing field `defaulted`"},
      {{{"platformCountersign",
         R"({"countersignJws":"a","kid":"k","countersignedAt":"yesterday"})"}},
       "input contains invalid characters"},
  });
}

// The depth counter starts at 128 and the root object is the first level, so a governance
// envelope (at level 5: root, binding, surface list, surface) may hold 123 levels of its own.
TEST(CertificateRecords, NestingDepth) {
  auto envelope = [](std::size_t levels) {
    return certificate_json({{"agenticPostureBinding",
                              R"({"posture":"governed","defaulted":false,"surfaces":[{"kind":"k",)"
                              R"("governanceEnvelope":)" +
                                  std::string(levels, '[') + std::string(levels, ']') + "}]}"}});
  };
  read_certificate_ok(envelope(123));
  EXPECT_EQ(message(envelope(124)), "recursion limit exceeded");
  EXPECT_EQ(message(envelope(200000)), "recursion limit exceeded");

  // An undeclared value is skipped whole at any depth.
  read_certificate_ok(
      certificate_json({{"skipped", std::string(200000, '[') + std::string(200000, ']')}}));
  // Unclosed: the root's closing brace stands where a value is expected.
  EXPECT_EQ(message(certificate_json({{"skipped", std::string(200000, '[')}})), "expected value");
}

}  // namespace
}  // namespace fennick::certificate
