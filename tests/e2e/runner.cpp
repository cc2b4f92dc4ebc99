#include "e2e/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace fennick::e2e {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": errno " + std::to_string(errno));
}

struct Pipe {
  int read = -1;
  int write = -1;
};

Pipe make_pipe() {
  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC) != 0) fail("pipe2");
  return Pipe{fds[0], fds[1]};
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads both pipes to their ends at once, so that neither can fill up and stall the child.
void drain(int& out_fd, std::string& out, int& err_fd, std::string& err) {
  std::array<char, 65536> buffer{};
  while (out_fd >= 0 || err_fd >= 0) {
    std::array<pollfd, 2> fds{pollfd{out_fd, POLLIN, 0}, pollfd{err_fd, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      int& fd = i == 0 ? out_fd : err_fd;
      std::string& sink = i == 0 ? out : err;
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n > 0) {
        sink.append(buffer.data(), static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close_fd(fd);
      }
    }
  }
}

}  // namespace

namespace {

// Spawns `program` with `argv_storage` (argv[0] included) and the standard streams of
// `stdout_mode`.
RunResult spawn_and_collect(const char* program, std::vector<std::string> argv_storage,
                            StdoutMode stdout_mode) {
  std::vector<char*> argv;
  for (std::string& arg : argv_storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::array<char*, 1> envp{nullptr};

  Pipe out = stdout_mode == StdoutMode::kCapture || stdout_mode == StdoutMode::kBrokenPipe
                 ? make_pipe()
                 : Pipe{};
  Pipe err = make_pipe();
  if (stdout_mode == StdoutMode::kBrokenPipe) close_fd(out.read);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  switch (stdout_mode) {
    case StdoutMode::kCapture:
    case StdoutMode::kBrokenPipe:
      posix_spawn_file_actions_adddup2(&actions, out.write, 1);
      break;
    case StdoutMode::kClosed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case StdoutMode::kFull:
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
      break;
  }
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);

  // SIGPIPE starts at its default action even when this process ignores it, so that a broken
  // pipe tests the program's own start-up.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaulted;
  sigemptyset(&defaulted);
  sigaddset(&defaulted, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaulted);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program, &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close_fd(out.write);
  close_fd(err.write);
  if (spawned != 0) {
    errno = spawned;
    fail("posix_spawn " + std::string(program));
  }

  RunResult result;
  drain(out.read, result.out, err.read, result.err);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) fail("waitpid");
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace

RunResult run_fennick(const std::vector<std::string>& args, StdoutMode stdout_mode) {
  std::vector<std::string> argv{"fennick"};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn_and_collect(FENNICK_BINARY, std::move(argv), stdout_mode);
}

RunResult run_fennick_in_memory(const std::vector<std::string>& args, std::size_t mebibytes) {
  // The shell lowers its own address-space limit and replaces itself with fennick, which
  // inherits the limit; this process keeps its own.
  std::vector<std::string> argv{
      "sh", "-c", "ulimit -v " + std::to_string(mebibytes * 1024) + " && exec \"$0\" \"$@\"",
      FENNICK_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn_and_collect("/bin/sh", std::move(argv), StdoutMode::kCapture);
}

}  // namespace fennick::e2e
