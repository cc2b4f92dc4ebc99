// Writes the inputs of bench/certificate_scale.sh: a sealed certificate of STAGES stages, each
// stage one artifact digest, the shape a long run leaves behind.
//   certificate_scale_bench OUTPUT STAGES
// The stages are written as JSON text into the producer's minimal certificate, read once and
// sealed with the test producer, so the file verifies as a user's certificate would.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "certificate/records.h"
#include "support/certificate_producer.h"
#include "support/files.h"
#include "synthetic_certificate.h"

namespace {

namespace test_support = fennick::test_support;

constexpr std::string_view kNoStages = "\"stages\":[]";
constexpr std::string_view kNoRecords = "\"recordCount\":0";

// "stage-N" with one artifact "out" and its digest.
std::string stages_text(std::size_t stages) {
  std::string out = "\"stages\":[";
  out.reserve(stages * 160 + 16);
  for (std::size_t i = 0; i < stages; ++i) {
    if (i > 0) out += ',';
    out += "{\"stageId\":\"stage-" + std::to_string(i) +
           "\",\"status\":\"passed\",\"artifactHashes\":{\"out\":\"" +
           fennick::bench::hex_digest(static_cast<unsigned>(i)) + "\"}}";
  }
  out += ']';
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT STAGES\n", argv[0]);
    return 2;
  }
  try {
    const std::size_t stages = std::stoul(argv[2]);
    std::string text =
        test_support::certificate_text(test_support::minimal_certificate("run-scale"));
    const std::size_t at_stages = text.find(kNoStages);
    const std::size_t at_records = text.find(kNoRecords);
    if (at_stages == std::string::npos || at_records == std::string::npos) {
      std::fprintf(stderr, "certificate_scale_bench: the minimal certificate changed shape\n");
      return 1;
    }
    // One proof-chain record per stage; the later position is replaced first.
    text.replace(at_records, kNoRecords.size(), "\"recordCount\":" + std::to_string(stages));
    text.replace(at_stages, kNoStages.size(), stages_text(stages));
    auto unsealed = fennick::certificate::read_certificate_json(text);
    if (!unsealed.ok()) {
      std::fprintf(stderr, "certificate_scale_bench: %s\n", unsealed.error().to_string().c_str());
      return 1;
    }
    text.clear();
    text.shrink_to_fit();
    const std::string sealed =
        test_support::seal_certificate(std::move(unsealed).value(),
                                       test_support::key_pair_from_fill(0x11))
            .json;
    test_support::write_file(std::filesystem::path(argv[1]), sealed);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "certificate_scale_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
