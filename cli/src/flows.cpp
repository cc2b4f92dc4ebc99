#include "flows.h"

#include <array>
#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "certificate/countersign.h"
#include "certificate/records.h"
#include "certificate/verify.h"
#include "provenance/report.h"
#include "provenance/validator/audit.h"
#include "result.h"
#include "text/display.h"
#include "text/fs.h"
#include "text/utf8.h"

namespace fennick::cli {
namespace {

std::string shown(const std::string& path) { return text::shown_value(path); }

int input_error(const Streams& streams, const std::string& line) {
  streams.err(line + "\n");
  return kExitInputError;
}

// The whole file as UTF-8 text; a file that is not UTF-8 fails like an unreadable one.
Result<text::FileBytes> read_text_file(const std::string& path) {
  Result<text::FileBytes> bytes = text::read_file_bytes(path, text::OpenMode::kAsGiven);
  if (bytes && !text::is_valid_utf8(bytes->view())) {
    return Err(std::string("stream did not contain valid UTF-8"));
  }
  return bytes;
}

// The first `count` characters of `text`, or none when it has fewer.
std::optional<std::string> first_characters(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t cp = 0;
    if (pos >= text.size()) return std::nullopt;
    text::next_code_point(text, pos, cp);  // an invalid sequence still counts as one character
  }
  return std::string(text.substr(0, pos));
}

const char* flag_text(bool value) { return value ? "true" : "false"; }

// What a flow is doing, for the line that ends it when memory runs out: a step
// ("reading the certificate ") and what it works on (a path as shown). The caller owns it, so it
// outlives the frames that an exhausted heap unwinds.
struct Step {
  std::string_view doing;
  std::string subject;
};

// "error: out of memory while {doing}{subject}", composed on the stack: the heap is what ran out.
void report_out_of_memory(const Streams& streams, const Step& step) {
  std::array<char, 8192> line{};
  std::size_t length = 0;
  const auto append = [&](std::string_view piece) {
    piece = piece.substr(0, line.size() - 1 - length);  // room is kept for the line feed
    piece.copy(line.data() + length, piece.size());
    length += piece.size();
  };
  append("error: out of memory while ");
  append(step.doing);
  append(step.subject);
  line[length++] = '\n';
  streams.err(std::string_view(line.data(), length));
}

// Runs a flow's steps; an exhausted heap ends the run with one line naming the step it was in.
template <class Steps>
int run_steps(const Streams& streams, const Steps& steps) {
  Step step{"starting", {}};
  try {
    return steps(step);
  } catch (const std::bad_alloc&) {
    // By now the stack is unwound and what the steps held is freed; the line needs no heap.
    report_out_of_memory(streams, step);
    return kExitInputError;
  }
}

int verify_certificate_steps(const VerifyCertificateArgs& args, const Streams& streams,
                             Step& step) {
  const std::string certificate_path = shown(args.certificate);
  step = {"reading the certificate ", certificate_path};
  // Read once and kept whole: the record's strings are views into these bytes.
  Result<text::FileBytes> certificate_bytes = read_text_file(args.certificate);
  if (!certificate_bytes) {
    return input_error(streams,
                       "error: cannot read " + certificate_path + ": " + certificate_bytes.error());
  }
  const std::size_t certificate_size = certificate_bytes->size;
  auto certificate = certificate::read_certificate_json(
      json::KeptText(std::move(certificate_bytes->data), certificate_size));
  if (!certificate) {
    return input_error(streams,
                       "error: invalid certificate JSON: " + certificate.error().to_string());
  }

  if (args.artifact_dir && !text::is_directory(*args.artifact_dir)) {
    return input_error(streams, "error: --artifact-dir " + shown(*args.artifact_dir) +
                                    " is not an existing directory");
  }
  if (args.sbom_dir && !text::is_directory(*args.sbom_dir)) {
    return input_error(
        streams, "error: --sbom-dir " + shown(*args.sbom_dir) + " is not an existing directory");
  }

  std::optional<certificate::PlatformJwks> jwks;
  if (args.platform_jwks) {
    const std::string jwks_path = shown(*args.platform_jwks);
    step = {"reading --platform-jwks ", jwks_path};
    const Result<text::FileBytes> jwks_text = read_text_file(*args.platform_jwks);
    if (!jwks_text) {
      return input_error(
          streams, "error: cannot read --platform-jwks " + jwks_path + ": " + jwks_text.error());
    }
    auto parsed = certificate::read_platform_jwks_json(jwks_text->view());
    if (!parsed) {
      return input_error(streams, "error: --platform-jwks " + jwks_path +
                                      " is not a JWKS JSON: " + parsed.error().to_string());
    }
    jwks = std::move(*parsed);
  }

  std::optional<std::string> attestation;
  if (args.corpus_attestation) {
    const std::string attestation_path = shown(*args.corpus_attestation);
    step = {"reading --corpus-attestation ", attestation_path};
    Result<std::string> bytes = text::read_file(*args.corpus_attestation, text::OpenMode::kAsGiven);
    if (!bytes) {
      return input_error(streams, "error: cannot read --corpus-attestation " + attestation_path +
                                      ": " + bytes.error());
    }
    attestation = std::move(*bytes);
  }

  if (args.require_sealed) {
    streams.err(
        "note: --require-sealed is deprecated and now the default; sealing is required unless "
        "--allow-unsealed is passed\n");
  }

  step = {"verifying the certificate ", certificate_path};
  const certificate::GovernanceCertificate& cert = *certificate;
  const certificate::VerificationOutcome outcome = certificate::verify_certificate(
      cert, args.artifact_dir, jwks, !args.allow_unsealed, attestation, args.sbom_dir);

  step = {"printing the outcome of ", certificate_path};
  for (const std::string& notice : outcome.notices) streams.err("notice: " + notice + "\n");

  if (outcome.ok) {
    const std::string verdict =
        "governance certificate VERIFIED (pipeline: " + text::shown_value(cert.pipeline_run_id) +
        ", status: " + std::string(certificate::display_name(cert.status)) + ")\n";
    if (write_stdout(verdict, streams)) return kExitInputError;
    std::string details = "  stages: " + std::to_string(cert.stages.size()) + "\n";
    details += "  proof chain records: " + std::to_string(cert.proof_chain.record_count) + "\n";
    if (const auto prefix = first_characters(cert.certificate_hash, 16)) {
      details += "  certificate hash: " + text::shown_value(*prefix) + "\n";
    }
    details += cert.platform_countersign ? "  platform seal: present\n"
                                         : "  platform seal: ABSENT (unsealed)\n";
    streams.err(details);
    return kExitOk;
  }

  const std::string verdict =
      "governance certificate INVALID (" + std::to_string(outcome.error_count) + " error(s))\n";
  if (write_stdout(verdict, streams)) return kExitInputError;
  for (const std::string& error : outcome.errors) streams.err("  - " + error + "\n");
  // The outcome keeps the first errors only; the verdict line above counts them all.
  if (outcome.error_count > outcome.errors.size()) {
    streams.err("  - ... and " + std::to_string(outcome.error_count - outcome.errors.size()) +
                " more error(s) not shown\n");
  }
  return kExitVerdictFailed;
}

}  // namespace

