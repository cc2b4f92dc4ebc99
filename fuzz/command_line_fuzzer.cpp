// The argument parser on arbitrary argument vectors. The first byte chooses the terminal (which
// streams are terminals, which colour variables are set); the rest is split at NUL bytes into the
// arguments after the program path. Property: the parser either yields a command or ends the run
// the documented way: code 0 with text on standard output, or code 2 with text on standard error.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "check.h"
#include "command.h"

namespace {

fennick::cli::Terminal terminal_from(std::uint8_t bits) {
  fennick::cli::Terminal t;
  t.stdout_is_tty = (bits & 1u) != 0;
  t.stderr_is_tty = (bits & 2u) != 0;
  t.getenv = [bits](const char* name) -> std::optional<std::string> {
    const std::string_view n(name);
    if (n == "NO_COLOR" && (bits & 4u) != 0) return "1";
    if (n == "CLICOLOR_FORCE" && (bits & 8u) != 0) return "1";
    if (n == "CLICOLOR" && (bits & 16u) != 0) return "0";
    if (n == "TERM" && (bits & 32u) != 0) return "dumb";
    if (n == "CI" && (bits & 64u) != 0) return "true";
    return std::nullopt;
  };
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const fennick::cli::Terminal terminal = terminal_from(data[0]);
  std::vector<std::string> argv{"fennick"};
  const std::string_view rest = fennick::fuzz::as_text(data + 1, size - 1);
  if (!rest.empty()) {
    std::size_t start = 0;
    while (true) {
      const std::size_t nul = rest.find('\0', start);
      argv.emplace_back(rest.substr(start, nul - start));
      if (nul == std::string_view::npos) break;
      start = nul + 1;
    }
  }

  const auto parsed = fennick::cli::parse_command_line(argv, terminal);
  if (const auto* exit = std::get_if<fennick::cli::ParseExit>(&parsed)) {
    FENNICK_FUZZ_CHECK(exit->code == 0 || exit->code == 2);
    if (exit->code == 0) FENNICK_FUZZ_CHECK(!exit->out.empty() && exit->err.empty());
    if (exit->code == 2) FENNICK_FUZZ_CHECK(exit->out.empty() && !exit->err.empty());
  }
  return 0;
}
