#pragma once
// Finding a project's business requirements document (BRD) and cutting it into claims: every
// "### " heading that names a requirement id opens a claim; ids anywhere else are only counted.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/boxed.h"
#include "json/text.h"
#include "provenance/claim_types.h"

namespace fennick::provenance {

// Prefix class of a requirement id, in the order the report and the fail-closed path rely on.
enum class RequirementKind : std::uint8_t {
  kBr,
  kStk,
  kSn,
  kUc,
  kTc,
  kInt,
  kFs,
  kSysreq,
  kStreq,
  kSwreq,
  kUsrreq,
};

// The id prefix, which is also how a kind is displayed ("BR", "SYSREQ", ...).
std::string_view requirement_kind_prefix(RequirementKind kind);

// Members of the claim record that nothing in the system fills or reads; kept so the record
// holds the same shape as the claims other tools produce.
struct ReservedTriple {
  std::string first;
  std::string second;
  std::string third;

  bool operator==(const ReservedTriple&) const = default;
};
struct ReservedSingle {
  std::optional<std::string> value;

  bool operator==(const ReservedSingle&) const = default;
};

// The members of a claim that nearly every claim leaves empty, kept together in one box.
struct RareClaimMembers {
  std::vector<Citation> citations;
  std::optional<Assumption> assumption;
  std::vector<std::string> reserved_list;
  std::optional<ReservedTriple> reserved_triple;
  std::optional<ReservedSingle> reserved_single;

  bool operator==(const RareClaimMembers&) const = default;
};

// A claim's strings are counted views into one block that holds the ids, texts and anchor hashes
// of all claims cut from the same BRD, so a claim list costs little beyond that block and copies
// of its strings (in verdicts) outlive the claims. The rare members cost one pointer until one of
// them is reached through its non-const accessor.
struct ProvenanceClaim {
  json::Text id;           // the heading's id word without trailing ':' and '.'
  json::Text text;         // title, a space, body; trimmed
  json::Text anchor_hash;  // token_fingerprint of text when the record was built
  json::Boxed<RareClaimMembers> rare;
  std::chrono::system_clock::time_point created_on;  // UTC (system_clock counts Unix time)
  RequirementKind kind = RequirementKind::kBr;
  bool reserved_flag_first = false;
  bool reserved_flag_second = true;

  const std::vector<Citation>& citations() const { return rare_or_none().citations; }
  std::vector<Citation>& citations() { return rare_members().citations; }
  const std::optional<Assumption>& assumption() const { return rare_or_none().assumption; }
  std::optional<Assumption>& assumption() { return rare_members().assumption; }
  const std::vector<std::string>& reserved_list() const { return rare_or_none().reserved_list; }
  const std::optional<ReservedTriple>& reserved_triple() const {
    return rare_or_none().reserved_triple;
  }
  const std::optional<ReservedSingle>& reserved_single() const {
    return rare_or_none().reserved_single;
  }

 private:
  const RareClaimMembers& rare_or_none() const {
    static const RareClaimMembers kNone;
    return rare ? *rare : kNone;
  }
  RareClaimMembers& rare_members() { return rare ? *rare : rare.emplace(); }
};

struct BrdLookup {
  std::optional<std::string> path;  // absent when no BRD was found
  std::string text;                 // empty when absent or not readable as UTF-8 text
  bool unreadable = false;          // found, but not readable as UTF-8 text
};

struct ClaimExtraction {
  std::vector<ProvenanceClaim> claims;  // in BRD order
  std::uint32_t unparsed_inline_count = 0;
};

// "requirements/business-requirements-document.md" when it exists at all; otherwise the first
// "md" file of "requirements", in path order, for which is_brd_file holds.
BrdLookup find_brd(const std::string& project_dir);

// True when the file reads as UTF-8 text and its first significant line among the first 50
// (blank lines and "---" lines skipped) opens with "# business requirements document", ASCII
// case ignored.
bool is_brd_file(const std::string& path);

ClaimExtraction extract_claims(std::string_view brd_text);

// "PREFIX-NUMBER" with a known prefix (case-sensitive) and an unsigned 32-bit decimal number
// (an optional leading "+"): the prefix's kind; none otherwise.
std::optional<RequirementKind> parse_requirement_id(std::string_view word);

std::optional<RequirementKind> classify_requirement_prefix(std::string_view prefix);

// Number of maximal runs of alphanumeric characters and "-" that parse as requirement ids;
// saturates at the largest 32-bit value.
std::uint32_t count_requirement_ids(std::string_view text);

ProvenanceClaim new_claim(std::string id, RequirementKind kind, std::string text);

}  // namespace fennick::provenance
