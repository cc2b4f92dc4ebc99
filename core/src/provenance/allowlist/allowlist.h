#pragma once
// The effective allowlist: normalised tokens that are in scope for a project (the embedded list,
// the project name, capitalised corpus words, optional entities and extra tokens), and the scan
// that turns every entity-shaped claim word outside it into an external-entity candidate.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "crypto/keyed_hash.h"
#include "provenance/extraction.h"

namespace fennick::provenance {

// The token list compiled into the program: a "#" comment header, then eight commented sections
// of one lower-case ASCII token per line.
std::string_view embedded_token_allowlist();

// Ordered by bytes, so that the digest and any listing of it are the same on every run.
using TokenSet = std::set<std::string, std::less<>>;

// Counts of capitalised corpus tokens; only membership and counts matter, never its order. Keyed
// by default with the run's key.
using TokenCounts =
    std::unordered_map<std::string, std::uint32_t, crypto::KeyedStringHash, std::equal_to<>>;

struct EffectiveAllowlist {
  // SHA-256 (64 lower-case hex characters) of the tokens in ascending order joined by "\n".
  std::string digest;
  // Every member is non-empty and already passed through normalize_token.
  TokenSet tokens;

  bool operator==(const EffectiveAllowlist&) const = default;
};

struct AllowlistInputs {
  // The loaded records themselves, never copies; only each document's text and the texts of its
  // pages are read.
  std::span<const std::reference_wrapper<const ExtractionOutput>> documents;
  // Tokenised in this order.
  std::array<std::string_view, 3> project_strings;
  // A YAML-like text whose "entities:" list names in-scope entities.
  std::optional<std::string_view> entities_text;
  std::optional<std::span<const std::string>> extra_tokens;
  // Minimum number of occurrences for a corpus token to be admitted.
  std::uint32_t threshold = 1;
  // The key of the corpus word counts; none means the run's key. The result never depends on it.
  std::optional<crypto::HashKey> hash_key;
};

// Edge-trimmed of non-alphanumeric characters, fully lower-cased, then NFC; possibly empty.
std::string normalize_token(std::string_view token);

// Splits at Unicode white space, "-" and "_" and inserts each non-empty normalised piece.
void tokenize_into_allowlist(TokenSet& tokens, std::string_view text);

// Trimmed of white space, with one pair of matching enclosing quotes (double or single) removed.
std::string clean_allowlist_value(std::string_view value);

EffectiveAllowlist build_effective_allowlist(const AllowlistInputs& inputs);

// Membership of the token's normalised form; the empty token is never a member.
bool allowlist_contains(const EffectiveAllowlist& allowlist, std::string_view token);

// At least 2 bytes after the edge trim and at least one ASCII capital "A" to "Z".
bool looks_like_entity(std::string_view token);

// The edge-trimmed words of `text` (split at white space only) for which `is_entity` holds and
// that the allowlist does not cover, neither whole nor, for hyphenated words, part by part.
// Letter case as written; ascending by bytes and distinct.
std::vector<std::string> find_external_entities(
    std::string_view text, const EffectiveAllowlist& allowlist,
    const std::function<bool(std::string_view)>& is_entity);

// The tokens counted at least `threshold` times, ascending by bytes.
std::vector<std::string> collect_frequent_tokens(const TokenCounts& counts,
                                                 std::uint32_t threshold);

}  // namespace fennick::provenance
