// Parsing into the records, byte-string paths, usage errors beyond the reference transcripts,
// the `help` subcommand and the colour rules.

#include "command.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace fennick::cli {
namespace {

using Env = std::map<std::string, std::string>;

Terminal terminal(bool stdout_tty, bool stderr_tty, Env env) {
  return Terminal{.stdout_is_tty = stdout_tty,
                  .stderr_is_tty = stderr_tty,
                  .getenv = [env = std::move(env)](const char* name) -> std::optional<std::string> {
                    const auto it = env.find(name);
                    if (it == env.end()) return std::nullopt;
                    return it->second;
                  }};
}

std::variant<Cli, ParseExit> parse(std::vector<std::string> args,
                                   const Terminal& t = terminal(false, false, {})) {
  args.insert(args.begin(), "fennick");
  return parse_command_line(args, t);
}

ParseExit exit_of(std::vector<std::string> args, const Terminal& t = terminal(false, false, {})) {
  auto r = parse(std::move(args), t);
  EXPECT_TRUE(std::holds_alternative<ParseExit>(r));
  return std::holds_alternative<ParseExit>(r) ? std::get<ParseExit>(r) : ParseExit{};
}

VerifyCertificateArgs certificate_args(std::vector<std::string> args) {
  auto r = parse(std::move(args));
  if (const auto* e = std::get_if<ParseExit>(&r)) ADD_FAILURE() << e->err;
  if (!std::holds_alternative<Cli>(r)) return {};
  const auto* v = std::get_if<VerifyCertificateArgs>(&std::get<Cli>(r).subcommand);
  EXPECT_NE(v, nullptr);
  return v != nullptr ? *v : VerifyCertificateArgs{};
}

VerifyProvenanceArgs provenance_args(std::vector<std::string> args) {
  auto r = parse(std::move(args));
  if (const auto* e = std::get_if<ParseExit>(&r)) ADD_FAILURE() << e->err;
  if (!std::holds_alternative<Cli>(r)) return {};
  const auto* v = std::get_if<VerifyProvenanceArgs>(&std::get<Cli>(r).subcommand);
  EXPECT_NE(v, nullptr);
  return v != nullptr ? *v : VerifyProvenanceArgs{};
}

std::string usage_error(std::string_view message, std::string_view usage) {
  return "error: " + std::string(message) + "\n\nUsage: " + std::string(usage) +
         "\n\nFor more information, try '--help'.\n";
}

TEST(CliParse, VerifyCertificateFillsEveryFieldInEitherForm) {
  const auto spaced =
      certificate_args({"verify-certificate", "--artifact-dir", "arts", "cert.json",
                        "--platform-jwks", "keys.json", "--allow-unsealed", "--require-sealed",
                        "--corpus-attestation", "att.bin", "--sbom-dir", "app"});
  const auto joined = certificate_args(
      {"verify-certificate", "--sbom-dir=app", "--corpus-attestation=att.bin", "--require-sealed",
       "--allow-unsealed", "--platform-jwks=keys.json", "--artifact-dir=arts", "cert.json"});
  for (const auto& v : {spaced, joined}) {
    EXPECT_EQ(v.certificate, "cert.json");
    EXPECT_EQ(v.artifact_dir, "arts");
    EXPECT_EQ(v.platform_jwks, "keys.json");
    EXPECT_TRUE(v.allow_unsealed);
    EXPECT_TRUE(v.require_sealed);
    EXPECT_EQ(v.corpus_attestation, "att.bin");
    EXPECT_EQ(v.sbom_dir, "app");
  }
  const auto bare = certificate_args({"verify-certificate", "cert.json"});
  EXPECT_EQ(bare.certificate, "cert.json");
  EXPECT_FALSE(bare.artifact_dir || bare.platform_jwks || bare.corpus_attestation || bare.sbom_dir);
  EXPECT_FALSE(bare.allow_unsealed || bare.require_sealed);
}

TEST(CliParse, VerifyProvenanceFillsEveryField) {
  const auto v =
      provenance_args({"verify-provenance", "--fail-on-rejected", "--corpus=c", "--project", "p"});
  EXPECT_EQ(v.project, "p");
  EXPECT_EQ(v.corpus, "c");
  EXPECT_TRUE(v.fail_on_rejected);
  const auto bare = provenance_args({"verify-provenance", "--project=p"});
  EXPECT_FALSE(bare.corpus.has_value());
  EXPECT_FALSE(bare.fail_on_rejected);
}

TEST(CliParse, ValuesAreTakenAsTheyStand) {
  // After "--" everything is positional, even what looks like an option.
  EXPECT_EQ(certificate_args({"verify-certificate", "--", "--allow-unsealed"}).certificate,
            "--allow-unsealed");
  EXPECT_EQ(certificate_args({"verify-certificate", "--allow-unsealed", "--", "-x"}).certificate,
            "-x");
  // A lone "-" is a value; only the first "=" splits an option from its value; the subcommand
  // has no `help` of its own.
  const auto v =
      certificate_args({"verify-certificate", "--artifact-dir", "-", "--sbom-dir=a=b", "help"});
  EXPECT_EQ(v.artifact_dir, "-");
  EXPECT_EQ(v.sbom_dir, "a=b");
  EXPECT_EQ(v.certificate, "help");
}

TEST(CliParse, PathsThatAreNotUtf8AreKeptByteForByte) {
  const std::string cert = "c\xff\xfe.json";
  const std::string dir = "d\xc3(";
  const std::string jwks = "\xed\xa0\x80";
  const auto v = certificate_args({"verify-certificate", cert, "--artifact-dir", dir,
                                   "--platform-jwks=" + jwks, "--sbom-dir", "\x80"});
  EXPECT_EQ(v.certificate, cert);
  EXPECT_EQ(v.artifact_dir, dir);
  EXPECT_EQ(v.platform_jwks, jwks);
  EXPECT_EQ(v.sbom_dir, "\x80");
  EXPECT_EQ(provenance_args({"verify-provenance", "--project", "p\xf8"}).project, "p\xf8");
}

TEST(CliErrors, ShownArgumentsThatAreNotUtf8UseTheReplacementCharacter) {
  EXPECT_EQ(exit_of({"verify-certificate", "a.json", "b\xff.json"}).err,
            usage_error("unexpected argument 'b\xEF\xBF\xBD.json' found",
                        "fennick verify-certificate [OPTIONS] <CERTIFICATE>"));
  EXPECT_EQ(exit_of({"\xc3("}).err,
            usage_error("unrecognized subcommand '\xEF\xBF\xBD('", "fennick <COMMAND>"));
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--allow-unsealed=\xe2\x82"}).err,
            usage_error("unexpected value '\xEF\xBF\xBD' for '--allow-unsealed' found; no more "
                        "were expected",
                        "fennick verify-certificate --allow-unsealed <CERTIFICATE>"));
}

