#include "crypto/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace fennick::crypto {

namespace {

// OpenSSL fails here only when it cannot allocate or has no SHA-256 provider: nothing a
// caller can recover from.
[[noreturn]] void openssl_failed(const char* what) {
  throw std::runtime_error(std::string("OpenSSL SHA-256 failed: ") + what);
}

}  // namespace

std::array<std::uint8_t, 32> sha256(std::string_view bytes) {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    openssl_failed("EVP_Digest");
  }
  return digest;
}

std::string sha256_hex(std::string_view bytes) { return hex_lower(sha256(bytes)); }

std::string hex_lower(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void Sha256::ContextDeleter::operator()(evp_md_ctx_st* context) const noexcept {
  EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (!context_) openssl_failed("EVP_MD_CTX_new");
  if (EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
    openssl_failed("EVP_DigestInit_ex");
  }
}

void Sha256::update(std::string_view bytes) {
  if (!context_) throw std::logic_error("Sha256 used after move");
  if (EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1) {
    openssl_failed("EVP_DigestUpdate");
  }
}

std::array<std::uint8_t, 32> Sha256::finish() {
  if (!context_) throw std::logic_error("Sha256 used after move");
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size()) {
    openssl_failed("EVP_DigestFinal_ex");
  }
  if (EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
    openssl_failed("EVP_DigestInit_ex");
  }
  return digest;
}

std::string Sha256::finish_hex() { return hex_lower(finish()); }

}  // namespace fennick::crypto
