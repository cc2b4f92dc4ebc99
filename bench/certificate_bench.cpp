// Reading and canonical writing of a large certificate: thousands of stages with sandbox
// executions and an inter-stage chain with thousands of manifests, about 50 MB of JSON.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "certificate/canonical.h"
#include "certificate/records.h"

namespace {

using fennick::certificate::GovernanceCertificate;

constexpr int kStages = 12000;
constexpr int kArtifactsPerStage = 8;

std::string hex_digest(unsigned seed) {
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

GovernanceCertificate synthetic_certificate() {
  namespace c = fennick::certificate;
  GovernanceCertificate cert;
  cert.certificate_version = "1.5.0";
  cert.pipeline_run_id = "run-0192f3a4-bench";
  cert.timestamp = {1714557600, 123'000'000};
  cert.intent.requirements_hash = hex_digest(1);
  cert.intent.spec_id = "spec-7";
  cert.build_spec.hash = hex_digest(2);
  cert.build_spec.approval_record = c::ApprovalRecord{"approver@example", {1714550000, 0}, "human"};
  cert.proof_chain = {kStages * 4ULL, hex_digest(3), hex_digest(4), c::ChainIntegrity::kVerified};
  cert.certificate_hash = hex_digest(5);
  cert.signing_public_key = "MCowBQYDK2VwAyEAbenchmarkbenchmarkbenchmarkbenchmark0=";
  cert.cert_signature = std::string(88, 'S');
  cert.signing_attestation = {c::SigningKind::kEphemeral, "bench"};

  c::InterStageChainRecord chain;
  chain.key_chain.run_id = cert.pipeline_run_id;
  chain.key_chain.root_public_key_b64 = std::string(44, 'R');
  unsigned seed = 10;
  for (int s = 0; s < kStages; ++s) {
    const std::string id = "stage-" + std::to_string(s);
    c::StageRecord stage;
    stage.stage_id = id;
    stage.status = s % 7 == 0 ? c::StageStatus::kSkipped : c::StageStatus::kPassed;
    c::SandboxExecutionRecord run;
    run.command = {"/usr/bin/build", "--stage", id, "--jobs", "8", "--out", "dist/" + id};
    for (int a = 0; a < kArtifactsPerStage; ++a) {
      const std::string name = "artifacts/" + id + "/output-" + std::to_string(a) + ".tar.gz";
      stage.artifact_hashes.emplace(name, hex_digest(seed++));
      if (a % 2 == 0) run.input_artifact_hashes.emplace("in/" + name, hex_digest(seed++));
      run.output_artifact_hashes.emplace(name, hex_digest(seed++));
    }
    if (s % 3 != 0) stage.gate_result = c::GateResultRecord{true, 12, 0};
    stage.duration_ms = 1000u + static_cast<unsigned>(s);
    run.resource_peak = {1500, 1ULL << 31, 64};
    run.isolation_tier = 2;
    run.runtime_descriptor = "oci:sandbox@sha256:" + hex_digest(seed++);
    run.exit_code = s % 11 == 0 ? -1 : 0;
    stage.sandbox_execution = std::move(run);
    cert.stages.push_back(std::move(stage));

    chain.key_chain.stage_keys.emplace(
        id, c::StageKeyRecord{id, std::string(43, 'K') + "=", std::string(43, 'F') + "="});
    if (s + 1 < kStages) {
      c::InterStageManifest m;
      m.run_id = cert.pipeline_run_id;
      m.from_stage = id;
      m.to_stage = "stage-" + std::to_string(s + 1);
      m.produced_at = {1714557600 + s, 500'000'000};
      for (int a = 0; a < kArtifactsPerStage; ++a) {
        m.artifact_hashes.emplace("artifacts/" + id + "/output-" + std::to_string(a) + ".tar.gz",
                                  hex_digest(seed++));
      }
      m.metadata.emplace("attempt", fennick::json::Value::unsigned_integer(1));
      m.metadata.emplace("note", fennick::json::Value::string("handoff \"ok\"\n"));
      m.signer = {"agent-" + std::to_string(s % 5), std::string(43, 'F') + "="};
      m.signature = std::string(86, 'G') + "==";
      chain.manifests.push_back(std::move(m));
    }
  }
  cert.inter_stage_chain = std::move(chain);
  return cert;
}

const std::string& input_text() {
  static const std::string text = [] {
    auto written = fennick::certificate::write_certificate_json(synthetic_certificate());
    if (!written.ok()) std::abort();
    return std::move(written).value();
  }();
  return text;
}

void set_throughput(benchmark::State& state, std::size_t bytes_per_iteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes_per_iteration));
  state.counters["input_MB"] = static_cast<double>(bytes_per_iteration) / 1e6;
}

void BM_ReadCertificate(benchmark::State& state) {
  const std::string& text = input_text();
  for (auto _ : state) {
    auto read = fennick::certificate::read_certificate_json(text);
    if (!read.ok()) state.SkipWithError(read.error().to_string().c_str());
    benchmark::DoNotOptimize(read);
  }
  set_throughput(state, text.size());
}

void BM_WriteCanonical(benchmark::State& state) {
  const std::string& text = input_text();
  const GovernanceCertificate cert = *fennick::certificate::read_certificate_json(text);
  for (auto _ : state) {
    auto written = fennick::certificate::write_certificate_json(cert);
    benchmark::DoNotOptimize(written);
  }
  set_throughput(state, text.size());
}

// Reading alone: freeing the records (about two million heap blocks) is left out of the timing.
void BM_ReadCertificateWithoutFree(benchmark::State& state) {
  const std::string& text = input_text();
  for (auto _ : state) {
    std::optional<fennick::Result<GovernanceCertificate, fennick::json::Error>> read;
    read.emplace(fennick::certificate::read_certificate_json(text));
    if (!read->ok()) state.SkipWithError(read->error().to_string().c_str());
    state.PauseTiming();
    read.reset();
    state.ResumeTiming();
  }
  set_throughput(state, text.size());
}

// What the certificate hash step costs: read the file, write the canonical text.
void BM_ReadAndWrite(benchmark::State& state) {
  const std::string& text = input_text();
  for (auto _ : state) {
    auto read = fennick::certificate::read_certificate_json(text);
    if (!read.ok()) {
      state.SkipWithError(read.error().to_string().c_str());
      break;
    }
    auto written = fennick::certificate::write_certificate_json(*read);
    benchmark::DoNotOptimize(written);
  }
  set_throughput(state, text.size());
}

BENCHMARK(BM_ReadCertificate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCertificateWithoutFree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteCanonical)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
