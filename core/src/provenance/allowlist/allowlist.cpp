#include "provenance/allowlist/allowlist.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "crypto/sha256.h"
#include "provenance/tokens.h"
#include "text/split.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

constexpr std::string_view kEntitiesKey = "entities:";
constexpr std::string_view kListNameKey = "- name:";
constexpr std::string_view kNameKey = "name:";

bool is_ascii_white_space(unsigned char byte) {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool has_ascii_capital(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Forward scans only: ill-formed UTF-8 cannot be decoded from the end.
std::string_view trim_white_space(std::string_view s) {
  std::size_t begin = s.size();
  std::size_t end = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    const auto byte = static_cast<unsigned char>(s[pos]);
    bool white = false;
    if (byte < 0x80) {
      ++pos;
      white = is_ascii_white_space(byte);
    } else {
      char32_t cp = 0;
      white = text::next_code_point(s, pos, cp) && text::is_white_space(cp);
    }
    if (!white) {
      begin = std::min(begin, start);
      end = pos;
    }
  }
  return begin < end ? s.substr(begin, end - begin) : s.substr(0, 0);
}

bool starts_with_white_space(std::string_view s) {
  if (s.empty()) return false;
  std::size_t pos = 0;
  char32_t cp = 0;
  return text::next_code_point(s, pos, cp) && text::is_white_space(cp);
}

// Cuts at "\n" and drops one "\r" before it; a text ending in "\n" yields no empty last line.
template <class Visit>
void for_each_line(std::string_view s, Visit visit) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t end = s.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? s.size() : end + 1;
    if (end == std::string_view::npos) end = s.size();
    std::string_view line = s.substr(pos, end - pos);
    if (next != end && line.ends_with('\r')) line.remove_suffix(1);
    visit(line);
    pos = next;
  }
}

void count_token(TokenCounts& counts, std::string token) {
  std::uint32_t& count = counts.try_emplace(std::move(token), 0).first->second;
  // Saturates instead of wrapping, so a huge corpus never drops a token below the threshold.
  if (count < std::numeric_limits<std::uint32_t>::max()) ++count;
}

// Counts every capitalised word of `text`; a hyphenated one also counts each of its parts.
void count_capitalised_tokens(TokenCounts& counts, std::string_view text) {
  text::for_each_piece(text, text::is_white_space, [&counts](std::string_view piece) {
    // The edge trim never removes a capital "A" to "Z", so most words are ruled out before it.
    if (!has_ascii_capital(piece)) return;
    const std::string_view token = trim_non_alphanumeric(piece);
    count_token(counts, normalize_token(token));
    if (token.find('-') == std::string_view::npos) return;
    text::for_each_piece(
        token, [](char32_t cp) { return cp == U'-'; },
        [&counts](std::string_view part) {
          std::string normalised = normalize_token(part);
          if (!normalised.empty()) count_token(counts, std::move(normalised));
        });
  });
}

// Names listed under a non-indented "entities:" line, either as "- name: X" or "name: X".
std::vector<std::string> entity_names(std::string_view entities_text) {
  std::vector<std::string> names;
  bool in_entities = false;
  for_each_line(entities_text, [&](std::string_view line) {
    const std::string_view trimmed = trim_white_space(line);
    if (trimmed.empty() || trimmed.starts_with('#')) return;
    if (!starts_with_white_space(line)) {
      in_entities = line.starts_with(kEntitiesKey);
      return;
    }
    if (!in_entities) return;
    std::string_view value;
    if (trimmed.starts_with(kListNameKey)) {
      value = trimmed.substr(kListNameKey.size());
    } else if (trimmed.starts_with(kNameKey)) {
      value = trimmed.substr(kNameKey.size());
    } else {
      return;
    }
    names.push_back(clean_allowlist_value(trim_white_space(value)));
  });
  return names;
}

std::string allowlist_digest(const TokenSet& tokens) {
  crypto::Sha256 digest;
  bool first = true;
  for (const std::string& token : tokens) {
    if (!first) digest.update("\n");
    first = false;
    digest.update(token);
  }
  return digest.finish_hex();
}

}  // namespace

