#include "provenance/tokens.h"

#include <algorithm>

#include "text/split.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::provenance {

bool is_stop_word(std::string_view token) {
  return std::find(kStopWords.begin(), kStopWords.end(), token) != kStopWords.end();
}

std::string_view trim_non_alphanumeric(std::string_view token) {
  // One forward pass: UTF-8 cannot be decoded backwards safely when it may be ill-formed.
  std::size_t begin = 0;
  std::size_t end = 0;
  bool found = false;
  std::size_t pos = 0;
  while (pos < token.size()) {
    const std::size_t start = pos;
    const auto byte = static_cast<unsigned char>(token[pos]);
    bool alphanumeric = false;
    if (byte < 0x80) {
      ++pos;
      alphanumeric = text::is_ascii_alphanumeric(byte);
    } else {
      char32_t cp = 0;
      alphanumeric = text::next_code_point(token, pos, cp) && text::is_alphanumeric(cp);
    }
    if (alphanumeric) {
      if (!found) begin = start;
      found = true;
      end = pos;
    }
  }
  return token.substr(begin, end - begin);
}

std::vector<std::string> normalised_tokens(std::string_view text) {
  const std::string folded = text::nfc(text::to_lower(text));
  std::vector<std::string> tokens;
  text::for_each_piece(
      folded, [](char32_t cp) { return cp == U'-' || text::is_white_space(cp); },
      [&tokens](std::string_view piece) {
        const std::string_view token = trim_non_alphanumeric(piece);
        if (!token.empty() && !is_stop_word(token)) tokens.emplace_back(token);
      });
  std::sort(tokens.begin(), tokens.end());
  tokens.erase(std::unique(tokens.begin(), tokens.end()), tokens.end());
  return tokens;
}

std::string token_fingerprint(std::string_view text) {
  std::string joined;
  for (const std::string& token : normalised_tokens(text)) {
    if (!joined.empty()) joined += ' ';
    joined += token;
  }
  return crypto::sha256_hex(joined);
}

std::string quote_hash(std::string_view text) {
  const std::string composed = text::nfc(text);
  std::string joined;
  joined.reserve(composed.size());
  bool first = true;
  text::for_each_piece(composed, text::is_white_space, [&](std::string_view piece) {
    if (piece.empty()) return;
    if (!first) joined += ' ';
    first = false;
    joined += piece;
  });
  return crypto::sha256_hex(joined);
}

}  // namespace fennick::provenance