// A path is never empty: an empty value counts as a missing one, whichever form gives it.
TEST(CliErrors, EmptyValuesAreMissingValues) {
  const std::string no_dir =
      "error: a value is required for '--artifact-dir <ARTIFACT_DIR>' but none was supplied\n\n"
      "For more information, try '--help'.\n";
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--artifact-dir="}).err, no_dir);
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--artifact-dir", ""}).err, no_dir);
  // An option met where a value is awaited leaves the value missing.
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--artifact-dir", "--sbom-dir", "s"}).err, no_dir);
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--artifact-dir", "--", "b"}).err, no_dir);
  const auto empty_certificate = exit_of({"verify-certificate", ""});
  EXPECT_EQ(empty_certificate.code, 2);
  EXPECT_EQ(empty_certificate.err,
            "error: a value is required for '<CERTIFICATE>' but none was supplied\n\n"
            "For more information, try '--help'.\n");
}

TEST(CliErrors, RepeatsMissingArgumentsAndStrayValues) {
  EXPECT_EQ(exit_of({"verify-certificate", "--allow-unsealed", "a", "--allow-unsealed"}).err,
            usage_error("the argument '--allow-unsealed' cannot be used multiple times",
                        "fennick verify-certificate [OPTIONS] <CERTIFICATE>"));
  EXPECT_EQ(exit_of({"verify-provenance", "--project", "p", "--project=q"}).err,
            usage_error("the argument '--project <PROJECT>' cannot be used multiple times",
                        "fennick verify-provenance [OPTIONS] --project <PROJECT>"));
  // The usage line lists what was given besides what is required.
  EXPECT_EQ(exit_of({"verify-certificate", "--allow-unsealed"}).err,
            usage_error("the following required arguments were not provided:\n  <CERTIFICATE>",
                        "fennick verify-certificate --allow-unsealed <CERTIFICATE>"));
  EXPECT_EQ(
      exit_of({"verify-provenance", "--corpus", "c"}).err,
      usage_error("the following required arguments were not provided:\n  --project <PROJECT>",
                  "fennick verify-provenance --project <PROJECT> --corpus <CORPUS>"));
  // Without a positional to fill there is no "--" tip.
  EXPECT_EQ(exit_of({"verify-provenance", "--project", "p", "extra"}).err,
            usage_error("unexpected argument 'extra' found",
                        "fennick verify-provenance [OPTIONS] --project <PROJECT>"));
  EXPECT_EQ(exit_of({"verify-provenance", "-x"}).err,
            usage_error("unexpected argument '-x' found",
                        "fennick verify-provenance [OPTIONS] --project <PROJECT>"));
  // After "--" a value with no place gets no tip either.
  EXPECT_EQ(exit_of({"verify-certificate", "--", "a", "-x"}).err,
            usage_error("unexpected argument '-x' found",
                        "fennick verify-certificate [OPTIONS] <CERTIFICATE>"));
}

