#include "provenance/validator/brd.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

#include "provenance/corpus.h"
#include "provenance/tokens.h"
#include "text/fs.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

constexpr std::array<std::string_view, 11> kPrefixes = {
    "BR", "STK", "SN", "UC", "TC", "INT", "FS", "SYSREQ", "STREQ", "SWREQ", "USRREQ"};

constexpr std::string_view kCanonicalBrd = "requirements/business-requirements-document.md";
constexpr std::string_view kBrdHeading = "# business requirements document";
constexpr std::size_t kBrdHeadingLines = 50;
// token_fingerprint: 64 lower-case hex characters.
constexpr std::size_t kAnchorBytes = 64;

// Decodes the character at `pos` and advances past it; bytes that do not decode come back as
// U+FFFD, which is neither white space nor alphanumeric.
char32_t next_char(std::string_view s, std::size_t& pos) {
  const auto byte = static_cast<unsigned char>(s[pos]);
  if (byte < 0x80) {
    ++pos;
    return byte;
  }
  char32_t cp = 0;
  return text::next_code_point(s, pos, cp) ? cp : U'\uFFFD';
}

std::string_view trim_white_space_start(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    if (!text::is_white_space(next_char(s, pos))) return s.substr(start);
  }
  return s.substr(s.size());
}

// Forward scan: ill-formed UTF-8 cannot be decoded from the end.
std::string_view trim_white_space(std::string_view s) {
  s = trim_white_space_start(s);
  std::size_t end = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    if (!text::is_white_space(next_char(s, pos))) end = pos;
  }
  return s.substr(0, end);
}

// Words separated by runs of white space; never empty.
std::vector<std::string_view> split_words(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t word_start = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    if (text::is_white_space(next_char(s, pos))) {
      if (start > word_start) words.push_back(s.substr(word_start, start - word_start));
      word_start = pos;
    }
  }
  if (s.size() > word_start) words.push_back(s.substr(word_start));
  return words;
}

// Calls `visit` with each line: cut at "\n", a "\r" before it dropped, no empty line after a
// final "\n". Stops early when `visit` returns false.
template <class Visit>
void for_each_line(std::string_view s, Visit visit) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t newline = s.find('\n', pos);
    std::string_view line;
    if (newline == std::string_view::npos) {
      line = s.substr(pos);
      pos = s.size();
    } else {
      line = s.substr(pos, newline - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      pos = newline + 1;
    }
    if (!visit(line)) return;
  }
}

void add_saturating(std::uint32_t& counter, std::uint32_t amount) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  counter = amount > kMax - counter ? kMax : counter + amount;
}

bool path_exists(const std::string& path) {
  // A NUL byte would make the system look at a shorter, different path.
  if (path.find('\0') != std::string::npos) return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> utf8_text(fennick::Result<std::string> bytes) {
  if (!bytes.ok() || !text::is_valid_utf8(*bytes)) return std::nullopt;
  return std::move(bytes).value();
}

std::optional<std::string> read_utf8_text(const std::string& path) {
  return utf8_text(text::read_file(path, text::OpenMode::kRegularOnly));
}

// The first significant line among the first 50 opens with the BRD heading.
bool is_brd_text(std::string_view contents) {
  bool result = false;
  std::size_t seen = 0;
  for_each_line(contents, [&](std::string_view line) {
    if (++seen > kBrdHeadingLines) return false;
    const std::string_view trimmed = trim_white_space(line);
    if (trimmed.empty() || trimmed.starts_with("---")) return true;
    if (trimmed.size() >= kBrdHeading.size()) {
      result = std::equal(
          kBrdHeading.begin(), kBrdHeading.end(), trimmed.begin(), [](char expected, char c) {
            const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            return expected == lower;
          });
    }
    return false;
  });
  return result;
}

// The first candidate of `requirements` that is a BRD, with its text. Each candidate is read
// once, and a file reached again through another name or link is not read again: it did not
// qualify the first time.
BrdLookup search_requirements(const std::string& requirements) {
  fennick::Result<std::vector<std::string>> names = names_with_extension(requirements, "md");
  if (!names) return BrdLookup{};
  std::set<text::FileIdentity> judged;
  for (const std::string& name : *names) {
    std::string path = text::join_path(requirements, name);
    fennick::Result<text::InputFile> file =
        text::InputFile::open(path, text::OpenMode::kRegularOnly);
    if (!file || !judged.insert(file->identity()).second) continue;
    std::optional<std::string> contents = utf8_text(file->read_all());
    if (contents && is_brd_text(*contents)) return BrdLookup{std::move(path), std::move(*contents)};
  }
  return BrdLookup{};
}

std::string_view strip_trailing_colons_and_dots(std::string_view word) {
  while (!word.empty() && (word.back() == ':' || word.back() == '.')) word.remove_suffix(1);
  return word;
}

// The words of a "### " probe after its "#" run and the white space that follows.
std::vector<std::string_view> heading_words(std::string_view probe) {
  probe.remove_prefix(std::min(probe.find_first_not_of('#'), probe.size()));
  return split_words(trim_white_space_start(probe));
}

// Position of the heading's id word among `words`, or words.size() when none names an id.
std::size_t id_word_index(const std::vector<std::string_view>& words,
                          std::optional<RequirementKind>* kind = nullptr) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::optional<RequirementKind> found =
        parse_requirement_id(strip_trailing_colons_and_dots(words[i]));
    if (!found) continue;
    if (kind != nullptr) *kind = found;
    return i;
  }
  return words.size();
}

