// Compact JWS verification against the fixed key set of keys.h. Property: a JWS that verifies
// carries the expected header and names the sound key, since nothing else can produce a valid
// signature.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "certificate/countersign.h"
#include "check.h"
#include "keys.h"

namespace {

constexpr std::string_view kTyp = "torvane-cert-countersign+jws";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fennick::certificate::PlatformJwks jwks = fennick::fuzz::fixed_key_set();
  const auto verified =
      fennick::certificate::verify_compact_jws(fennick::fuzz::as_text(data, size), jwks, kTyp);
  if (verified.ok()) {
    FENNICK_FUZZ_CHECK(verified->header.alg == "EdDSA");
    FENNICK_FUZZ_CHECK(verified->header.typ == kTyp);
    FENNICK_FUZZ_CHECK(verified->header.kid == "k1");
  } else {
    FENNICK_FUZZ_CHECK(!verified.error().to_string().empty());
  }
  return 0;
}
