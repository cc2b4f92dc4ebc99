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

}  // namespace fennick::text
