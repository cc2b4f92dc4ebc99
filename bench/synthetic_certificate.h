#pragma once
// The synthetic certificate of the reading and writing benchmarks (certificate_bench.cpp,
// json_peer_bench.cpp): 12,000 stages with sandbox executions and an inter-stage chain of 11,999
// manifests, about 50 MB of JSON. It is built as JSON text in canonical form (members in written
// order, maps in byte order of their keys), so that it does not depend on how records are held.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::bench {

inline constexpr int kSyntheticStages = 12000;
inline constexpr int kSyntheticArtifactsPerStage = 8;

// A reproducible 64-digit lower-case hex text for each seed.
inline std::string hex_digest(unsigned seed) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(64, '0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = kHex[x & 0xF];
  }
  return out;
}

namespace synthetic_detail {

// "key":"value" for texts that need no escaping.
inline void member(std::string& out, std::string_view key, std::string_view value) {
  out += '"';
  out += key;
  out += "\":\"";
  out += value;
  out += '"';
}

inline void two_digits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

inline std::string stage_name(int s) { return "stage-" + std::to_string(s); }

inline std::string artifact_name(int s, int a) {
  return "artifacts/" + stage_name(s) + "/output-" + std::to_string(a) + ".tar.gz";
}

}  // namespace synthetic_detail

