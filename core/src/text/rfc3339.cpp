#include "text/rfc3339.h"

#include <array>
#include <chrono>
#include <limits>
#include <optional>

#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::text {
namespace {

namespace chr = std::chrono;

enum class ParseError { kInvalid, kTooShort, kTooLong, kOutOfRange, kImpossible };

std::string message(ParseError error) {
  switch (error) {
    case ParseError::kInvalid:
      return "input contains invalid characters";
    case ParseError::kTooShort:
      return "premature end of input";
    case ParseError::kTooLong:
      return "trailing input";
    case ParseError::kOutOfRange:
      return "input is out of range";
    case ParseError::kImpossible:
      return "no possible date and time matching input";
  }
  return "input is out of range";
}

// Years that are read, before and after the offset shift. The range is that of the date-time
// library certificate producers write with, so any timestamp they emit reads here, and every
// instant in it stays far inside 64-bit seconds.
constexpr std::int64_t kMinYear = -262143;
constexpr std::int64_t kMaxYear = 262142;

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;
// The Gregorian calendar repeats every 400 years, which are 146097 days; chrono's year type only
// spans -32767..32767, so dates are computed within one cycle and shifted by whole cycles.
constexpr std::int64_t kYearsPerCycle = 400;
constexpr std::int64_t kDaysPerCycle = 146097;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01, or none when the day does not exist in that month.
std::optional<std::int64_t> days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  const std::int64_t cycles = floor_div(y, kYearsPerCycle);
  const auto year_in_cycle = static_cast<int>(y - cycles * kYearsPerCycle);
  const chr::year_month_day date{chr::year{year_in_cycle}, chr::month{m}, chr::day{d}};
  if (!date.ok()) return std::nullopt;
  return chr::sys_days{date}.time_since_epoch().count() + cycles * kDaysPerCycle;
}

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate civil_from_days(std::int64_t days) {
  const std::int64_t cycles = floor_div(days, kDaysPerCycle);
  const chr::year_month_day date{
      chr::sys_days{chr::days{static_cast<int>(days - cycles * kDaysPerCycle)}}};
  return {static_cast<int>(date.year()) + cycles * kYearsPerCycle,
          static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day())};
}

struct Fields {
  std::int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  std::uint32_t nanos = 0;
  std::int64_t offset = 0;  // seconds east of UTC
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the text with the reading steps of the relaxed grammar. Each step returns the
// error it met, if any.
class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  bool at_end() const { return pos_ >= s_.size(); }
  std::size_t remaining() const { return s_.size() - pos_; }
  char peek() const { return s_[pos_]; }
  std::string_view rest() const { return s_.substr(pos_); }
  void advance(std::size_t n) { pos_ += n; }

  void skip_white_space() {
    while (!at_end()) {
      std::size_t next = pos_;
      char32_t cp = 0;
      if (!next_code_point(s_, next, cp) || !is_white_space(cp)) return;
      pos_ = next;
    }
  }

  // Between 1 and max_digits ASCII digits; stops at the first other byte.
  std::optional<ParseError> number(std::size_t max_digits, std::int64_t& value,
                                   std::size_t* consumed = nullptr) {
    if (at_end()) return ParseError::kTooShort;
    std::int64_t n = 0;
    std::size_t i = 0;
    for (; i < max_digits && pos_ + i < s_.size() && is_digit(s_[pos_ + i]); ++i) {
      const int digit = s_[pos_ + i] - '0';
      if (n > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
        return ParseError::kOutOfRange;
      }
      n = n * 10 + digit;
    }
    if (i == 0) return ParseError::kInvalid;
    pos_ += i;
    value = n;
    if (consumed != nullptr) *consumed = i;
    return std::nullopt;
  }

  // White space, then 1 or 2 digits within [low, high].
  std::optional<ParseError> field(unsigned low, unsigned high, unsigned& out) {
    skip_white_space();
    std::int64_t value = 0;
    if (const auto error = number(2, value)) return error;
    if (value < low || value > high) return ParseError::kOutOfRange;
    out = static_cast<unsigned>(value);
    return std::nullopt;
  }

