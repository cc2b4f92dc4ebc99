// The JSON pull reader through its free-form entry points. Properties: a document that reads
// writes back to text that reads to the same value and writes to the same text; the pruned reader
// agrees with the full reader wherever the full reader's depth limit is not reached; pruned levels
// are checked for syntax only (as skipped values are: no UTF-8, number-range or surrogate checks),
// so pruning more never rejects what pruning less accepts; a value kept as text reads exactly as
// the full reader reads it (same error, or the same compact text).

#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "json/raw_value.h"
#include "json/read.h"
#include "json/writer.h"

namespace {

using fennick::json::parse_value;
using fennick::json::parse_value_pruned;
using fennick::json::write_value;

// Beyond the full reader's 127 levels, so that the pruned reader keeps whatever it accepts.
constexpr std::size_t kKeepEverything = 130;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fennick::fuzz::as_text(data, size);

  const auto full = parse_value(input);
  const auto kept = parse_value_pruned(input, kKeepEverything);
  const auto shallow = parse_value_pruned(input, 1);
  if (kept.ok()) FENNICK_FUZZ_CHECK(shallow.ok());
  const auto raw = fennick::json::parse_raw_value(std::string(input));
  FENNICK_FUZZ_CHECK(raw.ok() == full.ok());
  if (!full.ok()) {
    FENNICK_FUZZ_CHECK(raw.error().to_string() == full.error().to_string());
    return 0;
  }

  FENNICK_FUZZ_CHECK(kept.ok());
  FENNICK_FUZZ_CHECK(*kept == *full);

  std::string text;
  write_value(text, *full);
  const auto again = parse_value(text);
  FENNICK_FUZZ_CHECK(again.ok());
  FENNICK_FUZZ_CHECK(*again == *full);
  std::string text_again;
  write_value(text_again, *again);
  FENNICK_FUZZ_CHECK(text_again == text);
  std::string raw_text;
  fennick::json::write_raw_value(raw_text, *raw);
  FENNICK_FUZZ_CHECK(raw_text == text);
  return 0;
}