int run_verify_certificate(const VerifyCertificateArgs& args, const Streams& streams) {
  return run_steps(streams,
                   [&](Step& step) { return verify_certificate_steps(args, streams, step); });
}

namespace {

int verify_provenance_steps(const VerifyProvenanceArgs& args, const Streams& streams,
                            const ProvenanceAudit& audit, Step& step) {
  const std::string project_path = shown(args.project);
  step = {"auditing the project ", project_path};
  if (!text::is_directory(args.project)) {
    return input_error(streams,
                       "error: project directory not found or not a directory: " + project_path);
  }
  if (args.corpus && !text::is_directory(*args.corpus)) {
    return input_error(streams,
                       "error: --corpus " + shown(*args.corpus) + " is not an existing directory");
  }

  const provenance::ProvenanceAuditResult result = audit(args.project, args.corpus);

  // The report leaves in pieces as it is written: whole, it can be many times the input's size.
  step = {"writing the report of ", project_path};
  StdoutWriter out(streams);
  provenance::write_audit_report(result,
                                 [&out](std::string_view piece) { return out.write(piece); });
  if (out.failed()) return kExitInputError;

  step = {"printing the outcome of ", project_path};
  const provenance::ValidatorReport& report = result.report;
  streams.err("provenance audit: total=" + std::to_string(report.total) + " derived=" +
              std::to_string(report.derived) + " assumption=" + std::to_string(report.assumption) +
              " rejected=" + std::to_string(report.rejected) +
              " synthesizedCorpus=" + flag_text(result.synthesized_corpus) + " brdNotFound=" +
              flag_text(result.brd_not_found) + " corpusEmpty=" + flag_text(result.corpus_empty) +
              " corpusSource=" + std::string(provenance::corpus_source_name(result.corpus_source)) +
              "\n");

  if (report.validator_panic) {
    streams.err("error: validator panic (fail-closed) -- " +
                text::shown_value(*report.validator_panic) + "\n");
    return kExitVerdictFailed;
  }
  if (args.fail_on_rejected && result.brd_not_found) {
    streams.err(
        "provenance verification FAILED: no BRD found under the project; nothing was verified "
        "(--fail-on-rejected)\n");
    return kExitVerdictFailed;
  }
  if (args.fail_on_rejected && result.brd_unreadable && result.brd_path) {
    streams.err("provenance verification FAILED: the BRD " + shown(*result.brd_path) +
                " could not be read; nothing was verified (--fail-on-rejected)\n");
    return kExitVerdictFailed;
  }
  if (args.fail_on_rejected && report.rejected > 0) {
    streams.err("provenance verification FAILED: " + std::to_string(report.rejected) +
                " rejected claim(s) (--fail-on-rejected)\n");
    return kExitVerdictFailed;
  }
  return kExitOk;
}

}  // namespace

int run_verify_provenance(const VerifyProvenanceArgs& args, const Streams& streams) {
  return run_verify_provenance(args, streams, provenance::verify_provenance);
}

int run_verify_provenance(const VerifyProvenanceArgs& args, const Streams& streams,
                          const ProvenanceAudit& audit) {
  return run_steps(streams,
                   [&](Step& step) { return verify_provenance_steps(args, streams, audit, step); });
}

int run_command_line(const std::vector<std::string>& argv, const Terminal& terminal,
                     const Streams& streams) {
  std::variant<Cli, ParseExit> parsed = parse_command_line(argv, terminal);
  if (const ParseExit* exit = std::get_if<ParseExit>(&parsed)) {
    // Help and version asked for: written as they are, the exit code is the parser's.
    if (!exit->out.empty()) static_cast<void>(streams.out(exit->out));
    if (!exit->err.empty()) streams.err(exit->err);
    return exit->code;
  }
  const CliCommand& command = std::get<Cli>(parsed).subcommand;
  if (const auto* certificate_args = std::get_if<VerifyCertificateArgs>(&command)) {
    return run_verify_certificate(*certificate_args, streams);
  }
  return run_verify_provenance(std::get<VerifyProvenanceArgs>(command), streams);
}

}  // namespace fennick::cli