  // White space, then the separator character.
  std::optional<ParseError> literal(char c) {
    skip_white_space();
    if (at_end()) return ParseError::kTooShort;
    if (peek() != c) return ParseError::kInvalid;
    advance(1);
    return std::nullopt;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

// Up to four digits, or a sign and any number of digits.
std::optional<ParseError> read_year(Reader& r, std::int64_t& year) {
  r.skip_white_space();
  std::int64_t value = 0;
  if (!r.at_end() && (r.peek() == '+' || r.peek() == '-')) {
    const bool negative = r.peek() == '-';
    r.advance(1);
    if (const auto error = r.number(std::numeric_limits<std::size_t>::max(), value)) return error;
    if (negative) value = -value;
  } else if (const auto error = r.number(4, value)) {
    return error;
  }
  // Far beyond the supported years; the exact bound is checked once the whole text is read.
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return ParseError::kOutOfRange;
  }
  year = value;
  return std::nullopt;
}

// "." and at least one digit; digits after the ninth are read and ignored.
std::optional<ParseError> read_fraction(Reader& r, std::uint32_t& nanos) {
  if (r.at_end() || r.peek() != '.') return std::nullopt;
  r.advance(1);
  std::int64_t value = 0;
  std::size_t digits = 0;
  if (const auto error = r.number(9, value, &digits)) return error;
  for (std::size_t i = digits; i < 9; ++i) value *= 10;
  nanos = static_cast<std::uint32_t>(value);
  while (!r.at_end() && is_digit(r.peek())) r.advance(1);
  return std::nullopt;
}

// "Z", "UTC" in any case, or a sign (+, - or U+2212 MINUS SIGN), two hour digits, any run of ':'
// and white space, two minute digits.
std::optional<ParseError> read_offset(Reader& r, std::int64_t& offset) {
  r.skip_white_space();
  const std::string_view rest = r.rest();
  if (rest.size() >= 3) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(rest[0]) == 'U' && upper(rest[1]) == 'T' && upper(rest[2]) == 'C') {
      r.advance(3);
      offset = 0;
      return std::nullopt;
    }
  }
  if (rest.empty()) return ParseError::kTooShort;
  if (rest[0] == 'Z' || rest[0] == 'z') {
    r.advance(1);
    offset = 0;
    return std::nullopt;
  }
  bool negative = false;
  if (rest[0] == '+' || rest[0] == '-') {
    negative = rest[0] == '-';
    r.advance(1);
  } else if (rest.starts_with("\u2212")) {
    negative = true;
    r.advance(std::string_view("\u2212").size());
  } else {
    return ParseError::kInvalid;
  }

  if (r.remaining() < 2) return ParseError::kTooShort;
  const std::string_view h = r.rest().substr(0, 2);
  if (!is_digit(h[0]) || !is_digit(h[1])) return ParseError::kInvalid;
  const int hours = (h[0] - '0') * 10 + (h[1] - '0');
  r.advance(2);

  while (!r.at_end()) {
    if (r.peek() == ':') {
      r.advance(1);
      continue;
    }
    const std::size_t before = r.remaining();
    r.skip_white_space();
    if (r.remaining() == before) break;
  }

  if (r.remaining() < 2) return ParseError::kTooShort;
  const std::string_view m = r.rest().substr(0, 2);
  if (!is_digit(m[0]) || !is_digit(m[1])) return ParseError::kInvalid;
  if (m[0] > '5') return ParseError::kOutOfRange;
  const int minutes = (m[0] - '0') * 10 + (m[1] - '0');
  r.advance(2);

  const std::int64_t seconds = hours * 3600 + minutes * 60;
  offset = negative ? -seconds : seconds;
  return std::nullopt;
}

std::optional<ParseError> read_fields(std::string_view text, Fields& f) {
  Reader r(text);
  if (const auto e = read_year(r, f.year)) return e;
  if (const auto e = r.literal('-')) return e;
  if (const auto e = r.field(1, 12, f.month)) return e;
  if (const auto e = r.literal('-')) return e;
  if (const auto e = r.field(1, 31, f.day)) return e;

  if (r.at_end()) return ParseError::kTooShort;
  if (r.peek() != 'T' && r.peek() != 't' && r.peek() != ' ') return ParseError::kInvalid;
  r.advance(1);

  if (const auto e = r.field(0, 23, f.hour)) return e;
  if (const auto e = r.literal(':')) return e;
  if (const auto e = r.field(0, 59, f.minute)) return e;
  if (const auto e = r.literal(':')) return e;
  if (const auto e = r.field(0, 60, f.second)) return e;
  if (const auto e = read_fraction(r, f.nanos)) return e;
  if (const auto e = read_offset(r, f.offset)) return e;

  r.skip_white_space();
  if (!r.at_end()) return ParseError::kTooLong;
  return std::nullopt;
}

}  // namespace

