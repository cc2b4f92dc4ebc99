#pragma once
// The process's standard streams as the two flows use them: standard output carries the product
// (one text per run), standard error every other line.

#include <functional>
#include <string_view>

namespace fennick::cli {

struct Streams {
  // Writes the whole text; returns 0, or the errno of the failure.
  std::function<int(std::string_view)> out;
  // Writes the whole text. A failure here is dropped: there is no stream left to report it on.
  std::function<void(std::string_view)> err;
};

// Descriptors 1 and 2.
Streams process_streams();

// Start-up, before anything is parsed: SIGPIPE is ignored, so that a closed pipe shows up as a
// write error (EPIPE) instead of ending the process, and each closed descriptor among 0, 1 and 2
// is reopened on /dev/null, so that no file opened later can take its number. Returns false when
// a descriptor could not be reopened.
bool prepare_standard_streams();

// Standard output for a text handed over in pieces, under write_stdout's rules: a broken pipe
// ends the writing and counts as written; any other failure prints "error: cannot write to
// stdout: {error}" on standard error once and ends it.
class StdoutWriter {
 public:
  explicit StdoutWriter(const Streams& streams) : streams_(streams) {}

  // Writes the piece whole; false once the writing has ended, so no further piece is wanted.
  bool write(std::string_view piece);
  // True when a write failed other than by a broken pipe (the caller then ends with exit code 2).
  bool failed() const { return failed_; }

 private:
  const Streams& streams_;
  bool ended_ = false;
  bool failed_ = false;
};

// Hands `text` to standard output in one write-all. A broken pipe counts as written; any other
// failure prints "error: cannot write to stdout: {error}" on standard error. True when the write
// failed (the caller then ends with exit code 2).
bool write_stdout(std::string_view text, const Streams& streams);

}  // namespace fennick::cli
