#pragma once
// ICU takes lengths as 32-bit integers, so long texts reach it in pieces. The cut points are chosen
// where neither lower-casing (final sigma looks across case-ignorable characters) nor NFC
// (composition looks across combining marks) looks across, so piecewise results equal whole ones.

#include <cstddef>
#include <string_view>

namespace fennick::text {

// Largest piece handed to ICU: the output of one piece (NFC grows UTF-8 text at most threefold)
// must stay far below 2^31 bytes.
inline constexpr std::size_t kIcuChunkBytes = std::size_t{1} << 28;

// Length of the first piece of `text` (all of it when it fits in max_bytes). The piece ends at a
// code point boundary and is never empty when text is not.
std::size_t icu_chunk_length(std::string_view text, std::size_t max_bytes);

}  // namespace fennick::text
