#pragma once
// The two flows of the command line, from parsed arguments to printed lines and an exit code.
// Everything the user sees goes through `streams`, so the flows can run against any sink.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "provenance/validator/audit.h"
#include "streams.h"

namespace fennick::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitVerdictFailed = 1;
inline constexpr int kExitInputError = 2;

// Reads the certificate and the optional inputs, verifies, prints the verdict and its details.
// 0 VERIFIED, 1 INVALID, 2 an unreadable input, a missing directory or a failed stdout write.
int run_verify_certificate(const VerifyCertificateArgs& args, const Streams& streams);

// Audits the project, writes the markdown report to stdout and the summary to stderr.
// 0 done, 1 a validator panic or (under --fail-on-rejected) no BRD or a rejected claim,
// 2 a missing directory or a failed stdout write.
int run_verify_provenance(const VerifyProvenanceArgs& args, const Streams& streams);

// The same flow with the audit supplied by the caller: the tests reach the exit rules that only a
// fault inside the audit produces. The program itself always runs provenance::verify_provenance.
using ProvenanceAudit = std::function<provenance::ProvenanceAuditResult(
    const std::string& project, const std::optional<std::string>& corpus)>;
int run_verify_provenance(const VerifyProvenanceArgs& args, const Streams& streams,
                          const ProvenanceAudit& audit);

// Parses `argv` and runs the named flow; help, version and usage errors end in the parser.
int run_command_line(const std::vector<std::string>& argv, const Terminal& terminal,
                     const Streams& streams);

}  // namespace fennick::cli
