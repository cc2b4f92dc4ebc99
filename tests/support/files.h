#pragma once
// Files for tests: reading and writing a file whole, and a fresh temporary directory removed with
// everything in it. Header-only, so that every test area can use it whatever it links.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace fennick::test_support {

// The file's bytes, or nullopt when it cannot be opened (third-party data that may be absent).
inline std::optional<std::string> read_file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Writes `content` byte for byte at `path`, creating the directories above it; throws
// std::runtime_error when the file cannot be written.
inline void write_file(const std::filesystem::path& path, std::string_view content) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// Makes the existing file at `path` a sparse file of a size that no allocation on this machine
// can hold (64 TiB, or 8 TiB where the file system's limit is lower); false when it refuses.
inline bool make_unallocatable_sparse(const std::filesystem::path& path) {
  for (const std::uintmax_t size : {std::uintmax_t{1} << 46, std::uintmax_t{1} << 43}) {
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    if (!error) return true;
  }
  return false;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fennick-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  // The path of `relative` inside the directory, joined as text (no normalisation).
  std::string operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }

  // Writes `content` at the relative path, creating the directories above it; returns the path.
  std::string write(std::string_view relative, std::string_view content) const {
    const std::string target = *this / relative;
    write_file(target, content);
    return target;
  }

  // Creates the relative directory and those above it; returns its path.
  std::string mkdir(std::string_view relative) const {
    const std::string target = *this / relative;
    std::filesystem::create_directories(target);
    return target;
  }

 private:
  std::string path_;
};

}  // namespace fennick::test_support
