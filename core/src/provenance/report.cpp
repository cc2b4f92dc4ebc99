#include "provenance/report.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/display.h"
#include "text/utf8.h"

namespace fennick::provenance {
namespace {

void append_count(std::string& out, std::uint32_t value) { out += std::to_string(value); }

std::string_view flag(bool value) { return value ? "true" : "false"; }

void append_line(std::string& out, std::string_view text) {
  out += text;
  out += '\n';
}

void append_field(std::string& out, std::string_view label, std::string_view value) {
  out += "- **";
  out += label;
  out += ":** ";
  out += value;
  out += '\n';
}

void append_count_row(std::string& out, std::string_view mode, std::uint32_t count) {
  out += "| ";
  out += mode;
  out += " | ";
  append_count(out, count);
  out += " |\n";
}

bool is_replaced_in_inline_code(char32_t c) {
  return c == U'`' || c <= 0x1F || (c >= 0x7F && c <= 0x9F);
}

// One character of a value from the BRD or the corpus inside a code span or a heading:
// sanitize_inline_code's replacement keeps the span and the line whole, and then, as everywhere
// fennick shows a producer's value, the characters of text::is_escaped_in_display are escaped.
void append_code_character(std::string& out, std::string_view bytes, char32_t c, bool valid) {
  if (valid && is_replaced_in_inline_code(c)) {
    out += ' ';
  } else {
    text::append_display_character(out, bytes, c, valid);
  }
}

// The value shown in at most kShownValueBytes with one marker, so that it can neither reorder or
// hide text in the report on screen nor flood it.
std::string shown_code(std::string_view value) {
  std::string out;
  const std::size_t left_out = text::append_shown(out, value, append_code_character);
  out += text::omission_marker(left_out);
  return out;
}

// The report's text on its way to the sink: filled line by line and handed on whenever it reaches
// kReportPieceBytes, so that what is held stays one piece whatever the size of the report.
class ReportWindow {
 public:
  explicit ReportWindow(const ReportSink& sink) : sink_(sink) {
    text_.reserve(kReportPieceBytes + kReportPieceBytes / 4);
  }

  std::string& text() { return text_; }

  // Hands the text on once it has grown to a piece; false once the sink wants no more.
  bool drain_if_full() { return text_.size() < kReportPieceBytes ? going_ : drain(); }

  // Hands on what is left; false once the sink wants no more.
  bool drain() {
    if (going_ && !text_.empty()) going_ = sink_(text_);
    text_.clear();
    return going_;
  }

