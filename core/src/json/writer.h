#pragma once
// Compact JSON writing: the canonical text on which hashes and signatures rest.

#include <cstdint>
#include <string>
#include <string_view>

#include "json/output.h"
#include "json/value.h"

namespace fennick::json {

// Each writer appends one value to an Output; the std::string overloads append to a string.

// A JSON string: quote, backslash and the control characters escaped, everything else as is.
void write_string(Output& out, std::string_view text);
void write_string(std::string& out, std::string_view text);
void write_u64(Output& out, std::uint64_t n);
void write_u64(std::string& out, std::uint64_t n);
void write_i64(Output& out, std::int64_t n);
void write_i64(std::string& out, std::int64_t n);
// Shortest round-trip text: "1000000000000000.0", "0.001", "1e20", "1.5e-7", "-0.0".
void write_f64(Output& out, double d);
void write_f64(std::string& out, double d);
std::string format_f64(double d);
void write_bool(Output& out, bool b);
void write_bool(std::string& out, bool b);
// Compact, object members in ascending byte order of the name.
void write_value(Output& out, const Value& v);
void write_value(std::string& out, const Value& v);

}  // namespace fennick::json
