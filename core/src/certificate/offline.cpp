#include "certificate/offline.h"

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate/chain.h"
#include "certificate/file_digest.h"
#include "certificate/hash.h"
#include "crypto/sha256.h"
#include "result.h"
#include "text/display.h"
#include "text/fs.h"

namespace fennick::certificate {
namespace {

// A text kept in the outcome until the end of the run, built at its exact size: one artifact or
// manifest entry can add one error line, so their spare capacity would double the outcome.
std::string concat(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  std::string text;
  text.reserve(size);
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

bool escapes_artifact_dir(std::string_view value) {
  bool escapes = !value.empty() && value.front() == '/';
  std::string_view rest = value;
  while (!escapes && !rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    escapes = component == "..";
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  return escapes;
}

std::string refusal_text(std::string_view label, std::string_view value) {
  std::string refusal = "refusing to read ";
  refusal += label;
  refusal += ' ';
  refusal += text::shown_quoted(value);
  refusal +=
      ": path escapes --artifact-dir (absolute path or `..` traversal in an untrusted "
      "certificate field)";
  return refusal;
}

void check_artifacts(const GovernanceCertificate& certificate, const std::string& artifact_dir,
                     FileDigests& digests, VerificationOutcome& outcome) {
  for (const StageRecord& stage : certificate.stages) {
    if (escapes_artifact_dir(stage.stage_id)) {
      outcome.add_error([&] { return refusal_text("stage id", stage.stage_id); });
      continue;
    }
    // One path buffer per stage: each artifact replaces only the name after the stage
    // directory, so a long stage id is not copied once for every artifact it lists.
    std::string path = text::join_path(text::join_path(artifact_dir, stage.stage_id), "");
    const std::size_t stage_dir_length = path.size();
    // No path below a stage directory longer than the system opens can be read, and each read
    // would scan the whole path again: the system is asked once per stage and its error reused.
    // Only a NUL in a name, refused before any open, gives another error.
    std::optional<std::string> unreachable;
    if (stage_dir_length >= PATH_MAX) {
      if (fennick::Result<std::string> read = digests.sha256_hex(path); !read.ok()) {
        unreachable = std::move(read).error();
      }
    }
    // Shown once per stage, and only when an error of the stage is kept.
    std::optional<std::string> shown_stage_id;
    const auto stage_shown = [&]() -> const std::string& {
      if (!shown_stage_id) shown_stage_id = text::shown_value(stage.stage_id);
      return *shown_stage_id;
    };
    for (const auto& artifact : stage.artifact_hashes) {
      // Named, not structured bindings: lambdas below capture them (clang 14 cannot).
      const auto& name = artifact.first;
      const auto& claimed = artifact.second;
      if (escapes_artifact_dir(name)) {
        outcome.add_error([&] { return refusal_text("artifact name", name); });
        continue;
      }
      fennick::Result<std::string> actual = Err(std::string());
      if (!unreachable) {
        path.resize(stage_dir_length);
        path += name;
        actual = digests.sha256_hex(path);
      } else if (name.view().find('\0') != std::string_view::npos) {
        actual = digests.sha256_hex(name.str());
      } else {
        actual = Err(*unreachable);
      }
      if (!actual.ok()) {
        outcome.add_error([&] {
          return concat({"cannot read artifact ", stage_shown(), "/", text::shown_value(name), ": ",
                         actual.error()});
        });
      } else if (*actual != claimed) {
        outcome.add_error([&] {
          return concat({"artifact hash mismatch: ", stage_shown(), "/", text::shown_value(name),
                         ": expected ", text::shown_value(claimed), ", got ", *actual});
        });
      }
    }
  }
}

void check_chain(const GovernanceCertificate& certificate, const InterStageChainRecord& chain,
                 VerificationOutcome& outcome) {
  if (chain.key_chain.run_id != certificate.pipeline_run_id) {
    outcome.add_error([&] {
      return "inter-stage chain run_id " + text::shown_value(chain.key_chain.run_id) +
             " does not match certificate pipeline_run_id " +
             text::shown_value(certificate.pipeline_run_id);
    });
  }
  const SignerIndex signers(chain.key_chain);
  for (const InterStageManifest& manifest : chain.manifests) {
    if (std::optional<ManifestVerifyError> failed =
            verify_inter_stage_manifest(manifest, signers, std::nullopt)) {
      outcome.add_error([&] {
        return concat({"inter-stage manifest ", text::shown_value(manifest.from_stage), "\u2192",
                       text::shown_value(manifest.to_stage),
                       " failed verification: ", failed->to_string()});
      });
    }
  }
}

}  // namespace

std::optional<std::string> check_confined_path(std::string_view label, std::string_view value) {
  if (!escapes_artifact_dir(value)) return std::nullopt;
  return refusal_text(label, value);
}

VerificationOutcome verify_offline_chain(const GovernanceCertificate& certificate,
                                         const std::optional<std::string>& artifact_dir) {
  FileDigests digests;
  return verify_offline_chain(certificate, artifact_dir, digests);
}

VerificationOutcome verify_offline_chain(const GovernanceCertificate& certificate,
                                         const std::optional<std::string>& artifact_dir,
                                         FileDigests& digests) {
  VerificationOutcome outcome;
  if (std::optional<std::string> failed = check_certificate_signature(certificate)) {
    outcome.add_error(std::move(*failed));
  }
  if (std::optional<std::string> failed = check_certificate_hash(certificate)) {
    outcome.add_error(std::move(*failed));
  }
  if (artifact_dir) check_artifacts(certificate, *artifact_dir, digests, outcome);
  if (certificate.certificate_version != kSupportedCertificateVersion) {
    outcome.add_error([&] {
      return "unsupported certificate version: " +
             text::shown_value(certificate.certificate_version);
    });
  }
  if (certificate.inter_stage_chain)
    check_chain(certificate, *certificate.inter_stage_chain, outcome);
  outcome.ok = outcome.error_count == 0;
  return outcome;
}

}  // namespace fennick::certificate
