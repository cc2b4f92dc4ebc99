// The parser's outcomes as the binary shows them: streams and exit codes of help, version and
// usage errors (texts from the reference transcripts; the parser's own tests cover the rest).

#include <gtest/gtest.h>

#include <string>

#include "e2e/runner.h"

namespace fennick::e2e {
namespace {

constexpr std::string_view kTopHelp =
    "Verify a factory's run-side paperwork (governance certificate, provenance) with no trust in "
    "the producer. Offline, identity-free, read-only.\n"
    "\n"
    "Usage: fennick <COMMAND>\n"
    "\n"
    "Commands:\n"
    "  verify-certificate  Verify a governance certificate by re-deriving hashes, checking proof "
    "chain integrity (spec 102 FR-007), adjudicating the platform seal (spec 198 FR-014), "
    "checking the corpus binding by reference (spec 218 FR-003), and checking the SBOM artifact "
    "binding by re-hashing the on-disk BOM + audit artifacts (spec 203 FR-003)\n"
    "  verify-provenance   Re-check claim provenance for a produced app (spec 121). Read-only: "
    "the markdown report is written to stdout, never into the audited project\n"
    "  help                Print this message or the help of the given subcommand(s)\n"
    "\n"
    "Options:\n"
    "  -h, --help     Print help\n"
    "  -V, --version  Print version\n";

TEST(CommandLineTest, BareRunShowsHelpOnStderr) {
  const RunResult r = run_fennick({});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kTopHelp);
  EXPECT_EQ(r.exit_code, 2);
}

TEST(CommandLineTest, HelpAndVersionOnStdout) {
  RunResult r = run_fennick({"--help"});
  EXPECT_EQ(r.out, kTopHelp);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);

  r = run_fennick({"-V"});
  EXPECT_EQ(r.out, "fennick 0.4.0\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);

  r = run_fennick({"help", "help"});
  EXPECT_EQ(r.out,
            "Print this message or the help of the given subcommand(s)\n"
            "\n"
            "Usage: fennick help [COMMAND]...\n"
            "\n"
            "Arguments:\n"
            "  [COMMAND]...  Print help for the subcommand(s)\n");
  EXPECT_EQ(r.exit_code, 0);

  // Help asked for with stdout gone still ends as asked.
  r = run_fennick({"--help"}, StdoutMode::kBrokenPipe);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
}

TEST(CommandLineTest, UsageErrorsOnStderrWithTwo) {
  RunResult r = run_fennick({"verify-certificate", "a.json", "--allow-unsealed=yes"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "error: unexpected value 'yes' for '--allow-unsealed' found; no more were expected\n"
            "\n"
            "Usage: fennick verify-certificate --allow-unsealed <CERTIFICATE>\n"
            "\n"
            "For more information, try '--help'.\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-provenance"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "error: the following required arguments were not provided:\n"
            "  --project <PROJECT>\n"
            "\n"
            "Usage: fennick verify-provenance --project <PROJECT>\n"
            "\n"
            "For more information, try '--help'.\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificat", "x"});
  EXPECT_EQ(r.err,
            "error: unrecognized subcommand 'verify-certificat'\n"
            "\n"
            "  tip: some similar subcommands exist: 'verify-provenance', 'verify-certificate'\n"
            "\n"
            "Usage: fennick <COMMAND>\n"
            "\n"
            "For more information, try '--help'.\n");
  EXPECT_EQ(r.exit_code, 2);

  r = run_fennick({"verify-certificate", "a.json", "--version"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace fennick::e2e