// Calls `visit(probe, line)` for each line of a BRD with the line's leading white space removed.
template <class Visit>
void for_each_probe(std::string_view brd_text, Visit visit) {
  for_each_line(brd_text, [&](std::string_view line) {
    visit(trim_white_space_start(line), line);
    return true;
  });
}

// The one block that the claims of an extraction view: every claim's id, text and anchor hash,
// written in claim order. A claim's id and text never take more bytes than its heading and body
// lines do in the BRD (the "### " alone outweighs the space that joins title and body), so the
// BRD's size plus one anchor hash per claim always suffices.
class ClaimBlock {
 public:
  ClaimBlock(std::size_t bytes) {
    auto storage = std::make_unique_for_overwrite<char[]>(bytes);
    data_ = storage.get();
    capacity_ = bytes;
    kept_ = json::KeptText(std::move(storage), bytes);
  }

  std::size_t mark() const { return used_; }
  void append(std::string_view bytes) {
    if (bytes.size() > capacity_ - used_) throw std::length_error("claim block overflow");
    std::copy(bytes.begin(), bytes.end(), data_ + used_);
    used_ += bytes.size();
  }
  std::string_view written_since(std::size_t mark) const {
    return std::string_view(data_ + mark, used_ - mark);
  }
  // Keeps `part` (written since `mark`) at `mark` and forgets the rest.
  std::string_view keep_only(std::size_t mark, std::string_view part) {
    std::copy(part.begin(), part.end(), data_ + mark);
    used_ = mark + part.size();
    return written_since(mark);
  }
  json::Text text(std::string_view part) const { return json::Text::view_of(kept_, part); }

 private:
  json::KeptText kept_;
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
};

ProvenanceClaim claim_in_block(ClaimBlock& block, std::string_view id, RequirementKind kind,
                               std::string_view claim_text) {
  const std::string anchor = token_fingerprint(claim_text);
  const std::size_t at = block.mark();
  block.append(anchor);
  ProvenanceClaim claim;
  claim.anchor_hash = block.text(block.written_since(at));
  claim.id = block.text(id);
  claim.text = block.text(claim_text);
  claim.created_on = std::chrono::system_clock::now();
  claim.kind = kind;
  return claim;
}

struct OpenClaim {
  std::string_view id;  // in the block
  RequirementKind kind = RequirementKind::kBr;
  std::size_t text_mark = 0;  // where the title starts in the block
  std::vector<std::string_view> body_lines;
};

// Writes the heading's id and title into the block; none when no word of it is a requirement id.
std::optional<OpenClaim> read_heading(std::string_view probe, ClaimBlock& block) {
  const std::vector<std::string_view> words = heading_words(probe);
  std::optional<RequirementKind> kind;
  const std::size_t i = id_word_index(words, &kind);
  if (i == words.size()) return std::nullopt;
  const std::size_t id_mark = block.mark();
  block.append(strip_trailing_colons_and_dots(words[i]));
  const std::string_view id = block.written_since(id_mark);
  std::size_t first_title_word = i + 1;
  if (first_title_word < words.size() && words[first_title_word] == ":") ++first_title_word;
  const std::size_t text_mark = block.mark();
  for (std::size_t j = first_title_word; j < words.size(); ++j) {
    if (j > first_title_word) block.append(" ");
    block.append(words[j]);
  }
  std::string_view title = block.written_since(text_mark);
  title.remove_prefix(std::min(title.find_first_not_of(':'), title.size()));
  block.keep_only(text_mark, trim_white_space(title));
  return OpenClaim{id, *kind, text_mark, {}};
}

