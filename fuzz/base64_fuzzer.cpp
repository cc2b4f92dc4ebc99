// The strict base64 decoders. Property: strictness means one accepted text per byte string, so
// whatever decodes must encode back to exactly the text that was decoded.

#include <cstddef>
#include <cstdint>

#include "check.h"
#include "crypto/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fennick::crypto;
  const std::string_view text = fennick::fuzz::as_text(data, size);

  if (const auto bytes = decode_base64_standard(text); bytes.ok()) {
    FENNICK_FUZZ_CHECK(encode_base64_standard(*bytes) == text);
  } else {
    FENNICK_FUZZ_CHECK(!bytes.error().empty());
  }
  if (const auto bytes = decode_base64_url(text); bytes.ok()) {
    FENNICK_FUZZ_CHECK(encode_base64_url(*bytes) == text);
  } else {
    FENNICK_FUZZ_CHECK(!bytes.error().empty());
  }
  return 0;
}
