#pragma once
// The command line of `fennick`: its definition (subcommands, arguments, help texts) and the
// parser that turns the process arguments into a `Cli` record, or into the help, version or
// usage-error text to print and the exit code to end with.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fennick::cli {

// Paths are byte strings taken from argv unchanged; they need not be valid UTF-8.
struct VerifyCertificateArgs {
  std::string certificate;
  std::optional<std::string> artifact_dir;
  std::optional<std::string> platform_jwks;
  bool allow_unsealed = false;
  bool require_sealed = false;
  std::optional<std::string> corpus_attestation;
  std::optional<std::string> sbom_dir;
};

struct VerifyProvenanceArgs {
  std::string project;
  std::optional<std::string> corpus;
  bool fail_on_rejected = false;
};

using CliCommand = std::variant<VerifyCertificateArgs, VerifyProvenanceArgs>;

struct Cli {
  CliCommand subcommand;
};

// A run that ends inside the parser: help or version (text on `out`, code 0), or a usage error
// or a bare run (text on `err`, code 2). The caller writes the texts and exits with `code`.
struct ParseExit {
  int code = 0;
  std::string out;
  std::string err;
};

// What colour decisions depend on, injected so that tests can drive them.
struct Terminal {
  bool stdout_is_tty = false;
  bool stderr_is_tty = false;
  std::function<std::optional<std::string>(const char*)> getenv;
};

// The terminal of this process: isatty on descriptors 1 and 2, and the process environment.
Terminal real_terminal();

// How an argument acts when it is met. Help and version are the parser's built-in flags.
enum class ArgAction {
  kSet,      // takes one value; giving it twice is an error
  kSetTrue,  // flag, takes no value; giving it twice is an error
  kAppend,   // positional taking any number of values (the `help` subcommand's names)
  kHelp,
  kVersion,
};

// One declared argument. An argument with neither a long nor a short name is positional; only
// flags have a short name.
struct ArgDef {
  std::string_view id;
  std::string_view long_name;
  char short_name = '\0';
  std::string_view value_name;
  ArgAction action = ArgAction::kSet;
  bool required = false;
  bool hidden = false;
  std::string_view help;
};

struct CommandDef {
  std::string_view name;
  std::string_view version;  // empty: the command has no version flag
  std::string_view about;
  bool subcommand_required = false;
  bool help_when_no_arguments = false;
  bool is_help_subcommand = false;  // the built-in `help`; parsed by names, has no -h
  std::vector<ArgDef> args;
  std::vector<CommandDef> subcommands;
};

// The command as declared by fennick. The parser adds its built-in parts when it parses:
// -h/--help on every command, -V/--version on the top level, and the `help` subcommand.
CommandDef build_command();

// Parses `argv` (argv[0] is the program path; usage lines name the program by its file name).
// Colour in help and error texts follows `terminal`, decided per stream.
std::variant<Cli, ParseExit> parse_command_line(const std::vector<std::string>& argv,
                                                const Terminal& terminal);

}  // namespace fennick::cli