std::string normalize_token(std::string_view token) {
  const std::string_view trimmed = trim_non_alphanumeric(token);
  if (is_ascii(trimmed)) {
    // Lower-casing ASCII is the same under the full mapping, and ASCII is already NFC.
    std::string out(trimmed);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  return text::nfc(text::to_lower(trimmed));
}

void tokenize_into_allowlist(TokenSet& tokens, std::string_view text) {
  text::for_each_piece(
      text, [](char32_t cp) { return cp == U'-' || cp == U'_' || text::is_white_space(cp); },
      [&tokens](std::string_view piece) {
        std::string normalised = normalize_token(piece);
        if (!normalised.empty()) tokens.insert(std::move(normalised));
      });
}

std::string clean_allowlist_value(std::string_view value) {
  std::string_view trimmed = trim_white_space(value);
  if (trimmed.size() >= 2 && (trimmed.front() == '"' || trimmed.front() == '\'') &&
      trimmed.back() == trimmed.front()) {
    trimmed = trimmed.substr(1, trimmed.size() - 2);
  }
  return std::string(trimmed);
}

EffectiveAllowlist build_effective_allowlist(const AllowlistInputs& inputs) {
  EffectiveAllowlist allowlist;
  TokenSet& tokens = allowlist.tokens;

  for_each_line(embedded_token_allowlist(), [&tokens](std::string_view line) {
    const std::string_view trimmed = trim_white_space(line);
    if (trimmed.empty() || trimmed.starts_with('#')) return;
    std::string normalised = normalize_token(trimmed);
    // A line of punctuation alone would normalise to nothing; the set holds no empty member.
    if (!normalised.empty()) tokens.insert(std::move(normalised));
  });

  for (const std::string_view project_string : inputs.project_strings) {
    tokenize_into_allowlist(tokens, project_string);
  }

  TokenCounts counts;
  for (const ExtractionOutput& document : inputs.documents) {
    count_capitalised_tokens(counts, document.text);
    if (!document.pages) continue;
    for (const ExtractionPage& page : *document.pages) count_capitalised_tokens(counts, page.text);
  }
  for (std::string& token : collect_frequent_tokens(counts, inputs.threshold)) {
    tokens.insert(std::move(token));
  }

  if (inputs.entities_text) {
    for (const std::string& name : entity_names(*inputs.entities_text)) {
      tokenize_into_allowlist(tokens, name);
    }
  }
  if (inputs.extra_tokens) {
    for (const std::string& extra : *inputs.extra_tokens) tokenize_into_allowlist(tokens, extra);
  }

  allowlist.digest = allowlist_digest(tokens);
  return allowlist;
}

bool allowlist_contains(const EffectiveAllowlist& allowlist, std::string_view token) {
  const std::string normalised = normalize_token(token);
  return !normalised.empty() && allowlist.tokens.contains(normalised);
}

bool looks_like_entity(std::string_view token) {
  const std::string_view trimmed = trim_non_alphanumeric(token);
  return trimmed.size() >= 2 && has_ascii_capital(trimmed);
}

std::vector<std::string> find_external_entities(
    std::string_view text, const EffectiveAllowlist& allowlist,
    const std::function<bool(std::string_view)>& is_entity) {
  std::set<std::string, std::less<>> candidates;
  text::for_each_piece(text, text::is_white_space, [&](std::string_view piece) {
    const std::string_view token = trim_non_alphanumeric(piece);
    if (token.empty() || !is_entity(token)) return;
    if (allowlist_contains(allowlist, token)) return;
    if (token.find('-') != std::string_view::npos) {
      // An empty part (two adjacent hyphens) is never a member, so such a word stays a candidate.
      bool every_part_covered = true;
      text::for_each_piece(
          token, [](char32_t cp) { return cp == U'-'; },
          [&](std::string_view part) {
            if (every_part_covered && !allowlist_contains(allowlist, part)) {
              every_part_covered = false;
            }
          });
      if (every_part_covered) return;
    }
    if (!candidates.contains(token)) candidates.emplace(token);
  });
  return {candidates.begin(), candidates.end()};
}

std::vector<std::string> collect_frequent_tokens(const TokenCounts& counts,
                                                 std::uint32_t threshold) {
  std::vector<std::string> frequent;
  for (const auto& [token, count] : counts) {
    if (count >= threshold) frequent.push_back(token);
  }
  std::sort(frequent.begin(), frequent.end());
  return frequent;
}

}  // namespace fennick::provenance
