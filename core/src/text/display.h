#pragma once
// Values from the inputs as fennick's messages show them. A producer controls these values, so a
// message shows at most kShownValueBytes of each, and never a character that could start a line,
// rewrite one on a terminal, reorder its text or hide in it: a value can neither flood a stream
// nor forge a line that fennick did not write.

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick::text {

// Bytes of a value's shown text, escapes included; a longer one is cut with one marker.
inline constexpr std::size_t kShownValueBytes = 1024;

// "...[N byte(s) left out]", the one marker that follows every cut value; empty when nothing was
// left out. N counts bytes of the value itself, not of its shown text.
std::string omission_marker(std::size_t left_out);

// True for the characters that a shown value never holds as they are: the C0 controls, DEL, the
// C1 controls and every character of the general categories Cf (format: the bidirectional
// controls, zero-width characters, U+FEFF, the soft hyphen...), Zl and Zp (U+2028, U+2029, which
// line-breaking renderers start a new line at).
bool is_escaped_in_display(char32_t c);

// How one character of a value is shown: appends to `out` the shown form of the character whose
// bytes in the value are `bytes`; `valid` is false for an invalid UTF-8 sequence, and `c` is its
// code point otherwise.
using ShowCharacter = void (*)(std::string& out, std::string_view bytes, char32_t c, bool valid);

// The shown form of messages: a character of is_escaped_in_display as the debug quoting writes
// it (\0, \t, \r, \n, else \u{hex}), an invalid sequence as U+FFFD, anything else unchanged.
void append_display_character(std::string& out, std::string_view bytes, char32_t c, bool valid);

// Appends `value` shown character by character through `show`, as long as the text appended
// stays within kShownValueBytes: the cut falls between two characters' shown forms, never inside
// an escape or a UTF-8 sequence. Returns the number of bytes of `value` left out (0 when whole);
// the caller follows the text with omission_marker of it.
std::size_t append_shown(std::string& out, std::string_view value, ShowCharacter show);

// The value as a message shows it: append_shown with append_display_character, followed by the
// marker. An ordinary value is shown exactly as it stands.
std::string shown_value(std::string_view value);

// The value in the debug quoting of quote.h, followed by the marker. The escapes count toward
// kShownValueBytes, the two quotes that frame the value do not.
std::string shown_quoted(std::string_view value);

}  // namespace fennick::text
