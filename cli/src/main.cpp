// fennick: the process entry. Start-up, then one flow; everything else lives in flows.cpp.

#include <string>
#include <vector>

#include "command.h"
#include "flows.h"
#include "streams.h"

int main(int argc, char** argv) {
  if (!fennick::cli::prepare_standard_streams()) return fennick::cli::kExitInputError;
  const std::vector<std::string> arguments(argv, argv + argc);
  return fennick::cli::run_command_line(arguments, fennick::cli::real_terminal(),
                                        fennick::cli::process_streams());
}
