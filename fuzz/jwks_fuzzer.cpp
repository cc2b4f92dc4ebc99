// The platform key-set reader (the --platform-jwks file).

#include <cstddef>
#include <cstdint>

#include "certificate/countersign.h"
#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto jwks =
      fennick::certificate::read_platform_jwks_json(fennick::fuzz::as_text(data, size));
  if (!jwks.ok()) FENNICK_FUZZ_CHECK(!jwks.error().message.empty());
  return 0;
}
