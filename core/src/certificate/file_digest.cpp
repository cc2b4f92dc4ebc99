#include "certificate/file_digest.h"

#include <cstddef>
#include <optional>
#include <string_view>

#include "crypto/sha256.h"
#include "text/fs.h"

namespace fennick::certificate {

namespace {
// Large enough that the read calls cost little next to hashing, small enough that memory stays
// flat for a file of any size.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;
}  // namespace

fennick::Result<std::string> file_sha256_hex(const std::string& path) {
  crypto::Sha256 hasher;
  std::optional<std::string> error = text::read_file_chunks(
      path, kReadChunk, [&hasher](std::string_view piece) { hasher.update(piece); });
  if (error) return Err(std::move(*error));
  return hasher.finish_hex();
}

}  // namespace fennick::certificate
