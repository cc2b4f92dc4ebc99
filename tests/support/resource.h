#pragma once
// Helpers of the resource-bound tests: input sizes that shrink under the sanitizers (which slow
// the code several times over and multiply its memory), and a scratch directory removed with
// everything in it.

#include <stdlib.h>

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fennick::test_support {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The full size in ordinary builds, the smaller one under the sanitizers.
constexpr std::size_t scaled(std::size_t full, std::size_t sanitized) {
  return kSanitized ? sanitized : full;
}

class ScratchDir {
 public:
  // `in_memory` puts the directory on /dev/shm where there is one: creating files by the hundred
  // thousand on a disk-backed /tmp costs far more than the code under test.
  explicit ScratchDir(bool in_memory = false) {
    std::error_code ignored;
    const std::filesystem::path base =
        in_memory && std::filesystem::is_directory("/dev/shm", ignored)
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (base / "fennick-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace fennick::test_support
