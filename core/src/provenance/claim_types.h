#pragma once
// Records that a claim carries besides its text: the citations of corpus lines and the assumption
// block. BRD claims never fill them; the validator reads them for claims that do.

#include <compare>
#include <cstdint>
#include <string>

namespace fennick::provenance {

// A calendar date as the assumption expiry holds it; ordered by year, then month, then day.
struct CalendarDate {
  std::int32_t year = 0;
  std::uint32_t month = 0;
  std::uint32_t day = 0;

  auto operator<=>(const CalendarDate&) const = default;
};

// One cited range of a corpus document.
struct Citation {
  std::string source;      // path of the cited corpus document
  std::string reserved;    // carried along; nothing in the audit reads it
  std::string quote_hash;  // expected quote hash of the cited lines, 64 lower-case hex characters
  std::uint32_t line_start = 0;  // first cited line, 1-based
  std::uint32_t line_end = 0;    // last cited line, 1-based, inclusive

  bool operator==(const Citation&) const = default;
};

// A claim accepted on assumption until its expiry date.
struct Assumption {
  CalendarDate expiry;

  bool operator==(const Assumption&) const = default;
};

}  // namespace fennick::provenance
