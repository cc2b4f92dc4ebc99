#pragma once
// SHA-256 digests and their text form: 64 lower-case hexadecimal characters, no prefix.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace fennick::crypto {

std::array<std::uint8_t, 32> sha256(std::string_view bytes);

// The digest text that every content hash in the system is compared as, byte for byte.
std::string sha256_hex(std::string_view bytes);

std::string hex_lower(std::span<const std::uint8_t> bytes);

// Incremental hashing for inputs read in pieces (artifact files). After finish() the object
// starts over, empty, so it can hash the next input.
class Sha256 {
 public:
  Sha256();
  Sha256(Sha256&&) noexcept = default;
  Sha256& operator=(Sha256&&) noexcept = default;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256() = default;

  void update(std::string_view bytes);
  std::array<std::uint8_t, 32> finish();
  std::string finish_hex();

 private:
  struct ContextDeleter {
    void operator()(evp_md_ctx_st* context) const noexcept;
  };
  std::unique_ptr<evp_md_ctx_st, ContextDeleter> context_;
};

}  // namespace fennick::crypto
