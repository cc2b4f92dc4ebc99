#include "provenance/allowlist/allowlist.h"

#include <algorithm>
#include <cstring>
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

std::uint32_t saturating_add(std::uint32_t a, std::uint32_t b) {
  // Saturates instead of wrapping, so a huge corpus never drops a token below the threshold.
  return b > std::numeric_limits<std::uint32_t>::max() - a
             ? std::numeric_limits<std::uint32_t>::max()
             : a + b;
}

// Eight bytes with "A" to "Z" turned into "a" to "z"; every other byte, non-ASCII ones included,
// stays as it is.
std::uint64_t fold_ascii_capitals(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = kOnes * 0x80;
  const std::uint64_t low7 = word & ~kHigh;
  const std::uint64_t at_least_a = low7 + kOnes * (0x80 - 'A');
  const std::uint64_t above_z = low7 + kOnes * (0x80 - 'Z' - 1);
  const std::uint64_t capitals = at_least_a & ~above_z & ~word & kHigh;
  return word | (capitals >> 2);
}

// Calls `visit` with each folded word of `s`, the last one padded with zero bytes.
template <class Visit>
void for_each_folded_word(std::string_view s, Visit visit) {
  std::size_t pos = 0;
  for (; pos + 8 <= s.size(); pos += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, s.data() + pos, 8);
    if (!visit(fold_ascii_capitals(word))) return;
  }
  if (pos < s.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, s.data() + pos, s.size() - pos);
    visit(fold_ascii_capitals(word));
  }
}

std::uint64_t folded_hash(std::string_view s) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ s.size();
  for_each_folded_word(s, [&hash](std::uint64_t word) {
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 31;
    return true;
  });
  hash ^= hash >> 30;
  hash *= 0x94D049BB133111EBULL;
  return hash ^ (hash >> 31);
}

bool folded_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::uint64_t mismatch = 0;
  std::size_t pos = 0;
  for_each_folded_word(a, [&](std::uint64_t word) {
    std::uint64_t other = 0;
    std::memcpy(&other, b.data() + pos, std::min<std::size_t>(8, b.size() - pos));
    pos += 8;
    mismatch = word ^ fold_ascii_capitals(other);
    return mismatch == 0;
  });
  return mismatch == 0;
}

// Counts per spelling, where spellings that differ only in the case of ASCII letters are one:
// they normalise alike (the full lower-case mapping treats "A" and "a" the same in every
// context). Open addressing with linear probing over a power-of-two table, at most half full:
// a lookup usually reads one slot, with no division and no node per key. The keys are views.
class SpellingCounts {
 public:
  void add(std::string_view spelling) {
    // At most 70% full, so probe runs stay short.
    if ((used_ + 1) * 10 > slots_.size() * 7) grow();
    const std::uint64_t wide = folded_hash(spelling);
    const auto hash = static_cast<std::uint32_t>(wide ^ (wide >> 32));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.count == 0) {
        slot = Slot{spelling.data(), spelling.size(), hash, 1};
        ++used_;
        return;
      }
      // Long spellings are compared byte by byte only when their hashes agree.
      if (slot.hash == hash && folded_equal(slot.spelling(), spelling)) {
        slot.count = saturating_add(slot.count, 1);
        return;
      }
    }
  }

  // Every counted spelling, occupied slots only, in no particular order.
  template <class Visit>
  void for_each(Visit visit) const {
    for (const Slot& slot : slots_) {
      if (slot.count != 0) visit(slot.spelling(), slot.count);
    }
  }

 private:
  // 24 bytes: the table is the scan's only memory that grows with the distinct words.
  struct Slot {
    const char* data = nullptr;
    std::size_t size = 0;
    std::uint32_t hash = 0;
    std::uint32_t count = 0;  // 0 marks an empty slot

    std::string_view spelling() const { return {data, size}; }
  };

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(old.size() * 2, 1024), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.count == 0) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].count != 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// Byte classes of the corpus scan: ASCII white space, an ASCII capital, a non-ASCII byte.
constexpr unsigned char kSpace = 1;
constexpr unsigned char kCapital = 2;
constexpr unsigned char kNonAscii = 4;

constexpr std::array<unsigned char, 256> kByteClass = [] {
  std::array<unsigned char, 256> classes{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    if (byte == ' ' || (byte >= 0x09 && byte <= 0x0D)) classes[byte] = kSpace;
    if (byte >= 'A' && byte <= 'Z') classes[byte] = kCapital;
    if (byte >= 0x80) classes[byte] = kNonAscii;
  }
  return classes;
}();

bool is_ascii_alphanumeric(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9');
}

