#include "crypto/keyed_hash.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace fennick::crypto {
namespace {

std::uint64_t little_endian_word(const unsigned char* p) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < 8; ++i) word |= std::uint64_t{p[i]} << (8 * i);
  return word;
}

HashKey draw_hash_key() {
  std::array<unsigned char, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      const std::string reason = got < 0 ? std::strerror(errno) : "no bytes returned";
      throw std::runtime_error("cannot key the hash tables: getrandom: " + reason);
    }
  }
  return hash_key_from_bytes(bytes);
}

}  // namespace

HashKey hash_key_from_bytes(const std::array<unsigned char, 16>& bytes) {
  return HashKey{little_endian_word(bytes.data()), little_endian_word(bytes.data() + 8)};
}

const HashKey& run_hash_key() {
  // Immutable once drawn; a draw that threw is tried again on the next call.
  static const HashKey key = draw_hash_key();
  return key;
}

std::uint64_t siphash24(const HashKey& key, std::string_view bytes) {
  SipHasher24 hasher(key);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t whole = bytes.size() / 8 * 8;
  for (std::size_t pos = 0; pos < whole; pos += 8) hasher.add_word(little_endian_word(p + pos));
  std::uint64_t tail = 0;
  for (std::size_t i = whole; i < bytes.size(); ++i)
    tail |= std::uint64_t{p[i]} << (8 * (i - whole));
  return hasher.finish_with(tail, bytes.size() - whole);
}

}  // namespace fennick::crypto
