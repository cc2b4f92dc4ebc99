#include "certificate/bindings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "crypto/sha256.h"
#include "result.h"
#include "text/fs.h"
#include "text/utf8.h"

namespace fennick::certificate {
namespace {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Hashes a file while reading it, so that a large BOM is never held in memory at once. The
// errors are those of a whole-file read (text::read_file).
Result<std::string> sha256_hex_of_file(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    return Err(std::string("file name contained an unexpected NUL byte"));
  }
  const ReadOnlyFile file(path);
  if (file.get() < 0) return Err(text::os_error_text(errno));
  crypto::Sha256 hasher;
  std::string buffer(256 * 1024, '\0');
  while (true) {
    const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
    if (n > 0) {
      hasher.update(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    } else if (n == 0) {
      return hasher.finish_hex();
    } else if (errno != EINTR) {
      return Err(text::os_error_text(errno));
    }
  }
}

SbomBindingStatus unreadable(const std::string& path, std::string error) {
  SbomBindingStatus status;
  status.kind = SbomBindingStatus::Kind::kUnreadable;
  status.path = text::lossy_utf8(path);
  status.error = std::move(error);
  return status;
}

SbomBindingStatus mismatch(SbomBindingStatus::Kind kind, const std::string& claimed,
                           std::string actual) {
  SbomBindingStatus status;
  status.kind = kind;
  status.claimed = claimed;
  status.actual = std::move(actual);
  return status;
}

}  // namespace

CorpusBindingStatus check_corpus_binding(const std::optional<CorpusBinding>& binding,
                                         const std::optional<std::string>& attestation) {
  CorpusBindingStatus status;
  if (!binding) return status;
  if (!attestation) {
    status.kind = CorpusBindingStatus::Kind::kUnverified;
    return status;
  }
  std::string actual = crypto::sha256_hex(*attestation);
  if (actual == binding->corpus_attestation_hash) {
    status.kind = CorpusBindingStatus::Kind::kVerified;
    return status;
  }
  status.kind = CorpusBindingStatus::Kind::kMismatch;
  status.claimed = binding->corpus_attestation_hash;
  status.actual = std::move(actual);
  return status;
}

SbomBindingStatus check_sbom_binding(const std::optional<SbomArtifactBinding>& binding,
                                     const std::optional<std::string>& sbom_dir) {
  SbomBindingStatus status;
  if (!binding) return status;
  if (!sbom_dir) {
    status.kind = SbomBindingStatus::Kind::kUnverified;
    return status;
  }

  const std::string bom_path = text::join_path(*sbom_dir, kSbomBomPath);
  Result<std::string> bom = sha256_hex_of_file(bom_path);
  if (!bom) return unreadable(bom_path, std::move(bom).error());
  if (*bom != binding->bom_hash) {
    return mismatch(SbomBindingStatus::Kind::kBomMismatch, binding->bom_hash, std::move(*bom));
  }

  const std::string audit_path = text::join_path(*sbom_dir, kSbomAuditPath);
  Result<std::string> audit = sha256_hex_of_file(audit_path);
  if (!audit) return unreadable(audit_path, std::move(audit).error());
  if (*audit != binding->audit_hash) {
    return mismatch(SbomBindingStatus::Kind::kAuditMismatch, binding->audit_hash,
                    std::move(*audit));
  }

  status.kind = SbomBindingStatus::Kind::kVerified;
  return status;
}

}  // namespace fennick::certificate
