#pragma once
// A free-form value kept as its JSON text, checked when it was read: a view into the document it
// came from, so a large value costs its holder no more than a Text. Its compact form is written
// by one pass over that text; a tree (Value) is built only on request, for small values.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "json/error.h"
#include "json/output.h"
#include "json/parser.h"
#include "json/text.h"
#include "json/value.h"
#include "result.h"

namespace fennick::json {

class RawValue {
 public:
  // null.
  RawValue() = default;
  // The value's compact text, so that code sets a free-form member as it would set a Value.
  RawValue(const Value& value);
  // `text` holds exactly one value that the reader checked (read_raw_value, parse_raw_value).
  static RawValue of_checked_text(Text text);

  // The value's text as read ("null" for a default value).
  std::string_view text() const { return text_.empty() ? std::string_view("null") : text_.view(); }
  bool is_null() const { return text() == "null"; }
  bool is_object() const { return text().front() == '{'; }
  bool is_array() const { return text().front() == '['; }

  // The value as a tree. Costs many times the text: for small values and for tests.
  Value to_value() const;
  operator Value() const { return to_value(); }

  // Member of an object (a repeated name keeps its last value), or none when this is no object
  // or has no such member. The member views the same text.
  std::optional<RawValue> get(std::string_view key) const;
  // Each member of an object in the order written (repeats included), or each element of an
  // array; nothing for any other value. The members view the same text.
  void for_each_member(const std::function<void(std::string_view, RawValue)>& visit) const;
  void for_each_element(const std::function<void(RawValue)>& visit) const;
  // The decoded string, when this is a string.
  std::optional<std::string> as_string() const;
  // An integer that fits unsigned 64 bits (never a floating-point number, even a whole one).
  std::optional<std::uint64_t> as_u64() const;

  // Equal when their compact texts are.
  friend bool operator==(const RawValue& a, const RawValue& b);
  friend bool operator==(const RawValue& a, const Value& b);

 private:
  friend void write_raw_value(Output& out, const RawValue& value);
  RawValue part(std::string_view slice) const;
  Text text_;             // empty: null
  bool compact_ = false;  // text_ is already the compact form (set from a Value)
};

// Reads one free-form value at the parser's position with exactly the checks, messages and
// positions of read_value (depth limit, UTF-8 of strings and keys, number range), building
// nothing: the value keeps its slice of the parser's text.
bool read_raw_value(Parser& p, RawValue& out);

// The same for a value that must be an object, read as a map of free-form values is read (a
// value of another kind is "invalid type: ..., expected a map").
bool read_raw_object(Parser& p, RawValue& out);

// A whole document as a free-form value; its text is kept (copied once).
Result<RawValue, Error> parse_raw_value(std::string text);

// The compact form, as write_value writes the same value's tree: object members in ascending
// byte order of the name, a repeated name keeping its last value, numbers and strings rewritten.
void write_raw_value(Output& out, const RawValue& value);
void write_raw_value(std::string& out, const RawValue& value);

}  // namespace fennick::json
