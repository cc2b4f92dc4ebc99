#pragma once
// Values from the inputs as fennick's messages show them. A producer controls these values, so a
// message shows at most kShownValueBytes of each, and never a character that could start a line,
// rewrite one on a terminal or reorder its text: a value can neither flood a stream nor forge a
// line that fennick did not write.

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick::text {

// Bytes of a value shown whole; a longer value is cut at a character boundary at or below this.
inline constexpr std::size_t kShownValueBytes = 1024;

// The part of a value that a message shows, and how many bytes of the value were left out.
struct CutValue {
  std::string_view kept;
  std::size_t left_out = 0;
};

// The value whole when it holds at most kShownValueBytes bytes, otherwise its longest prefix of at
// most that many bytes that ends at a character boundary (an invalid byte counts as a character).
CutValue cut_for_display(std::string_view value);

// "...[N byte(s) left out]", the one marker that follows every cut value; empty when nothing was
// left out.
std::string omission_marker(std::size_t left_out);

// True for the characters that a shown value never holds as they are: the C0 controls, DEL, the
// C1 controls and the bidirectional embedding, override and isolate controls (U+202A to U+202E,
// U+2066 to U+2069).
bool is_escaped_in_display(char32_t c);

// The text with every character of is_escaped_in_display written as the debug quoting writes it
// (\0, \t, \r, \n, else \u{hex}), without quotes, and bytes that are not UTF-8 as U+FFFD;
// everything else unchanged. Nothing is cut: apply it to the kept part of a cut value.
std::string escaped_for_display(std::string_view text);

// The value as a message shows it: cut as above, escaped_for_display, followed by the marker. An
// ordinary value is shown exactly as it stands.
std::string shown_value(std::string_view value);

// The value cut as above, in the debug quoting of quote.h, followed by the marker.
std::string shown_quoted(std::string_view value);

}  // namespace fennick::text
