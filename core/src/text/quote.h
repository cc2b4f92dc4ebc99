#pragma once
// Text quoted for a message the way the reading library's debug rendering shows it.

#include <string>
#include <string_view>

namespace fennick::text {

// In double quotes; a backslash before '"' and '\'; \t \r \n \0 for those characters; \u{hex}
// (lower-case, no leading zeros) for grapheme extenders and non-printable characters (controls,
// format, surrogate, private-use, unassigned and separator characters, the blank excepted).
// Bytes that are not UTF-8 are shown as U+FFFD.
std::string debug_quote(std::string_view text);

// Appends one character as debug_quote writes it inside the quotes: `bytes` are its bytes in the
// text, `valid` false for an invalid UTF-8 sequence, `c` its code point otherwise.
void append_debug_quoted_character(std::string& out, std::string_view bytes, char32_t c,
                                   bool valid);

// Appends the escape that debug_quote writes for a character it escapes other than '"' and '\':
// \0, \t, \r, \n, else \u{hex}.
void append_debug_escape(std::string& out, char32_t c);

}  // namespace fennick::text