TEST(CliErrors, SuggestionsAndTheirAbsence) {
  EXPECT_EQ(exit_of({"hlep"}).err,
            "error: unrecognized subcommand 'hlep'\n\n  tip: a similar subcommand exists: "
            "'help'\n\nUsage: fennick <COMMAND>\n\nFor more information, try '--help'.\n");
  // The hidden flag is still suggested, but stays out of the usage line.
  EXPECT_EQ(exit_of({"verify-certificate", "a", "--require-seale"}).err,
            "error: unexpected argument '--require-seale' found\n\n  tip: a similar argument "
            "exists: '--require-sealed'\n\nUsage: fennick verify-certificate <CERTIFICATE>\n\n"
            "For more information, try '--help'.\n");
  EXPECT_EQ(exit_of({"--frobnicate"}).err,
            usage_error("unexpected argument '--frobnicate' found", "fennick <COMMAND>"));
  EXPECT_EQ(exit_of({"-x"}).err,
            usage_error("unexpected argument '-x' found", "fennick <COMMAND>"));
  // A subcommand name after "--" is a value: the error names it and says how to use it.
  for (const std::string name : {"verify-provenance", "verify-certificate"}) {
    EXPECT_EQ(exit_of({"--", name}).err,
              "error: unexpected argument '" + name + "' found\n\n  tip: subcommand '" + name +
                  "' exists; to use it, remove the '--' before it\n\nUsage: fennick "
                  "<COMMAND>\n\nFor more information, try '--help'.\n");
  }
}

TEST(CliHelp, HelpAndVersionForms) {
  const auto sub_help = exit_of({"verify-certificate", "--help"});
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"help", "verify-certificate"}, {"verify-certificate", "a.json", "-h"}}) {
    const auto e = exit_of(args);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.out, sub_help.out);
    EXPECT_EQ(e.err, "");
  }
  const auto top_help = exit_of({"--help"});
  for (const auto& args : std::vector<std::vector<std::string>>{{"help"}, {"-h"}}) {
    EXPECT_EQ(exit_of(args).out, top_help.out);
  }
  // A run with only "--" has given nothing: the help, on stderr.
  const auto bare = exit_of({"--"});
  EXPECT_EQ(bare.code, 2);
  EXPECT_EQ(bare.err, top_help.out);

  const auto version = exit_of({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "fennick 0.4.0\n");
  EXPECT_EQ(exit_of({"verify-provenance", "-V"}).err,
            usage_error("unexpected argument '-V' found",
                        "fennick verify-provenance [OPTIONS] --project <PROJECT>"));
  EXPECT_EQ(exit_of({"--version=2"}).err,
            usage_error("unexpected value '2' for '--version' found; no more were expected",
                        "fennick --version <COMMAND>"));
}

