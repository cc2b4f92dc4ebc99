#include "provenance/allowlist/allowlist.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

#include "crypto/sha256.h"
#include "provenance/tokens.h"
#include "text/ascii_words.h"
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

using text::fold_ascii_capitals;
using text::kHighBits;
using text::kOnes;
using text::load_word;

// The bytes of a text shorter than 8 bytes in one little-endian word, the high bytes zero: for 4
// to 7 bytes from the first and the last four (overlapping), for 1 to 3 from the first, middle
// and last byte.
std::uint64_t short_word(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    std::memcpy(&head, p, sizeof head);
    std::memcpy(&tail, p + n - 4, sizeof tail);
    return head | (std::uint64_t{tail} << (8 * (n - 4)));
  }
  if (n == 0) return 0;
  const auto byte = [p](std::size_t i) {
    return std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

// Calls `visit` with folded words that together cover every byte of `s`: the words at multiples
// of 8, the last one ending where `s` ends (overlapping the one before it). Fixed-size loads only,
// never past the end of `s`. Stops when `visit` returns false.
template <class Visit>
void for_each_folded_word(std::string_view s, Visit visit) {
  const char* p = s.data();
  const std::size_t n = s.size();
  if (n < 8) {
    visit(fold_ascii_capitals(short_word(p, n)), 0);
    return;
  }
  for (std::size_t pos = 0; pos + 8 < n; pos += 8) {
    if (!visit(fold_ascii_capitals(load_word(p + pos)), pos)) return;
  }
  visit(fold_ascii_capitals(load_word(p + n - 8)), n - 8);
}

// SipHash-1-3 of the text with "A" to "Z" folded to "a" to "z": the words at multiples of 8, then
// the tail cut from the last word, which ends where the text ends.
std::uint64_t folded_hash(const crypto::HashKey& key, std::string_view s) {
  crypto::SipHasher13 hasher(key);
  const char* p = s.data();
  const std::size_t n = s.size();
  if (n < 8) return hasher.finish_with(fold_ascii_capitals(short_word(p, n)), n);
  std::size_t pos = 0;
  for (; pos + 8 <= n; pos += 8) hasher.add_word(fold_ascii_capitals(load_word(p + pos)));
  const std::size_t tail = n - pos;
  if (tail == 0) return hasher.finish_with(0, 0);
  return hasher.finish_with(fold_ascii_capitals(load_word(p + n - 8)) >> (8 * (8 - tail)), tail);
}

bool folded_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() < 8) {
    return fold_ascii_capitals(short_word(a.data(), a.size())) ==
           fold_ascii_capitals(short_word(b.data(), b.size()));
  }
  bool equal = true;
  for_each_folded_word(a, [&](std::uint64_t word, std::size_t pos) {
    equal = word == fold_ascii_capitals(load_word(b.data() + pos));
    return equal;
  });
  return equal;
}

// Counts per spelling, where spellings that differ only in the case of ASCII letters are one:
// they normalise alike (the full lower-case mapping treats "A" and "a" the same in every
// context). Open addressing with linear probing over a power-of-two table: a lookup usually
// reads one or two slots, with no division and no node per key. The keys are views.
class SpellingCounts {
 public:
  // Keyed, so that no corpus can be written to pile its words into one probe run.
  explicit SpellingCounts(const crypto::HashKey& key) : key_(key) {}

