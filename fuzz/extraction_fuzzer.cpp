// The extraction-document reader that loads every file of a typed corpus.

#include <cstddef>
#include <cstdint>

#include "check.h"
#include "provenance/extraction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto output =
      fennick::provenance::read_extraction_output(fennick::fuzz::as_text(data, size));
  if (!output.ok()) FENNICK_FUZZ_CHECK(!output.error().message.empty());
  return 0;
}
