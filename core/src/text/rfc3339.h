#pragma once
// Relaxed RFC 3339 reading (converting to UTC) and the canonical UTC writing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "result.h"

namespace fennick::text {

// A UTC instant. `nanos` lies in [0, 2e9): a value of 1e9 or more marks a leap second, held as
// second 59 of its minute plus the overflowing nanoseconds and written as second 60.
struct Timestamp {
  std::int64_t seconds = 0;  // Unix seconds
  std::uint32_t nanos = 0;

  bool operator==(const Timestamp&) const = default;
};

// Reads years -262143 to 262142, before and after the offset is applied; the error texts are
// "input contains invalid characters", "premature end of input", "trailing input",
// "input is out of range" and "no possible date and time matching input".
fennick::Result<Timestamp> parse_rfc3339(std::string_view text);

// Appends the canonical text (no quotes): four-digit year for 0..9999, otherwise a sign and at
// least four digits; a fraction of 0, 3, 6 or 9 digits; "Z".
void write_rfc3339(std::string& out, const Timestamp& t);

// Room for the longest canonical text: 64-bit seconds reach twelve-digit years.
inline constexpr std::size_t kRfc3339MaxChars = 48;

// The canonical text written into `buffer`, for writers that append to something other than a
// string.
std::string_view format_rfc3339(std::array<char, kRfc3339MaxChars>& buffer, const Timestamp& t);

}  // namespace fennick::text