// trim_non_alphanumeric for ASCII text, which can be read from both ends.
std::string_view trim_ascii_non_alphanumeric(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size() && !is_ascii_alphanumeric(static_cast<unsigned char>(s[begin]))) {
    ++begin;
  }
  std::size_t end = s.size();
  while (end > begin && !is_ascii_alphanumeric(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

// Counts of the capitalised corpus words and their hyphen-separated parts, keyed by the
// edge-trimmed words themselves: views into the documents' texts, which outlive the build. Each
// distinct spelling is normalised once, when the counts are read out, so the scan itself neither
// allocates per word nor calls ICU.
class CorpusTokenCounter {
 public:
  void scan(std::string_view text) {
    std::size_t piece_start = 0;
    unsigned char piece_classes = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
      const unsigned char byte_class = kByteClass[static_cast<unsigned char>(text[pos])];
      if (byte_class != kNonAscii) {
        ++pos;
        if (byte_class == kSpace) {
          count_piece(text.substr(piece_start, pos - 1 - piece_start), piece_classes);
          piece_start = pos;
          piece_classes = 0;
        } else {
          piece_classes |= byte_class;
        }
        continue;
      }
      // A sequence that does not decode stops before the next ASCII byte, which the branch above
      // then reads; so ASCII white space and capitals are never swallowed by one.
      const std::size_t start = pos;
      char32_t cp = 0;
      if (text::next_code_point(text, pos, cp) && text::is_white_space(cp)) {
        count_piece(text.substr(piece_start, start - piece_start), piece_classes);
        piece_start = pos;
        piece_classes = 0;
      } else {
        piece_classes |= kNonAscii;
      }
    }
    count_piece(text.substr(piece_start), piece_classes);
  }

  // The normalised forms counted at least `threshold` times, ascending by bytes.
  std::vector<std::string> frequent_tokens(std::uint32_t threshold) const {
    // A non-ASCII spelling may normalise to the same token as another spelling (the Kelvin sign
    // lower-cases to "k"): such counts are summed before the threshold applies.
    TokenCounts non_ascii;
    counts_.for_each([&non_ascii](std::string_view spelling, std::uint32_t count) {
      if (is_ascii(spelling)) return;
      std::string normalised = normalize_token(spelling);
      if (normalised.empty()) return;
      std::uint32_t& sum = non_ascii.try_emplace(std::move(normalised), 0).first->second;
      sum = saturating_add(sum, count);
    });
    std::vector<std::string> frequent;
    counts_.for_each([&](std::string_view spelling, std::uint32_t count) {
      if (!is_ascii(spelling)) return;
      std::string normalised = normalize_token(spelling);
      std::uint32_t sum = count;
      if (const auto other = non_ascii.find(normalised); other != non_ascii.end()) {
        sum = saturating_add(sum, other->second);
        non_ascii.erase(other);
      }
      if (sum >= threshold) frequent.push_back(std::move(normalised));
    });
    for (const auto& [normalised, sum] : non_ascii) {
      if (sum >= threshold) frequent.push_back(normalised);
    }
    std::sort(frequent.begin(), frequent.end());
    return frequent;
  }

 private:
  // A word counts when it holds a capital "A" to "Z" (the edge trim never removes one); a
  // hyphenated word also counts each of its non-empty parts.
  void count_piece(std::string_view piece, unsigned char piece_classes) {
    if ((piece_classes & kCapital) == 0) return;
    const bool ascii = (piece_classes & kNonAscii) == 0;
    const std::string_view token =
        ascii ? trim_ascii_non_alphanumeric(piece) : trim_non_alphanumeric(piece);
    count(token);
    if (token.find('-') == std::string_view::npos) return;
    // "-" never occurs inside an encoded character, and an undecodable sequence stops before
    // it, so cutting at the byte cuts where a character-wise split would.
    std::size_t part_start = 0;
    while (true) {
      const std::size_t hyphen = token.find('-', part_start);
      // Past the last hyphen the length overshoots, and substr keeps the rest.
      const std::string_view part = token.substr(part_start, hyphen - part_start);
      const std::string_view trimmed =
          ascii ? trim_ascii_non_alphanumeric(part) : trim_non_alphanumeric(part);
      if (!trimmed.empty()) count(trimmed);
      if (hyphen == std::string_view::npos) break;
      part_start = hyphen + 1;
    }
  }

  void count(std::string_view token) { counts_.add(token); }

  SpellingCounts counts_;
};

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

  std::vector<std::string> frequent;
  {
    // The counts are dropped before the set grows.
    CorpusTokenCounter counter;
    for (const ExtractionOutput& document : inputs.documents) {
      counter.scan(document.text);
      if (!document.pages) continue;
      for (const ExtractionPage& page : *document.pages) counter.scan(page.text);
    }
    frequent = counter.frequent_tokens(inputs.threshold);
  }
  // Ascending, so each insertion lands next to the previous one.
  auto hint = tokens.begin();
  for (std::string& token : frequent) hint = std::next(tokens.insert(hint, std::move(token)));
  frequent = {};

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
