#include "text/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstring>
#include <memory>

namespace fennick::text {
namespace {

// strerror_r comes in a GNU form (returns the text) and an XSI form (fills the buffer); these two
// overloads accept whichever the C library declares.
[[maybe_unused]] const char* error_text(const char* gnu_result, const char*) { return gnu_result; }
[[maybe_unused]] const char* error_text(int, const char* buffer) { return buffer; }

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool holds_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

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

std::optional<std::string> read_file_chunks(const std::string& path, std::size_t chunk,
                                            const std::function<void(std::string_view)>& consume) {
  if (holds_nul(path)) return std::string("file name contained an unexpected NUL byte");
  int raw = -1;
  do {
    raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (raw < 0 && errno == EINTR);
  if (raw < 0) return os_error_text(errno);
  const FileDescriptor fd(raw);
  // Non-blocking only for the open: reads block as usual.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  std::vector<char> buffer(chunk == 0 ? 1 : chunk);
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n > 0) {
      consume(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    } else if (n == 0) {
      return std::nullopt;
    } else if (errno != EINTR) {
      return os_error_text(errno);
    }
  }
}

fennick::Result<std::string> read_file(const std::string& path) {
  std::string data;
  std::optional<std::string> error =
      read_file_chunks(path, 64 * 1024, [&data](std::string_view piece) { data.append(piece); });
  if (error) return Err(std::move(*error));
  return data;
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
