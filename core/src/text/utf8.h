#pragma once
// UTF-8 validation, decoding and the lossy display form of byte strings.

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick::text {

bool is_valid_utf8(std::string_view bytes);

// Decodes the scalar value that starts at `pos` and advances `pos` past it. On an invalid
// sequence returns false and advances `pos` past its maximal invalid subpart (at least one byte),
// so that a loop over the text always makes progress. At or after the end returns false and
// leaves `pos` unchanged.
bool next_code_point(std::string_view s, std::size_t& pos, char32_t& cp);

// Appends the UTF-8 form of `cp`; a surrogate or a value above U+10FFFF appends U+FFFD.
void append_utf8(std::string& out, char32_t cp);

// Replaces each maximal invalid subpart by one U+FFFD (the Unicode / WHATWG practice), leaving
// valid text unchanged. Used to display paths, which are byte strings.
std::string lossy_utf8(std::string_view bytes);

}  // namespace fennick::text
