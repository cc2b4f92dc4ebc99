#include "text/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace fennick::text {
namespace {

// strerror_r comes in a GNU form (returns the text) and an XSI form (fills the buffer); these two
// overloads accept whichever the C library declares.
[[maybe_unused]] const char* error_text(const char* gnu_result, const char*) { return gnu_result; }
[[maybe_unused]] const char* error_text(int, const char* buffer) { return buffer; }

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool holds_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

// What a producer's file may be: a regular file, or a directory, whose read fails as the system
// says.
bool regular_or_directory(const struct stat& info) {
  return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

// One path component as the ordering sees it; the enumerator order is the sort order.
enum class ComponentKind { kRoot, kCurrent, kParent, kNormal };

struct Component {
  ComponentKind kind;
  std::string_view name;
  auto operator<=>(const Component&) const = default;
};

// Walks the components of a path: a leading '/' is the root, a leading "." of a relative path is
// kept, every other "." and every empty component (repeated or trailing '/') is dropped.
class ComponentReader {
 public:
  explicit ComponentReader(std::string_view path) : rest_(path) {}

  bool next(Component& out) {
    if (at_start_) {
      at_start_ = false;
      if (!rest_.empty() && rest_.front() == '/') {
        out = {ComponentKind::kRoot, rest_.substr(0, 1)};
        return true;
      }
      if (rest_ == "." || rest_.starts_with("./")) {
        out = {ComponentKind::kCurrent, rest_.substr(0, 1)};
        rest_.remove_prefix(1);
        return true;
      }
    }
    while (true) {
      while (!rest_.empty() && rest_.front() == '/') rest_.remove_prefix(1);
      if (rest_.empty()) return false;
      const std::size_t end = std::min(rest_.find('/'), rest_.size());
      const std::string_view piece = rest_.substr(0, end);
      rest_.remove_prefix(end);
      if (piece == ".") continue;
      out = {piece == ".." ? ComponentKind::kParent : ComponentKind::kNormal, piece};
      return true;
    }
  }

 private:
  std::string_view rest_;
  bool at_start_ = true;
};

}  // namespace

std::string os_error_text(int errnum) {
  char buffer[256] = {};
  std::string text = error_text(strerror_r(errnum, buffer, sizeof buffer), buffer);
  text += " (os error ";
  text += std::to_string(errnum);
  text += ')';
  return text;
}

ReadBuffer::ReadBuffer(std::size_t bytes)
    : data_(std::make_unique_for_overwrite<char[]>(bytes == 0 ? 1 : bytes)),
      size_(bytes == 0 ? 1 : bytes) {}

fennick::Result<InputFile> InputFile::open(const std::string& path, OpenMode mode) {
  if (holds_nul(path)) return Err(std::string("file name contained an unexpected NUL byte"));
  int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
  if (mode == OpenMode::kRegularOnly) {
    // Opening a device can act on it (a watchdog arms, a tape rewinds), so a path that names one
    // now is never opened. What is read is decided by the fstat of the open descriptor below.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !regular_or_directory(named)) {
      return Err(std::string(kNotARegularFile));
    }
    // Without blocking, so that a FIFO swapped in meanwhile opens at once and is refused; the
    // flag does not affect reads of a regular file.
    flags |= O_NONBLOCK;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Err(os_error_text(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return Err(os_error_text(error));
  }
  const bool regular = S_ISREG(info.st_mode);
  InputFile file(fd,
                 FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                              static_cast<std::uint64_t>(info.st_ino)},
                 regular, regular && mode == OpenMode::kRegularOnly,
                 static_cast<std::uint64_t>(info.st_size));
  if (mode == OpenMode::kRegularOnly && !regular_or_directory(info)) {
    return Err(std::string(kNotARegularFile));
  }
  if (file.regular_) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

InputFile::InputFile(int fd, FileIdentity identity, bool regular, bool bounded, std::uint64_t size)
    : fd_(fd), identity_(identity), regular_(regular), bounded_(bounded), size_(size) {}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      identity_(other.identity_),
      regular_(other.regular_),
      bounded_(other.bounded_),
      size_(other.size_) {}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// Called once a bounded read has its stated size: one more byte means the file is not the one
// that was sized, and reading on could last as long as the file cares to go on. The probe is a
// few words long, since some kernel files refuse reads that are not whole 8-byte entries.
std::optional<std::string> check_at_end(int fd) {
  char probe[64];
  while (true) {
    const ssize_t n = ::read(fd, probe, sizeof probe);
    if (n > 0) return std::string(kFileChanged);
    if (n == 0) return std::nullopt;
    if (errno != EINTR) return os_error_text(errno);
  }
}

}  // namespace

std::optional<std::string> InputFile::read_pieces(
    std::span<char> buffer, const std::function<void(std::string_view)>& consume) {
  std::uint64_t left = size_;
  while (true) {
    std::size_t wanted = buffer.size();
    if (bounded_) {
      if (left == 0) return check_at_end(fd_);
      wanted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, left));
    }
    const ssize_t n = ::read(fd_, buffer.data(), wanted);
    if (n > 0) {
      if (bounded_) left -= static_cast<std::uint64_t>(n);
      consume(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    } else if (n == 0) {
      return std::nullopt;
    } else if (errno != EINTR) {
      return os_error_text(errno);
    }
  }
}

