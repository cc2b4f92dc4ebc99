// The relaxed RFC 3339 reader and the canonical writer. Property: an accepted text names one
// instant, and the canonical text of that instant reads back to the same instant.

#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "text/rfc3339.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fennick::text;

  const auto stamp = parse_rfc3339(fennick::fuzz::as_text(data, size));
  if (!stamp.ok()) return 0;
  FENNICK_FUZZ_CHECK(stamp->nanos < 2'000'000'000u);
  std::string text;
  write_rfc3339(text, *stamp);
  const auto again = parse_rfc3339(text);
  FENNICK_FUZZ_CHECK(again.ok());
  FENNICK_FUZZ_CHECK(*again == *stamp);
  return 0;
}