 private:
  const ReportSink& sink_;
  std::string text_;
  bool going_ = true;
};

bool append_verdict(ReportWindow& window, const ClaimVerdict& verdict) {
  std::string& out = window.text();
  out += "### ";
  out += shown_code(verdict.id);
  out += "\n- mode: `";
  out += verdict_tag_name(verdict.mode.tag);
  if (verdict.mode.is_rejected()) {
    out += ": ";
    out += shown_code(verdict.mode.reason);
  }
  out += "`\n- kind: `";
  out += requirement_kind_prefix(verdict.kind);
  out += "`\n- anchorHash: `";
  out += verdict.anchor_hash;
  out += "`\n- namesExternalEntity: ";
  out += flag(verdict.names_external_entity);
  out += '\n';
  if (!verdict.entity_candidates().empty()) {
    out += "- entityCandidates: ";
    for (std::size_t i = 0; i < verdict.entity_candidates().size(); ++i) {
      if (i > 0) out += ", ";
      out += shown_code(verdict.entity_candidates()[i]);
    }
    out += '\n';
  }
  if (!verdict.corpus_search_summary().empty()) {
    out += "- corpusSearchSummary:\n";
    for (const CorpusHits& hits : verdict.corpus_search_summary()) {
      out += "  - `";
      out += shown_code(text::lossy_utf8(hits.source));
      out += "`: pagesSearched=";
      append_count(out, hits.pages_searched);
      out += ", hitCount=";
      append_count(out, hits.hit_count);
      out += '\n';
      // One verdict may list millions of records: they leave in pieces as they are written.
      if (!window.drain_if_full()) return false;
    }
  }
  out += '\n';
  return window.drain_if_full();
}

}  // namespace

std::string sanitize_inline_code(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    char32_t cp = 0;
    if (!text::next_code_point(text, pos, cp)) {
      text::append_utf8(out, U'\uFFFD');
    } else if (is_replaced_in_inline_code(cp)) {
      out += ' ';
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
  return out;
}

std::string provenance_health(const ValidatorReport& report) {
  // 64-bit arithmetic: the counts are 32-bit, their thousandfold is not.
  const std::uint64_t d = report.total == 0 ? 1 : report.total;
  const std::uint64_t n =
      static_cast<std::uint64_t>(report.derived) + static_cast<std::uint64_t>(report.derived_weak);
  const std::uint64_t p = (n * 1000 + d / 2) / d;
  return std::to_string(p / 10) + "." + std::to_string(p % 10) + "%";
}

bool write_audit_report(const ProvenanceAuditResult& result, const ReportSink& sink) {
  const ValidatorReport& report = result.report;
  ReportWindow window(sink);
  std::string& out = window.text();
  append_line(out, "# Retroactive Provenance Audit Report");
  append_line(out, "");
  append_field(out, "schemaVersion", report.schema_version);
  append_field(out, "provenanceSchemaVersion", report.provenance_schema_version);
  append_field(out, "validatorVersion", report.validator_version);
  append_field(out, "synthesizedCorpus", flag(result.synthesized_corpus));
  append_field(out, "brdNotFound", flag(result.brd_not_found));
  append_field(out, "corpusEmpty", flag(result.corpus_empty));
  append_field(out, "corpusSource", corpus_source_name(result.corpus_source));
  append_field(out, "unparsedInlineCount", std::to_string(result.unparsed_inline_count));
  append_field(out, "extractedCorpusHash", "`" + report.extracted_corpus_hash + "`");
  append_field(out, "allowlistVersionHash", "`" + report.allowlist_version_hash + "`");
  append_line(out, "");
  append_line(out, "## Summary");
  append_line(out, "");
  append_line(out, "| Mode | Count |");
  append_line(out, "|------|------:|");
  append_count_row(out, "derived", report.derived);
  append_count_row(out, "derivedWeak", report.derived_weak);
  append_count_row(out, "assumption", report.assumption);
  append_count_row(out, "assumptionOrphaned", report.assumption_orphaned);
  append_count_row(out, "rejected", report.rejected);
  out += "| **total** | **";
  append_count(out, report.total);
  out += "** | \n";
  append_line(out, "");
  append_line(out, "**provenanceHealth:** " + provenance_health(report));
  if (report.validator_panic) {
    append_line(out, "");
    append_line(out, "> **\u26A0 Validator panic:** `" + shown_code(*report.validator_panic) +
                         "` -- gate failed closed (FR-005).");
  }
  append_line(out, "");
  append_line(out, "## Findings");
  append_line(out, "");
  for (const ClaimVerdict& verdict : report.verdicts) {
    if (!append_verdict(window, verdict)) return false;
  }
  append_line(out, "## Suggested Next Actions");
  append_line(out, "");
  append_line(out,
              "- For each `rejected` claim: supply a verbatim citation against the corpus, "
              "downgrade to `assumption` with a named owner, OR remove the claim.");
  append_line(out,
              "- For each `assumptionOrphaned` claim: re-cite against the new corpus span, OR "
              "confirm the underlying concept no longer holds.");
  if (result.synthesized_corpus) {
    append_line(out,
                "- Re-run the audit against a typed (spec-120) corpus once available; this run "
                "synthesised pages from legacy `.txt` files (FR-039).");
  }
  return window.drain();
}

std::string render_audit_report(const ProvenanceAuditResult& result) {
  std::string whole;
  write_audit_report(result, [&whole](std::string_view piece) {
    whole += piece;
    return true;
  });
  return whole;
}

}  // namespace fennick::provenance
