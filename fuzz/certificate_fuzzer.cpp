// The certificate reader and the canonical writer. Properties: every certificate that reads
// writes, and its canonical text reads back to a certificate whose canonical text is the same
// bytes (the hash and signature steps rely on that text being a fixed point).

#include <cstddef>
#include <cstdint>

#include "certificate/canonical.h"
#include "certificate/records.h"
#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fennick::certificate::read_certificate_json;
  using fennick::certificate::write_certificate_json;

  const auto certificate = read_certificate_json(fennick::fuzz::as_text(data, size));
  if (!certificate.ok()) return 0;
  const auto text = write_certificate_json(*certificate);
  FENNICK_FUZZ_CHECK(text.ok());
  const auto again = read_certificate_json(*text);
  FENNICK_FUZZ_CHECK(again.ok());
  const auto text_again = write_certificate_json(*again);
  FENNICK_FUZZ_CHECK(text_again.ok());
  FENNICK_FUZZ_CHECK(*text_again == *text);
  return 0;
}
