#pragma once
// The pull reader: JSON syntax over a byte buffer, with the reading library's error texts and
// positions. Reading stops at the first error, which the parser keeps; every step returns false
// once an error is recorded, so callers propagate with `if (!step) return false;`.
//
// Positions: an error found on the byte just consumed is placed at that byte; an error found by
// looking at the next byte is placed at the next byte. Record-level errors are recorded unplaced
// and placed by the enclosing value reader once it has finished with its closing bracket.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/error.h"
#include "json/text.h"

namespace fennick::json {

struct Number {
  enum class Kind : std::uint8_t { kUnsigned, kNegative, kFloat };
  Kind kind = Kind::kUnsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0.0;
};

// The "found" text of an invalid-type error for a number ("integer `-3`", "floating point `2.5`").
std::string describe_number(const Number& n);

class Value;
// The "found" text of an invalid-type error for a value held in memory: "null",
// "boolean `true`", "integer `5`", "floating point `2.5`", "string \"text\"", "sequence", "map".
std::string describe_found(const Value& v);

class Parser {
 public:
  // Nesting allowed for values read into records, lists, maps and free-form values.
  static constexpr int kDepthLimit = 128;

  explicit Parser(std::string_view input) : in_(input) {}
  // Reads a kept text: strings read as Text view it instead of copying their bytes.
  explicit Parser(KeptText kept) : in_(kept.view()), kept_(std::move(kept)) {}

  // --- bytes -------------------------------------------------------------------------------
  int peek() const { return pos_ < in_.size() ? static_cast<unsigned char>(in_[pos_]) : -1; }
  void eat() { ++pos_; }
  // Skips blank, tab, line feed and carriage return; returns the next byte or -1 at the end.
  int peek_ws();
  std::size_t offset() const { return pos_; }
  // Moves to `offset`, a place this parser has already passed (for second passes over text
  // already checked).
  void seek(std::size_t offset) { pos_ = offset; }
  // The input bytes [begin, end) as a Text: a view of the kept text, or a copy when none is kept.
  Text slice(std::size_t begin, std::size_t end) const {
    return Text::view_of(kept_, in_.substr(begin, end - begin));
  }
  std::string_view input() const { return in_; }

  // --- errors ------------------------------------------------------------------------------
  // Each returns false. `fail_here` places the error at the byte last consumed, `fail_peek` at
  // the next byte, `fail_unplaced` leaves it for `place_error` of an enclosing reader.
  bool fail_here(std::string message);
  bool fail_peek(std::string message);
  bool fail_unplaced(std::string message);
  // Places an unplaced error at the byte last consumed.
  void place_error();
  bool failed() const { return failed_; }
  const Error& error() const { return error_; }
  Error take_error() { return std::move(error_); }

  // "invalid type: {found}, expected {expected}" for the value that starts at the next byte;
  // scalars are consumed first so that the error stands after them, "[" and "{" are not.
  bool fail_invalid_type(std::string_view expected);

  // --- syntax ------------------------------------------------------------------------------
  // The rest of `null`, `true` or `false` after its first byte was consumed.
  bool parse_ident(std::string_view rest);
  // The body of a string whose opening quote was consumed; the text with escapes resolved.
  // Kept strings must be valid UTF-8 and must not hold lone surrogate escapes.
  bool parse_string(std::string& out);
  // The same string as a Text: a view of the kept input when it holds no escape (or a copy
  // when the parser reads no kept text), else the decoded text in a block of its own.
  bool parse_text(Text& out);
  // The same syntax for a string that is not kept: no UTF-8 or surrogate checks.
  bool ignore_string();
  // A number whose "-" (for a negative number) has been consumed.
  bool parse_number(bool positive, Number& out);
  // Skips one whole value of any depth without recursion and without the depth limit.
  bool ignore_value();
  // Reads a value that does not open a list or map with the checks of a kept value, keeping
  // nothing (`scratch` takes a string); the caller dispatches "[" and "{" itself.
  bool check_scalar(std::string& scratch);
  // Nothing but whitespace may follow the document.
  bool end_document();

  // How many elements (or members) the array (or object) that opens at the next byte seems to
  // hold, and how many bytes it spans, found by a quick pass over its brackets, quotes and commas
  // that checks nothing else: a hint for sizing what the reader fills, never a judgement of the
  // text.
  struct Extent {
    std::size_t elements = 0;
    std::size_t bytes = 0;
  };
  Extent count_elements() const;

  // Depth accounting around a nested array or object about to be entered at the next byte.
  bool enter();
  void leave() { ++remaining_depth_; }
  // Lifts the depth limit (for readers that bound their own nesting).
  void disable_depth_limit() { depth_limit_ = false; }

  // The closing step after the members of an array or object were read. When `ok` is false an
  // error is already recorded: the same bytes are consumed but no new error is recorded.
  bool end_seq(bool ok);
  bool end_map(bool ok);

  // Separator handling shared by every array and object reader (the reading library's
  // element and key access). Each returns false on error; `*done` tells the end of the body.
  bool next_element(bool& first, bool& done);
  bool next_key(bool& first, bool& done);  // on success, not done: next byte is the opening quote
  bool parse_colon();

 private:
  bool ignore_number();
  bool ignore_decimal();
  bool ignore_exponent();
  bool parse_escape(std::string& out, bool validate);
  bool decode_hex_escape(std::uint16_t& out);
  bool parse_decimal_or_exponent(bool positive, std::size_t start, Number& out);
  bool set_error(std::string message, std::size_t index, bool placed);

  std::string_view in_;
  KeptText kept_;  // owner of in_'s bytes, or none
  std::size_t pos_ = 0;
  int remaining_depth_ = kDepthLimit;
  bool depth_limit_ = true;
  bool failed_ = false;
  bool placed_ = false;
  Error error_;
};

}  // namespace fennick::json
