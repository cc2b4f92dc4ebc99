// Every run of the reference command-line transcripts, compared byte for byte: stdout, stderr
// and the exit code of help, version and usage-error output.

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "command.h"

namespace fennick::cli {
namespace {

struct Transcript {
  std::vector<std::string> args;  // after the program name
  int code;
  const char* out;
  const char* err;
};

constexpr const char* kTopHelp =
    R"txt(Verify a factory's run-side paperwork (governance certificate, provenance) with no trust in the producer. Offline, identity-free, read-only.

Usage: fennick <COMMAND>

Commands:
  verify-certificate  Verify a governance certificate by re-deriving hashes, checking proof chain integrity (spec 102 FR-007), adjudicating the platform seal (spec 198 FR-014), checking the corpus binding by reference (spec 218 FR-003), and checking the SBOM artifact binding by re-hashing the on-disk BOM + audit artifacts (spec 203 FR-003)
  verify-provenance   Re-check claim provenance for a produced app (spec 121). Read-only: the markdown report is written to stdout, never into the audited project
  help                Print this message or the help of the given subcommand(s)

Options:
  -h, --help     Print help
  -V, --version  Print version
)txt";

constexpr const char* kVerifyCertificateHelp =
    R"txt(Verify a governance certificate by re-deriving hashes, checking proof chain integrity (spec 102 FR-007), adjudicating the platform seal (spec 198 FR-014), checking the corpus binding by reference (spec 218 FR-003), and checking the SBOM artifact binding by re-hashing the on-disk BOM + audit artifacts (spec 203 FR-003)

Usage: fennick verify-certificate [OPTIONS] <CERTIFICATE>

Arguments:
  <CERTIFICATE>  Path to the governance-certificate.json file

Options:
      --artifact-dir <ARTIFACT_DIR>
          Optional directory containing stage artifacts for hash re-derivation
      --platform-jwks <PLATFORM_JWKS>
          Path to a saved platform JWKS JSON file (offline seal verification)
      --allow-unsealed
          Accept a certificate whose platform countersign cannot be verified: one carrying no countersign at all, or a sealed one with no `--platform-jwks` to adjudicate it. By DEFAULT such a certificate is REJECTED (exit 1): the countersign is what binds the run to its admission contract, so the trust-nobody posture fails closed on its absence (spec 198 FR-014). This opt-out demotes that rejection to a visible notice with exit 0
      --corpus-attestation <CORPUS_ATTESTATION>
          Path to a corpus attestation artifact to check the certificate's corpus binding against (spec 218). The verifier confirms the link only (claimed hash == hash of this file); the attestation's own truth is delegated to keelson's verify-attestation. Absent: a present binding is reported "present-but-unverified" and an absent one "unbound"
      --sbom-dir <SBOM_DIR>
          Directory of the produced application, used to re-hash its CycloneDX BOM (`.factory/sbom.cdx.json`) and dependency-audit artifact (`.factory/audit.json`) against the certificate's SBOM artifact binding (spec 203 FR-003). The verifier never regenerates the BOM. Absent: a present binding is reported "present-but-unverified" and an absent one "unbound"
  -h, --help
          Print help
)txt";

constexpr const char* kVerifyProvenanceHelp =
    R"txt(Re-check claim provenance for a produced app (spec 121). Read-only: the markdown report is written to stdout, never into the audited project

Usage: fennick verify-provenance [OPTIONS] --project <PROJECT>

Options:
      --project <PROJECT>  Project directory to re-check (its BRD + extraction corpus)
      --corpus <CORPUS>    Override the corpus path (typed JSON or legacy `.txt` directory)
      --fail-on-rejected   Exit 1 when any claim is rejected (a brisling fail-closed mode; Torvane's in-tree audit is a diagnostic that always exits 0). The audit verdict is identical either way; only the exit code differs
  -h, --help               Print help
)txt";

constexpr const char* kHelpHelp = R"txt(Print this message or the help of the given subcommand(s)

Usage: fennick help [COMMAND]...

Arguments:
  [COMMAND]...  Print help for the subcommand(s)
)txt";