namespace {

// Reads into data[filled, capacity) until it is full (true) or the file ends (false).
fennick::Result<bool> fill(int fd, char* data, std::size_t capacity, std::size_t& filled) {
  while (filled < capacity) {
    const ssize_t n = ::read(fd, data + filled, capacity - filled);
    if (n > 0) {
      filled += static_cast<std::size_t>(n);
    } else if (n == 0) {
      return false;
    } else if (errno != EINTR) {
      return Err(os_error_text(errno));
    }
  }
  return true;
}

// Reads a file of known size into `data`, which `grow(size, 0)` allocates once. A file that
// shrank meanwhile gives what it still holds; one that holds more is refused (check_at_end). A
// size that cannot be allocated makes the file unreadable, as the system would say it.
template <class Grow>
fennick::Result<std::size_t> read_sized(int fd, std::uint64_t size, char*& data,
                                        std::size_t& capacity, const Grow& grow) {
  if (size >= std::string().max_size()) return Err(os_error_text(ENOMEM));
  try {
    grow(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    return Err(os_error_text(ENOMEM));
  }
  std::size_t filled = 0;
  const fennick::Result<bool> full = fill(fd, data, capacity, filled);
  if (!full) return Err(full.error());
  if (!*full) return filled;
  if (std::optional<std::string> error = check_at_end(fd)) return Err(std::move(*error));
  return filled;
}

// Reads the rest of `fd` into `data` (of `capacity` bytes), which `grow(at_least, filled)`
// enlarges keeping the bytes filled so far; returns the number of bytes read or the error text.
template <class Grow>
fennick::Result<std::size_t> read_rest(int fd, bool regular, std::uint64_t size, char*& data,
                                       std::size_t& capacity, const Grow& grow) {
  std::size_t filled = 0;
  constexpr std::size_t kPiece = std::size_t{64} * 1024;
  // A regular file's size is known: it is read into a buffer of that size and one byte more, so
  // that its end is seen without growing the buffer or copying it. Whatever lies beyond (a file
  // that grew, a pipe) is read on in pieces.
  std::size_t next =
      regular && size < std::string().max_size() ? static_cast<std::size_t>(size) + 1 : kPiece;
  while (true) {
    if (capacity == filled) {
      grow(filled + next, filled);
      next = kPiece;
    }
    const fennick::Result<bool> full = fill(fd, data, capacity, filled);
    if (!full) return Err(full.error());
    if (!*full) return filled;
  }
}

}  // namespace

fennick::Result<std::string> InputFile::read_all() {
  std::string text;
  char* data = nullptr;
  std::size_t capacity = 0;
  const auto grow = [&](std::size_t bytes, std::size_t) {
    text.resize(bytes);
    data = text.data();
    capacity = text.size();
  };
  fennick::Result<std::size_t> filled = bounded_
                                            ? read_sized(fd_, size_, data, capacity, grow)
                                            : read_rest(fd_, regular_, size_, data, capacity, grow);
  if (!filled) return Err(std::move(filled).error());
  text.resize(*filled);
  return text;
}

fennick::Result<FileBytes> InputFile::read_all_bytes() {
  FileBytes bytes;
  char* data = nullptr;
  std::size_t capacity = 0;
  const auto grow = [&](std::size_t needed, std::size_t kept) {
    // At least doubled, so that a long pipe is copied a bounded number of times per byte.
    const std::size_t size = std::max(needed, capacity * 2);
    auto larger = std::make_unique_for_overwrite<char[]>(size);
    if (kept > 0) std::memcpy(larger.get(), bytes.data.get(), kept);
    bytes.data = std::move(larger);
    data = bytes.data.get();
    capacity = size;
  };
  fennick::Result<std::size_t> filled = bounded_
                                            ? read_sized(fd_, size_, data, capacity, grow)
                                            : read_rest(fd_, regular_, size_, data, capacity, grow);
  if (!filled) return Err(std::move(filled).error());
  bytes.size = *filled;
  return bytes;
}

fennick::Result<std::string> read_file(const std::string& path, OpenMode mode) {
  fennick::Result<InputFile> file = InputFile::open(path, mode);
  if (!file) return Err(std::move(file).error());
  return file->read_all();
}

fennick::Result<FileBytes> read_file_bytes(const std::string& path, OpenMode mode) {
  fennick::Result<InputFile> file = InputFile::open(path, mode);
  if (!file) return Err(std::move(file).error());
  return file->read_all_bytes();
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return !holds_nul(path) && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string join_path(std::string_view dir, std::string_view relative) {
  if (!relative.empty() && relative.front() == '/') return std::string(relative);
  std::string joined(dir);
  if (!joined.empty() && joined.back() != '/') joined += '/';
  joined += relative;
  return joined;
}

std::optional<std::vector<std::string>> list_directory(const std::string& path) {
  if (holds_nul(path)) return std::nullopt;
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;  // end of the listing, or an error that ends it
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

bool path_less(std::string_view a, std::string_view b) {
  ComponentReader left(a);
  ComponentReader right(b);
  Component x{};
  Component y{};
  while (true) {
    const bool has_x = left.next(x);
    const bool has_y = right.next(y);
    if (!has_x || !has_y) return !has_x && has_y;
    if (x != y) return x < y;
  }
}

std::optional<std::string_view> file_name(std::string_view path) {
  ComponentReader reader(path);
  Component component{};
  std::optional<std::string_view> last;
  while (reader.next(component)) {
    last = component.kind == ComponentKind::kNormal ? std::optional(component.name) : std::nullopt;
  }
  return last;
}

std::optional<std::string_view> extension(std::string_view path) {
  const std::optional<std::string_view> name = file_name(path);
  if (!name || *name == "..") return std::nullopt;
  const std::size_t dot = name->rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return name->substr(dot + 1);
}

}  // namespace fennick::text
