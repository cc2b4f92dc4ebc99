#include "streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "text/fs.h"

namespace fennick::cli {
namespace {

// Writes all of `text` to `fd`, resuming after partial writes and interruptions.
int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0) {
      return EIO;  // the descriptor accepts nothing more: retrying would spin
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

}  // namespace

Streams process_streams() {
  return Streams{
      .out = [](std::string_view text) { return write_all(STDOUT_FILENO, text); },
      .err = [](std::string_view text) { static_cast<void>(write_all(STDERR_FILENO, text)); },
  };
}

bool prepare_standard_streams() {
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free number; the lower ones are open by now, so it is `fd`.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened != fd) return false;
  }
  return true;
}

bool StdoutWriter::write(std::string_view piece) {
  if (ended_) return false;
  const int errnum = streams_.out(piece);
  if (errnum == 0) return true;
  ended_ = true;
  if (errnum == EPIPE) return false;
  failed_ = true;
  streams_.err("error: cannot write to stdout: " + text::os_error_text(errnum) + "\n");
  return false;
}

bool write_stdout(std::string_view text, const Streams& streams) {
  StdoutWriter writer(streams);
  writer.write(text);
  return writer.failed();
}

}  // namespace fennick::cli