// The text is the title, a space and the trimmed body, trimmed; written after the title.
ProvenanceClaim close_claim(OpenClaim& open, ClaimBlock& block) {
  block.append(" ");
  const std::size_t body_mark = block.mark();
  for (std::size_t i = 0; i < open.body_lines.size(); ++i) {
    if (i > 0) block.append("\n");
    block.append(open.body_lines[i]);
  }
  block.keep_only(body_mark, trim_white_space(block.written_since(body_mark)));
  const std::string_view text =
      block.keep_only(open.text_mark, trim_white_space(block.written_since(open.text_mark)));
  return claim_in_block(block, open.id, open.kind, text);
}

// The number of claims of a BRD: its "### " headings that name a requirement id.
std::size_t count_claims(std::string_view brd_text) {
  std::size_t count = 0;
  for_each_probe(brd_text, [&](std::string_view probe, std::string_view) {
    if (!probe.starts_with("### ")) return;
    const std::vector<std::string_view> words = heading_words(probe);
    if (id_word_index(words) < words.size()) ++count;
  });
  return count;
}

}  // namespace

std::string_view requirement_kind_prefix(RequirementKind kind) {
  return kPrefixes[static_cast<std::size_t>(kind)];
}

BrdLookup find_brd(const std::string& project_dir) {
  const std::string canonical = text::join_path(project_dir, kCanonicalBrd);
  if (path_exists(canonical)) {
    std::optional<std::string> contents = read_utf8_text(canonical);
    if (!contents) return BrdLookup{canonical, std::string(), true};
    return BrdLookup{canonical, std::move(*contents), false};
  }
  const std::string requirements = text::join_path(project_dir, "requirements");
  if (!text::is_directory(requirements)) return BrdLookup{};
  return search_requirements(requirements);
}

bool is_brd_file(const std::string& path) {
  const std::optional<std::string> contents = read_utf8_text(path);
  return contents && is_brd_text(*contents);
}

ClaimExtraction extract_claims(std::string_view brd_text) {
  ClaimExtraction result;
  // Counted first, so that the list and the block are allocated once, at their final size.
  const std::size_t claim_count = count_claims(brd_text);
  result.claims.reserve(claim_count);
  ClaimBlock block(claim_count == 0 ? 0 : brd_text.size() + claim_count * kAnchorBytes);
  std::optional<OpenClaim> open;
  const auto close_open = [&] {
    if (open) result.claims.push_back(close_claim(*open, block));
    open.reset();
  };
  for_each_probe(brd_text, [&](std::string_view probe, std::string_view line) {
    if (probe.starts_with("### ")) {
      close_open();
      open = read_heading(probe, block);
      if (!open) add_saturating(result.unparsed_inline_count, count_requirement_ids(probe));
    } else if (probe.starts_with("## ") || probe.starts_with("# ")) {
      close_open();
      add_saturating(result.unparsed_inline_count, count_requirement_ids(probe));
    } else if (open) {
      open->body_lines.push_back(line);
    } else {
      add_saturating(result.unparsed_inline_count, count_requirement_ids(line));
    }
  });
  close_open();
  return result;
}

std::optional<RequirementKind> parse_requirement_id(std::string_view word) {
  const std::size_t dash = word.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<RequirementKind> kind = classify_requirement_prefix(word.substr(0, dash));
  if (!kind) return std::nullopt;
  std::string_view number = word.substr(dash + 1);
  if (number.starts_with('+')) number.remove_prefix(1);
  if (number.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : number) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return kind;
}

std::optional<RequirementKind> classify_requirement_prefix(std::string_view prefix) {
  const auto found = std::find(kPrefixes.begin(), kPrefixes.end(), prefix);
  if (found == kPrefixes.end()) return std::nullopt;
  return static_cast<RequirementKind>(found - kPrefixes.begin());
}

std::uint32_t count_requirement_ids(std::string_view s) {
  std::uint32_t count = 0;
  std::size_t run_start = 0;
  std::size_t pos = 0;
  const auto end_run = [&](std::size_t run_end) {
    if (run_end > run_start && parse_requirement_id(s.substr(run_start, run_end - run_start))) {
      add_saturating(count, 1);
    }
  };
  while (pos < s.size()) {
    const std::size_t start = pos;
    const char32_t cp = next_char(s, pos);
    if (cp != U'-' && !text::is_alphanumeric(cp)) {
      end_run(start);
      run_start = pos;
    }
  }
  end_run(s.size());
  return count;
}

ProvenanceClaim new_claim(std::string id, RequirementKind kind, std::string claim_text) {
  ClaimBlock block(id.size() + claim_text.size() + kAnchorBytes);
  block.append(id);
  block.append(claim_text);
  const std::string_view written = block.written_since(0);
  return claim_in_block(block, written.substr(0, id.size()), kind, written.substr(id.size()));
}

}  // namespace fennick::provenance