// The certificate's canonical JSON text. Digests are numbered in the order a producer would
// make them: per stage its artifacts (each with its sandbox input for even artifacts and its
// output), the runtime descriptor, then the manifest that hands off to the next stage.
inline std::string synthetic_certificate_text() {
  using synthetic_detail::artifact_name;
  using synthetic_detail::member;
  using synthetic_detail::stage_name;
  constexpr int kStages = kSyntheticStages;
  constexpr int kArtifacts = kSyntheticArtifactsPerStage;
  const std::string run_id = "run-0192f3a4-bench";
  const std::string fingerprint = std::string(43, 'F') + "=";

  std::string out;
  out.reserve(52'000'000);
  out += "{\"certificateVersion\":\"1.5.0\",";
  member(out, "pipelineRunId", run_id);
  out += ",\"timestamp\":\"2024-05-01T10:00:00.123Z\",\"status\":\"complete\",\"intent\":{";
  member(out, "requirementsHash", hex_digest(1));
  out += ',';
  member(out, "specId", "spec-7");
  out += "},\"buildSpec\":{";
  member(out, "hash", hex_digest(2));
  out +=
      ",\"approvalRecord\":{\"approvedBy\":\"approver@example\","
      "\"approvedAt\":\"2024-05-01T07:53:20Z\",\"gateType\":\"human\"}},\"stages\":[";

  std::vector<unsigned> manifest_seeds(kStages);
  unsigned seed = 10;
  for (int s = 0; s < kStages; ++s) {
    const std::string id = stage_name(s);
    std::vector<std::string> artifacts;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    for (int a = 0; a < kArtifacts; ++a) {
      artifacts.push_back(hex_digest(seed++));
      if (a % 2 == 0) inputs.push_back(hex_digest(seed++));
      outputs.push_back(hex_digest(seed++));
    }
    const std::string descriptor = "oci:sandbox@sha256:" + hex_digest(seed++);
    manifest_seeds[static_cast<std::size_t>(s)] = seed;
    if (s + 1 < kStages) seed += kArtifacts;

    if (s > 0) out += ',';
    out += '{';
    member(out, "stageId", id);
    out += ',';
    member(out, "status", s % 7 == 0 ? "skipped" : "passed");
    out += ",\"artifactHashes\":{";
    for (int a = 0; a < kArtifacts; ++a) {
      if (a > 0) out += ',';
      member(out, artifact_name(s, a), artifacts[static_cast<std::size_t>(a)]);
    }
    out += "},\"gateResult\":";
    out += s % 3 != 0 ? "{\"passed\":true,\"checksRun\":12,\"checksFailed\":0}" : "null";
    out += ",\"durationMs\":" + std::to_string(1000 + s);
    out += ",\"sandboxExecution\":{\"command\":[\"/usr/bin/build\",\"--stage\",\"" + id +
           "\",\"--jobs\",\"8\",\"--out\",\"dist/" + id + "\"],\"inputArtifactHashes\":{";
    for (int a = 0; a < kArtifacts; a += 2) {
      if (a > 0) out += ',';
      member(out, "in/" + artifact_name(s, a), inputs[static_cast<std::size_t>(a / 2)]);
    }
    out += "},\"outputArtifactHashes\":{";
    for (int a = 0; a < kArtifacts; ++a) {
      if (a > 0) out += ',';
      member(out, artifact_name(s, a), outputs[static_cast<std::size_t>(a)]);
    }
    out +=
        "},\"resourcePeak\":{\"cpuMilliPeak\":1500,\"memoryBytesPeak\":2147483648,"
        "\"pidPeak\":64},\"isolationTier\":2,";
    member(out, "runtimeDescriptor", descriptor);
    out += ",\"deadlineHit\":false,\"exitCode\":";
    out += s % 11 == 0 ? "-1" : "0";
    out += "}}";
  }

  out +=
      "],\"verification\":{\"compile\":\"passed\",\"test\":\"passed\",\"lint\":\"passed\","
      "\"typecheck\":\"passed\",\"securityScan\":\"passed\"},\"proofChain\":{\"recordCount\":" +
      std::to_string(kStages * 4ULL) + ",";
  member(out, "firstRecordHash", hex_digest(3));
  out += ',';
  member(out, "lastRecordHash", hex_digest(4));
  out += ",\"chainIntegrity\":\"verified\"},\"interStageChain\":{\"keyChain\":{";
  member(out, "runId", run_id);
  out += ',';
  member(out, "rootPublicKeyB64", std::string(44, 'R'));
  out += ",\"stageKeys\":{";
  // Stage keys in byte order of the stage id ("stage-10" before "stage-2").
  std::vector<std::string> ids;
  ids.reserve(kStages);
  for (int s = 0; s < kStages; ++s) ids.push_back(stage_name(s));
  std::sort(ids.begin(), ids.end());
  bool first = true;
  for (const std::string& id : ids) {
    if (!first) out += ',';
    first = false;
    out += '"' + id + "\":{";
    member(out, "stageId", id);
    out += ',';
    member(out, "ephemeralPublicKeyB64", std::string(43, 'K') + "=");
    out += ',';
    member(out, "keyFingerprint", fingerprint);
    out += '}';
  }
  out += "}},\"manifests\":[";
  for (int s = 0; s + 1 < kStages; ++s) {
    if (s > 0) out += ',';
    out += '{';
    member(out, "runId", run_id);
    out += ',';
    member(out, "fromStage", stage_name(s));
    out += ',';
    member(out, "toStage", stage_name(s + 1));
    // Produced one second apart from 2024-05-01T10:00:00Z, half a second past each.
    const int second_of_day = 10 * 3600 + s;
    out += ",\"producedAt\":\"2024-05-01T";
    synthetic_detail::two_digits(out, second_of_day / 3600);
    out += ':';
    synthetic_detail::two_digits(out, second_of_day / 60 % 60);
    out += ':';
    synthetic_detail::two_digits(out, second_of_day % 60);
    out += ".500Z\",\"artifactHashes\":{";
    unsigned manifest_seed = manifest_seeds[static_cast<std::size_t>(s)];
    for (int a = 0; a < kArtifacts; ++a) {
      if (a > 0) out += ',';
      member(out, artifact_name(s, a), hex_digest(manifest_seed++));
    }
    out += "},\"metadata\":{\"attempt\":1,\"note\":\"handoff \\\"ok\\\"\\n\"},\"signer\":{";
    member(out, "agentId", "agent-" + std::to_string(s % 5));
    out += ',';
    member(out, "ephemeralKeyId", fingerprint);
    out += "},";
    member(out, "signature", std::string(86, 'G') + "==");
    out += '}';
  }
  out += "]},";
  member(out, "certificateHash", hex_digest(5));
  out += ',';
  member(out, "signingPublicKey", "MCowBQYDK2VwAyEAbenchmarkbenchmarkbenchmarkbenchmark0=");
  out += ',';
  member(out, "certSignature", std::string(88, 'S'));
  out += ",\"signingAttestation\":{\"kind\":\"ephemeral\",\"note\":\"bench\"}}";
  return out;
}

}  // namespace fennick::bench
