// BRD recognition and claim extraction. is_brd_file takes a path, so each input is written to one
// temporary file made when the target starts. Property: every claim's id is a requirement id of
// the claim's own kind.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check.h"
#include "provenance/validator/brd.h"

namespace {

class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fennick-brd-XXXXXX";
    fd_ = mkstemp(path_.data());
    FENNICK_FUZZ_CHECK(fd_ >= 0);
  }
  ~ScratchFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& write(const std::uint8_t* data, std::size_t size) {
    FENNICK_FUZZ_CHECK(ftruncate(fd_, 0) == 0);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      FENNICK_FUZZ_CHECK(n > 0);
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fennick::provenance;

  const auto extraction = extract_claims(fennick::fuzz::as_text(data, size));
  for (const ProvenanceClaim& claim : extraction.claims) {
    const auto kind = parse_requirement_id(claim.id);
    FENNICK_FUZZ_CHECK(kind.has_value() && *kind == claim.kind);
  }

  static ScratchFile scratch;
  (void)is_brd_file(scratch.write(data, size));
  return 0;
}