  // `ascii` says whether the spelling is all ASCII, which spellings of one count share.
  void add(std::string_view spelling, bool ascii) {
    // At most 70% full, so probe runs stay short.
    if ((used_ + 1) * 10 > slots_.size() * 7) grow();
    const std::uint64_t wide = folded_hash(key_, spelling);
    const std::uint32_t hash =
        (static_cast<std::uint32_t>(wide ^ (wide >> 32)) & ~kAsciiFlag) | (ascii ? kAsciiFlag : 0);
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

  std::size_t size() const { return used_; }

  // Every counted spelling with its count and ASCII flag, in no particular order.
  template <class Visit>
  void for_each(Visit visit) const {
    for (const Slot& slot : slots_) {
      if (slot.count != 0) visit(slot.spelling(), slot.count, (slot.hash & kAsciiFlag) != 0);
    }
  }

 private:
  // The top bit of a slot's hash holds the ASCII flag, so that reading the counts out does not
  // visit the text once more to find it.
  static constexpr std::uint32_t kAsciiFlag = 0x80000000U;

  // 24 bytes: the table is the scan's only memory that grows with the distinct words.
  struct Slot {
    const char* data = nullptr;
    std::size_t size = 0;
    std::uint32_t hash = 0;   // 31 bits of the spelling's hash and the ASCII flag
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

  crypto::HashKey key_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// For a word of ASCII bytes: the high bit of each byte that is ASCII white space (tab to
// carriage return, or the space).
std::uint64_t ascii_white_space_bits(std::uint64_t word) {
  const std::uint64_t x = word ^ (kOnes * ' ');
  const std::uint64_t is_space = ~(((x & ~kHighBits) + ~kHighBits) | x) & kHighBits;
  const std::uint64_t from_tab = word + kOnes * (0x80 - 0x09);
  const std::uint64_t past_return = word + kOnes * (0x80 - 0x0E);
  return is_space | (from_tab & ~past_return & kHighBits);
}

// For a word of ASCII bytes: the high bit of each byte from "A" to "Z".
std::uint64_t ascii_capital_bits(std::uint64_t word) {
  return (word + kOnes * (0x80 - 'A')) & ~(word + kOnes * (0x80 - 'Z' - 1)) & kHighBits;
}

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

// trim_non_alphanumeric for ASCII text, which can be read from both ends.
std::string_view trim_ascii_non_alphanumeric(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size() && !text::is_ascii_alphanumeric(static_cast<unsigned char>(s[begin]))) {
    ++begin;
  }
  std::size_t end = s.size();
  while (end > begin && !text::is_ascii_alphanumeric(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

// Counts of the capitalised corpus words and their hyphen-separated parts, keyed by the
// edge-trimmed words themselves: views into the documents' texts, which outlive the build. Each
// distinct spelling is normalised once, when the counts are read out, so the scan itself neither
// allocates per word nor calls ICU.
class CorpusTokenCounter {
 public:
  explicit CorpusTokenCounter(const crypto::HashKey& key) : key_(key), counts_(key) {}

  void scan(std::string_view text) {
    std::size_t piece_start = 0;
    unsigned char piece_classes = 0;
    std::size_t pos = 0;
    const auto end_piece = [&](std::size_t end, std::size_t next) {
      count_piece(text.substr(piece_start, end - piece_start), piece_classes);
      piece_start = next;
      piece_classes = 0;
    };
    // One byte, or one character when the byte is not ASCII.
    const auto step = [&] {
      const unsigned char byte_class = kByteClass[static_cast<unsigned char>(text[pos])];
      if (byte_class != kNonAscii) {
        ++pos;
        if (byte_class == kSpace) {
          end_piece(pos - 1, pos);
        } else {
          piece_classes |= byte_class;
        }
        return;
      }
      // A sequence that does not decode stops before the next ASCII byte, which is then read on
      // its own; so ASCII white space and capitals are never swallowed by one.
      const std::size_t start = pos;
      char32_t cp = 0;
      if (text::next_code_point(text, pos, cp) && text::is_white_space(cp)) {
        end_piece(start, pos);
      } else {
        piece_classes |= kNonAscii;
      }
    };
    while (pos < text.size()) {
      if (text.size() - pos < 8) {
        step();
        continue;
      }
      const std::uint64_t word = load_word(text.data() + pos);
      if ((word & kHighBits) != 0) {
        // Byte by byte up to and through the first non-ASCII character.
        const std::size_t through =
            pos + static_cast<std::size_t>(std::countr_zero(word & kHighBits) / 8) + 1;
        while (pos < through) step();
        continue;
      }
      // Eight ASCII bytes at once: the white space ends pieces, the capitals mark them.
      std::uint64_t spaces = ascii_white_space_bits(word);
      const std::uint64_t capitals = ascii_capital_bits(word);
      std::uint64_t closed = 0;  // the bits of the bytes of pieces already ended
      while (spaces != 0) {
        const int bit = std::countr_zero(spaces);  // the high bit of a white-space byte
        const std::uint64_t below = (std::uint64_t{1} << (bit - 7)) - 1;
        if ((capitals & below & ~closed) != 0) piece_classes |= kCapital;
        const std::size_t space = pos + static_cast<std::size_t>(bit / 8);
        end_piece(space, space + 1);
        closed = bit == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (bit + 1)) - 1;
        spaces &= spaces - 1;
      }
      if ((capitals & ~closed) != 0) piece_classes |= kCapital;
      pos += 8;
    }
    count_piece(text.substr(piece_start), piece_classes);
  }

  // The normalised forms counted at least `threshold` times, ascending by bytes.
  std::vector<std::string> frequent_tokens(std::uint32_t threshold) const {
    // A non-ASCII spelling may normalise to the same token as another spelling (the Kelvin sign
    // lower-cases to "k"): such counts are summed before the threshold applies.
    TokenCounts non_ascii(0, crypto::KeyedStringHash(key_));
    counts_.for_each([&non_ascii](std::string_view spelling, std::uint32_t count, bool ascii) {
      if (ascii) return;
      std::string normalised = normalize_token(spelling);
      if (normalised.empty()) return;
      std::uint32_t& sum = non_ascii.try_emplace(std::move(normalised), 0).first->second;
      sum = saturating_add(sum, count);
    });
    std::vector<std::string> frequent;
    frequent.reserve(counts_.size());
    counts_.for_each([&](std::string_view spelling, std::uint32_t count, bool ascii) {
      if (!ascii) return;
      // Already trimmed, and ASCII: lower-casing its letters is the whole normalisation.
      std::string normalised(spelling);
      for (char& c : normalised) c = text::ascii_lower(c);
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
    counts_.add(token, ascii || text::is_ascii(token));
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
      if (!trimmed.empty()) counts_.add(trimmed, ascii || text::is_ascii(trimmed));
      if (hyphen == std::string_view::npos) break;
      part_start = hyphen + 1;
    }
  }

  crypto::HashKey key_;
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
  if (text::is_ascii(trimmed)) {
    // Lower-casing ASCII is the same under the full mapping, and ASCII is already NFC.
    std::string out(trimmed);
    for (char& c : out) c = text::ascii_lower(c);
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
  if (!inputs.documents.empty()) {
    // The counts are dropped before the set grows. Without documents no key is drawn.
    CorpusTokenCounter counter(inputs.hash_key ? *inputs.hash_key : crypto::run_hash_key());
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
