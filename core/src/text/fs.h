#pragma once
// Platform helpers. Paths are byte strings: they are held in std::string and never required to be
// UTF-8 (display them with lossy_utf8).

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace fennick::text {

// The system's description of errnum followed by " (os error N)",
// e.g. "No such file or directory (os error 2)".
std::string os_error_text(int errnum);

// How a file is opened for reading.
enum class OpenMode {
  // A path named on the command line, read as given and to its end, as `cat` reads it: a FIFO or
  // a process substitution waits for its writer.
  kAsGiven,
  // A file found inside a directory fennick was given, where the producer may have planted a
  // device, FIFO or socket: read only when, links followed, it is a regular file. A directory
  // opens and then fails to read ("Is a directory (os error 21)"), as with kAsGiven.
  kRegularOnly,
};

// The error text of a file that kRegularOnly refuses.
inline constexpr std::string_view kNotARegularFile = "not a regular file";

// The error text of a regular file opened with kRegularOnly that holds more bytes than the size it
// had when it was opened (a file still being written, or one such as /proc/self/pagemap that
// states no size and reads for hundreds of gigabytes).
inline constexpr std::string_view kFileChanged = "file changed while being read";

// Which file an open descriptor reads: equal identities are one file, whichever path or link
// reached it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// Memory for reading files piece by piece, allocated once and lent to every read of a run. It is
// never zero-filled: each read overwrites what it hands on, so untouched pages cost nothing.
class ReadBuffer {
 public:
  static constexpr std::size_t kDefaultBytes = std::size_t{1} << 20;
  explicit ReadBuffer(std::size_t bytes = kDefaultBytes);
  std::span<char> span() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};

// A whole file's bytes, in memory that was never zero-filled.
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view view() const { return {data.get(), size}; }
};

// A file opened for reading. The errors are the system's text ("No such file or directory (os
// error 2)"), kNotARegularFile, or "file name contained an unexpected NUL byte" for a path holding
// a NUL byte, refused before any system call since the system would open a shorter path.
class InputFile {
 public:
  static fennick::Result<InputFile> open(const std::string& path, OpenMode mode);

  InputFile(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  InputFile& operator=(InputFile&&) = delete;
  ~InputFile();

  FileIdentity identity() const { return identity_; }

  // Hands the rest of the file to `consume` in pieces of at most buffer.size() bytes, so that a
  // file of any size is read in bounded memory. Returns the error text, or none at the end. A
  // regular file opened with kRegularOnly is read to its size at opening: kFileChanged when more
  // follows.
  std::optional<std::string> read_pieces(std::span<char> buffer,
                                         const std::function<void(std::string_view)>& consume);

  // The rest of the file as bytes. A regular file is read straight into a string of its size.
  // With kRegularOnly, the size at opening bounds the read as for read_pieces, and a size that
  // cannot be allocated is the error os_error_text(ENOMEM) instead of std::bad_alloc.
  fennick::Result<std::string> read_all();
  // The same bytes, with the same errors, without zero-filling the memory first.
  fennick::Result<FileBytes> read_all_bytes();

 private:
  InputFile(int fd, FileIdentity identity, bool regular, bool bounded, std::uint64_t size);

  int fd_;
  FileIdentity identity_;
  bool regular_;
  bool bounded_;  // read no further than size_: a regular file opened with kRegularOnly
  std::uint64_t size_;
};

// The whole file as bytes, opened in `mode`. A directory opens but fails to read: "Is a directory
// (os error 21)".
fennick::Result<std::string> read_file(const std::string& path, OpenMode mode);
fennick::Result<FileBytes> read_file_bytes(const std::string& path, OpenMode mode);

// True when the path names a directory once symbolic links are followed; any failure gives false.
bool is_directory(const std::string& path);

// Appends `relative` to `dir` with one '/' between them, unless dir is empty or already ends in
// '/'. An absolute `relative` replaces dir.
std::string join_path(std::string_view dir, std::string_view relative);

// Entry names of a directory in listing order, without "." and "..". None when the directory
// cannot be opened; a failure part-way ends the listing with the names read so far.
std::optional<std::vector<std::string>> list_directory(const std::string& path);

// Path order: component by component, each normal component compared as bytes. Repeated and
// trailing '/' and inner "." components are ignored; a root sorts before a leading ".", which
// sorts before "..", which sorts before any normal component. Two paths are equal as paths when
// neither is less than the other ("a//b" and "a/./b" equal "a/b").
bool path_less(std::string_view a, std::string_view b);

// The final normal component; none for "", "/", "." and a path ending in "..".
std::optional<std::string_view> file_name(std::string_view path);

// The text after the last '.' of the final component; none when there is no final component, the
// component has no '.', its only '.' is its first character (".json") or it is "..".
// "name." has the empty extension.
std::optional<std::string_view> extension(std::string_view path);

}  // namespace fennick::text