fennick::Result<Timestamp> parse_rfc3339(std::string_view text) {
  Fields f;
  if (const auto error = read_fields(text, f)) return Err(message(*error));

  if (f.year < kMinYear || f.year > kMaxYear) return Err(message(ParseError::kOutOfRange));
  const std::optional<std::int64_t> days = days_from_civil(f.year, f.month, f.day);
  if (!days) return Err(message(ParseError::kOutOfRange));
  if (f.offset <= -kSecondsPerDay || f.offset >= kSecondsPerDay) {
    return Err(message(ParseError::kOutOfRange));
  }

  // Second 60 is held as second 59 plus a whole second of nanoseconds, which survives the shift
  // by the offset unchanged.
  const bool leap = f.second == 60;
  const std::int64_t local = *days * kSecondsPerDay + f.hour * 3600 + f.minute * 60 +
                             (leap ? 59 : static_cast<std::int64_t>(f.second));
  const std::int64_t utc = local - f.offset;
  const std::int64_t min_utc = *days_from_civil(kMinYear, 1, 1) * kSecondsPerDay;
  const std::int64_t max_utc =
      *days_from_civil(kMaxYear, 12, 31) * kSecondsPerDay + kSecondsPerDay - 1;
  if (utc < min_utc || utc > max_utc) return Err(message(ParseError::kImpossible));
  return Timestamp{utc, f.nanos + (leap ? kNanosPerSecond : 0)};
}

std::string_view format_rfc3339(std::array<char, kRfc3339MaxChars>& buffer, const Timestamp& t) {
  char* out = buffer.data();
  const auto two = [&out](std::int64_t v) {
    *out++ = static_cast<char>('0' + v / 10);
    *out++ = static_cast<char>('0' + v % 10);
  };
  // Digits of v, at least `width` of them (zero-padded on the left).
  const auto digits = [&out](std::uint64_t v, int width) {
    char reversed[20];
    int n = 0;
    do {
      reversed[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    for (int pad = n; pad < width; ++pad) *out++ = '0';
    while (n > 0) *out++ = reversed[--n];
  };

  const std::int64_t days = floor_div(t.seconds, kSecondsPerDay);
  const std::int64_t remainder = t.seconds % kSecondsPerDay;  // no multiplication: no overflow
  const std::int64_t second_of_day = remainder < 0 ? remainder + kSecondsPerDay : remainder;
  const CivilDate date = civil_from_days(days);

  if (date.year >= 0 && date.year <= 9999) {
    two(date.year / 100);
    two(date.year % 100);
  } else {
    *out++ = date.year < 0 ? '-' : '+';
    // Negated as unsigned: the magnitude of any year derived from 64-bit seconds fits.
    const std::uint64_t magnitude = date.year < 0 ? 0 - static_cast<std::uint64_t>(date.year)
                                                  : static_cast<std::uint64_t>(date.year);
    digits(magnitude, 4);
  }
  *out++ = '-';
  two(date.month);
  *out++ = '-';
  two(date.day);
  *out++ = 'T';
  two(second_of_day / 3600);
  *out++ = ':';
  two(second_of_day / 60 % 60);
  *out++ = ':';
  // A leap second is held as second 59 with an extra whole second of nanoseconds.
  const bool leap = t.nanos >= kNanosPerSecond;
  two(second_of_day % 60 + (leap ? 1 : 0));

  const std::uint32_t fraction = t.nanos % kNanosPerSecond;
  if (fraction != 0) {
    std::uint32_t value = fraction;
    int width = 9;
    if (fraction % 1'000'000 == 0) {
      value = fraction / 1'000'000;
      width = 3;
    } else if (fraction % 1'000 == 0) {
      value = fraction / 1'000;
      width = 6;
    }
    *out++ = '.';
    digits(value, width);
  }
  *out++ = 'Z';
  return {buffer.data(), static_cast<std::size_t>(out - buffer.data())};
}

void write_rfc3339(std::string& out, const Timestamp& t) {
  std::array<char, kRfc3339MaxChars> buffer;
  out += format_rfc3339(buffer, t);
}

}  // namespace fennick::text
