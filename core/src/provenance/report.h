#pragma once
// The markdown "Retroactive Provenance Audit Report" of one audit result.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "provenance/validator/audit.h"

namespace fennick::provenance {

// Takes the next piece of the report; returns false when it wants no more, which ends the writing.
using ReportSink = std::function<bool(std::string_view)>;

// The size the report's pieces grow to before they are handed on: a report can run to gigabytes
// (a line per candidate and document with hits), so it is never held whole.
inline constexpr std::size_t kReportPieceBytes = 64 * 1024;

// Hands the report to `sink` in order, in pieces of about kReportPieceBytes (a piece ends on a
// line end; one long line may make a piece longer). False when the sink ended the writing early.
// Every line ends in "\n". Ids, reasons, candidates, source paths and the panic message pass
// through sanitize_inline_code so that none can break out of its line or code span; then the
// characters of text::is_escaped_in_display are escaped, and each is shown in at most
// text::kShownValueBytes with one marker.
bool write_audit_report(const ProvenanceAuditResult& result, const ReportSink& sink);

// The pieces of write_audit_report joined into one text.
std::string render_audit_report(const ProvenanceAuditResult& result);

// Every "`" and control character (U+0000-U+001F, U+007F-U+009F) becomes one space; the number of
// characters stays the same. Each invalid UTF-8 sequence becomes U+FFFD, so the report stays
// UTF-8 whatever a message carried.
std::string sanitize_inline_code(std::string_view text);

// The share of derived (and derivedWeak) verdicts in tenths of a percent, rounded half up, as
// "D.D%" ("0.0%" when there is no verdict).
std::string provenance_health(const ValidatorReport& report);

}  // namespace fennick::provenance
