#pragma once
// Runs the built fennick binary as a child process and collects what it wrote.

#include <cstddef>
#include <string>
#include <vector>

namespace fennick::e2e {

// Where the child's standard output goes.
enum class StdoutMode {
  kCapture,     // a pipe read to the end
  kClosed,      // descriptor 1 closed before the program starts
  kBrokenPipe,  // a pipe whose reading end is closed before the program starts
  kFull,        // /dev/full: every write fails with ENOSPC
};

struct RunResult {
  int exit_code = -1;  // -1 when the child did not exit normally (a signal)
  std::string out;
  std::string err;
};

// Runs FENNICK_BINARY with argv[0] "fennick" and `args`, with an empty environment (so that no
// colour switch applies), standard input on /dev/null and standard error captured.
RunResult run_fennick(const std::vector<std::string>& args,
                      StdoutMode stdout_mode = StdoutMode::kCapture);

// The same, with fennick's address space limited to `mebibytes` (argv[0] is then the binary's
// path). Meaningless under AddressSanitizer, whose shadow memory alone exceeds any such limit.
RunResult run_fennick_in_memory(const std::vector<std::string>& args, std::size_t mebibytes);

}  // namespace fennick::e2e