TEST(CliHelp, HelpSubcommandRejectsUnknownNames) {
  const auto unknown = exit_of({"help", "verify-certificat"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err,
            usage_error("unrecognized subcommand 'verify-certificat'", "fennick <COMMAND>"));
  EXPECT_EQ(exit_of({"help", "verify-provenance", "x"}).err,
            usage_error("unrecognized subcommand 'x'",
                        "fennick verify-provenance [OPTIONS] --project <PROJECT>"));
  // `help` has no --help of its own to point at.
  EXPECT_EQ(exit_of({"help", "help", "x"}).err,
            "error: unrecognized subcommand 'x'\n\nUsage: fennick help [COMMAND]...\n");
}

constexpr const char* kColouredError =
    "\x1b[1m\x1b[31merror:\x1b[0m unexpected argument '\x1b[33m-x\x1b[0m' found\n\n"
    "  \x1b[32mtip:\x1b[0m to pass '\x1b[33m-x\x1b[0m' as a value, use '\x1b[32m-- -x\x1b[0m'\n\n"
    "\x1b[1m\x1b[4mUsage:\x1b[0m \x1b[1mfennick verify-certificate\x1b[0m [OPTIONS] "
    "<CERTIFICATE>\n\nFor more information, try '\x1b[1m--help\x1b[0m'.\n";

constexpr const char* kPlainError =
    "error: unexpected argument '-x' found\n\n"
    "  tip: to pass '-x' as a value, use '-- -x'\n\n"
    "Usage: fennick verify-certificate [OPTIONS] <CERTIFICATE>\n\n"
    "For more information, try '--help'.\n";

TEST(CliColour, EnvironmentAndTerminalDecide) {
  const std::vector<std::string> args{"verify-certificate", "a", "-x"};
  struct Case {
    bool tty;
    Env env;
    bool coloured;
  };
  const Case cases[] = {
      {false, {{"CLICOLOR_FORCE", "1"}}, true},
      {false, {{"CLICOLOR_FORCE", "0"}}, true},
      {false, {{"CLICOLOR_FORCE", ""}}, false},
      {false, {{"CLICOLOR_FORCE", "1"}, {"NO_COLOR", "1"}}, false},
      {false, {{"CLICOLOR_FORCE", "1"}, {"NO_COLOR", ""}}, true},
      {false, {{"TERM", "xterm"}}, false},
      {true, {{"TERM", "xterm"}}, true},
      {true, {{"TERM", "dumb"}}, false},
      {true, {}, false},
      {true, {{"CI", ""}}, true},
      {true, {{"CLICOLOR", "1"}}, true},
      {true, {{"TERM", "xterm"}, {"CLICOLOR", "0"}}, false},
      {true, {{"TERM", "xterm"}, {"NO_COLOR", "yes"}}, false},
  };
  for (const auto& c : cases) {
    std::string env;
    for (const auto& [k, v] : c.env) env += k + "=" + v + " ";
    SCOPED_TRACE(env + (c.tty ? "tty" : "no tty"));
    EXPECT_EQ(exit_of(args, terminal(false, c.tty, c.env)).err,
              c.coloured ? kColouredError : kPlainError);
  }
}

TEST(CliColour, EachStreamIsJudgedOnItsOwn) {
  const Env env{{"TERM", "xterm-256color"}};
  // Help goes to stdout: coloured only when stdout is a terminal.
  const auto help = exit_of({"help", "help"}, terminal(true, false, env));
  EXPECT_EQ(help.out,
            "Print this message or the help of the given subcommand(s)\n\n"
            "\x1b[1m\x1b[4mUsage:\x1b[0m \x1b[1mfennick help\x1b[0m [COMMAND]...\n\n"
            "\x1b[1m\x1b[4mArguments:\x1b[0m\n"
            "  [COMMAND]...  Print help for the subcommand(s)\n");
  EXPECT_EQ(exit_of({"verify-certificate", "a", "-x"}, terminal(true, false, env)).err,
            kPlainError);
  // The bare run's help goes to stderr.
  const auto bare = exit_of({}, terminal(false, true, env));
  EXPECT_NE(bare.err.find("\x1b[1m\x1b[4mCommands:\x1b[0m\n  \x1b[1mverify-certificate\x1b[0m  "),
            std::string::npos);
  EXPECT_NE(bare.err.find("  \x1b[1m-V\x1b[0m, \x1b[1m--version\x1b[0m  Print version\n"),
            std::string::npos);
  // The version line is never coloured.
  EXPECT_EQ(exit_of({"-V"}, terminal(true, true, env)).out, "fennick 0.4.0\n");
}

}  // namespace
}  // namespace fennick::cli
