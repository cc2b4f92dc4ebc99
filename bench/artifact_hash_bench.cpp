// Artifact re-hashing through verify_offline_chain, on files that bench/artifact_hash.sh
// generates. The certificate is built from the digests that `openssl dgst -sha256 -r` printed for
// the same files and sealed with the test producer, so a clean run also shows that both tools
// agree on every digest.
//   artifact_hash_bench --artifact-dir=DIR --digests=FILE [--repeat=N]
// FILE holds lines "HEX *STAGE/NAME" with paths relative to DIR. Prints the best wall time of N
// runs and the throughput; exits 1 when the outcome holds any error.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "certificate/offline.h"
#include "certificate/records.h"
#include "support/certificate_producer.h"

namespace {

namespace certificate = fennick::certificate;
namespace test_support = fennick::test_support;

std::optional<std::string> option(int argc, char** argv, std::string_view name) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=') {
      return std::string(arg.substr(name.size() + 1));
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<std::string> dir = option(argc, argv, "--artifact-dir");
  const std::optional<std::string> digests = option(argc, argv, "--digests");
  const int repeat = std::stoi(option(argc, argv, "--repeat").value_or("1"));
  if (!dir || !digests || repeat < 1) {
    std::fprintf(stderr, "usage: %s --artifact-dir=DIR --digests=FILE [--repeat=N]\n", argv[0]);
    return 2;
  }

  std::map<std::string, certificate::StageRecord> stages;
  std::ifstream in(*digests);
  std::string line;
  double bytes = 0;
  while (std::getline(in, line)) {
    const std::size_t star = line.find(" *");
    const std::size_t slash = line.find('/', star);
    if (star == std::string::npos || slash == std::string::npos) continue;
    const std::string stage_id = line.substr(star + 2, slash - star - 2);
    const std::string name = line.substr(slash + 1);
    certificate::StageRecord& stage = stages[stage_id];
    stage.stage_id = stage_id;
    stage.artifact_hashes[name] = line.substr(0, star);
    struct stat info {};
    if (::stat((*dir + "/" + stage_id + "/" + name).c_str(), &info) == 0) {
      bytes += static_cast<double>(info.st_size);
    }
  }
  certificate::GovernanceCertificate unsealed = test_support::minimal_certificate("run-bench");
  for (auto& [id, stage] : stages) unsealed.stages.push_back(std::move(stage));
  const certificate::GovernanceCertificate sealed =
      test_support::seal_certificate(unsealed, test_support::key_pair_from_fill(1)).record;

  double best = 0;
  certificate::VerificationOutcome outcome;
  for (int i = 0; i < repeat; ++i) {
    const auto start = std::chrono::steady_clock::now();
    outcome = certificate::verify_offline_chain(sealed, *dir);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (i == 0 || took.count() < best) best = took.count();
  }
  std::size_t artifacts = 0;
  for (const auto& stage : sealed.stages) artifacts += stage.artifact_hashes.size();
  std::printf("fennick: %zu artifacts, %.0f MiB, best of %d: %.3f s, %.0f MB/s\n", artifacts,
              bytes / (1 << 20), repeat, best, bytes / 1e6 / best);
  for (const std::string& error : outcome.errors) std::printf("  error: %s\n", error.c_str());
  return outcome.ok ? 0 : 1;
}
