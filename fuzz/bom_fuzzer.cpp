// The agentic-posture cross-check on an arbitrary BOM file: a posture of "none" makes it read
// SBOM_DIR/.factory/sbom.cdx.json and scan its component tree. Each input is written to that file
// in one temporary directory made when the target starts. Property: the scan ends in one of the
// results a posture of "none" with a directory can have, and the walk done while reading agrees
// with the walk over the tree the pruned reader builds (same hit, or same error).

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "certificate/watchlist.h"
#include "check.h"
#include "json/read.h"

namespace {

class ScratchSbomDir {
 public:
  ScratchSbomDir() {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fennick-bom-XXXXXX";
    FENNICK_FUZZ_CHECK(mkdtemp(dir_.data()) != nullptr);
    FENNICK_FUZZ_CHECK(mkdir((dir_ + "/.factory").c_str(), 0700) == 0);
    file_ = dir_ + "/.factory/sbom.cdx.json";
  }
  ~ScratchSbomDir() {
    unlink(file_.c_str());
    rmdir((dir_ + "/.factory").c_str());
    rmdir(dir_.c_str());
  }
  ScratchSbomDir(const ScratchSbomDir&) = delete;
  ScratchSbomDir& operator=(const ScratchSbomDir&) = delete;

  const std::string& write(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(file_.c_str(), "wb");
    FENNICK_FUZZ_CHECK(f != nullptr);
    FENNICK_FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FENNICK_FUZZ_CHECK(std::fclose(f) == 0);
    return dir_;
  }

 private:
  std::string dir_;
  std::string file_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fennick::certificate::PostureCrossCheck;
  static ScratchSbomDir scratch;
  fennick::certificate::AgenticPostureBinding binding;
  binding.posture = "none";
  const PostureCrossCheck result =
      fennick::certificate::cross_check_agentic_posture(binding, scratch.write(data, size));
  switch (result.kind) {
    case PostureCrossCheck::Kind::kNoneClean:
      break;
    case PostureCrossCheck::Kind::kContradicted:
      FENNICK_FUZZ_CHECK(!result.dependency.empty());
      break;
    case PostureCrossCheck::Kind::kBomUnreadable:
      FENNICK_FUZZ_CHECK(!result.error.empty());
      break;
    default:
      FENNICK_FUZZ_CHECK(false);
  }

  static const fennick::certificate::AgenticSdkWatchlist watchlist =
      fennick::certificate::embedded_watchlist();
  const std::string_view text = fennick::fuzz::as_text(data, size);
  const auto read = fennick::certificate::scan_bom_text(text, watchlist);
  const auto tree = fennick::json::parse_value_pruned(
      text, 2 * (fennick::certificate::kMaxComponentDepth + 1) + 1);
  FENNICK_FUZZ_CHECK(read.ok() == tree.ok());
  if (!tree.ok()) {
    FENNICK_FUZZ_CHECK(read.error().to_string() == tree.error().to_string());
  } else {
    FENNICK_FUZZ_CHECK(*read ==
                       fennick::certificate::find_watchlisted_component(*tree, watchlist, 0));
  }
  return 0;
}
