#include "certificate/file_digest.h"

#include <optional>
#include <string_view>
#include <utility>

#include "crypto/sha256.h"

namespace fennick::certificate {

fennick::Result<std::string> FileDigests::sha256_hex(const std::string& path) {
  fennick::Result<text::InputFile> file = text::InputFile::open(path, text::OpenMode::kRegularOnly);
  if (!file) return Err(std::move(file).error());
  const auto known = known_.find(file->identity());
  if (known != known_.end()) return known->second;
  crypto::Sha256 hasher;
  std::optional<std::string> error = file->read_pieces(
      buffer_.span(), [&hasher](std::string_view piece) { hasher.update(piece); });
  if (error) return Err(std::move(*error));
  std::string digest = hasher.finish_hex();
  known_.emplace(file->identity(), digest);
  return digest;
}

}  // namespace fennick::certificate