const Transcript kTranscripts[] = {
    {{}, 2, "", kTopHelp},
    {{"--help"}, 0, kTopHelp, ""},
    {{"-V"},
     0,
     R"txt(fennick 0.4.0
)txt",
     ""},
    {{"verify-certificate", "--help"}, 0, kVerifyCertificateHelp, ""},
    {{"verify-provenance", "--help"}, 0, kVerifyProvenanceHelp, ""},
    {{"help", "help"}, 0, kHelpHelp, ""},
    {{"verify-certificat", "x"}, 2, "", R"txt(error: unrecognized subcommand 'verify-certificat'

  tip: some similar subcommands exist: 'verify-provenance', 'verify-certificate'

Usage: fennick <COMMAND>

For more information, try '--help'.
)txt"},
    {{"bogus"}, 2, "", R"txt(error: unrecognized subcommand 'bogus'

Usage: fennick <COMMAND>

For more information, try '--help'.
)txt"},
    {{"verify-certificate"}, 2, "", R"txt(error: the following required arguments were not provided:
  <CERTIFICATE>

Usage: fennick verify-certificate <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-provenance"}, 2, "", R"txt(error: the following required arguments were not provided:
  --project <PROJECT>

Usage: fennick verify-provenance --project <PROJECT>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "--allow-unsealed=yes"},
     2,
     "",
     R"txt(error: unexpected value 'yes' for '--allow-unsealed' found; no more were expected

Usage: fennick verify-certificate --allow-unsealed <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "--artifact-dir"},
     2,
     "",
     R"txt(error: a value is required for '--artifact-dir <ARTIFACT_DIR>' but none was supplied

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "b.json"},
     2,
     "",
     R"txt(error: unexpected argument 'b.json' found

Usage: fennick verify-certificate [OPTIONS] <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "--corpus-attestation", "x", "--corpus-attestation", "y"},
     2,
     "",
     R"txt(error: the argument '--corpus-attestation <CORPUS_ATTESTATION>' cannot be used multiple times

Usage: fennick verify-certificate [OPTIONS] <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "--alow-unsealed"},
     2,
     "",
     R"txt(error: unexpected argument '--alow-unsealed' found

  tip: a similar argument exists: '--allow-unsealed'

Usage: fennick verify-certificate --allow-unsealed <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "--version"},
     2,
     "",
     R"txt(error: unexpected argument '--version' found

  tip: to pass '--version' as a value, use '-- --version'

Usage: fennick verify-certificate <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"verify-certificate", "a.json", "-x"}, 2, "", R"txt(error: unexpected argument '-x' found

  tip: to pass '-x' as a value, use '-- -x'

Usage: fennick verify-certificate [OPTIONS] <CERTIFICATE>

For more information, try '--help'.
)txt"},
    {{"--verbose"}, 2, "", R"txt(error: unexpected argument '--verbose' found

  tip: a similar argument exists: '--version'

Usage: fennick --version <COMMAND>

For more information, try '--help'.
)txt"},
    {{"verify-provenance", "--projet", "p"},
     2,
     "",
     R"txt(error: unexpected argument '--projet' found

  tip: a similar argument exists: '--project'

Usage: fennick verify-provenance --project <PROJECT>

For more information, try '--help'.
)txt"},
};

// No terminal and an empty environment: no colour.
Terminal plain_terminal() {
  return Terminal{.stdout_is_tty = false, .stderr_is_tty = false, .getenv = [](const char*) {
                    return std::optional<std::string>();
                  }};
}

TEST(CliTranscripts, EveryRunMatchesByteForByte) {
  for (const auto& t : kTranscripts) {
    std::vector<std::string> argv{"fennick"};
    argv.insert(argv.end(), t.args.begin(), t.args.end());
    std::string command = "fennick";
    for (const auto& a : t.args) command += " " + a;
    SCOPED_TRACE(command);

    const auto result = parse_command_line(argv, plain_terminal());
    ASSERT_TRUE(std::holds_alternative<ParseExit>(result));
    const auto& exit = std::get<ParseExit>(result);
    EXPECT_EQ(exit.code, t.code);
    EXPECT_EQ(exit.out, t.out);
    EXPECT_EQ(exit.err, t.err);
  }
}

// The program is named by argv[0]'s file name in usage lines, never in the version line.
TEST(CliTranscripts, ProgramNameComesFromArgvZero) {
  const auto usage = parse_command_line({"/opt/tools/fennick-ci", "bogus"}, plain_terminal());
  EXPECT_EQ(std::get<ParseExit>(usage).err,
            "error: unrecognized subcommand 'bogus'\n\nUsage: fennick-ci <COMMAND>\n\n"
            "For more information, try '--help'.\n");
  const auto version = parse_command_line({"./bin/fennick-ci", "--version"}, plain_terminal());
  EXPECT_EQ(std::get<ParseExit>(version).out, "fennick 0.4.0\n");
  // No usable file name: the command's own name stands in.
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{}, {""}, {"/"}, {"bin/.."}, {"bin/\xff"}}) {
    const auto r = parse_command_line(argv, plain_terminal());
    EXPECT_NE(std::get<ParseExit>(r).err.find("\nUsage: fennick <COMMAND>\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace fennick::cli
