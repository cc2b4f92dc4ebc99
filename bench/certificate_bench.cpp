// Reading and canonical writing of a large certificate: thousands of stages with sandbox
// executions and an inter-stage chain with thousands of manifests, about 50 MB of JSON
// (synthetic_certificate.h).

#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "json/text.h"
#include "synthetic_certificate.h"

namespace {

using fennick::certificate::GovernanceCertificate;

const std::string& input_text() {
  static const std::string text = fennick::bench::synthetic_certificate_text();
  return text;
}

// The same bytes as the records' kept text, as fennick holds a certificate file it has read.
const fennick::json::KeptText& input_kept() {
  static const fennick::json::KeptText kept = fennick::json::KeptText::copy_of(input_text());
  return kept;
}

void set_throughput(benchmark::State& state, std::size_t bytes_per_iteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes_per_iteration));
  state.counters["input_MB"] = static_cast<double>(bytes_per_iteration) / 1e6;
}

void BM_ReadCertificate(benchmark::State& state) {
  const std::string& text = input_text();
  for (auto _ : state) {
    auto read = fennick::certificate::read_certificate_json(input_kept());
    if (!read.ok()) state.SkipWithError(read.error().to_string().c_str());
    benchmark::DoNotOptimize(read);
  }
  set_throughput(state, text.size());
}

void BM_WriteCanonical(benchmark::State& state) {
  const std::string& text = input_text();
  const GovernanceCertificate cert = *fennick::certificate::read_certificate_json(input_kept());
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
    read.emplace(fennick::certificate::read_certificate_json(input_kept()));
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
    auto read = fennick::certificate::read_certificate_json(input_kept());
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
