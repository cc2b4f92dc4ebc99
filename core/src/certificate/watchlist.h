#pragma once
// The agentic-posture cross-check: a posture of "none" tested against the application's
// CycloneDX BOM with a compiled-in watchlist of agent and model SDK packages.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "certificate/records.h"
#include "json/read.h"
#include "json/value.h"
#include "result.h"

namespace fennick::certificate {

struct WatchlistEntry {
  std::string ecosystem;            // package-URL type, compared ignoring ASCII case
  std::string name;                 // package name, compared exactly; reported on a hit
  std::optional<std::string> note;  // for people; never used in matching
};

struct AgenticSdkWatchlist {
  std::string schema_version;
  std::vector<WatchlistEntry> packages;  // list order breaks ties between entries
};

const json::RecordSpec& json_record(json::Tag<WatchlistEntry>);
const json::RecordSpec& json_record(json::Tag<AgenticSdkWatchlist>);

// The watchlist text compiled into the program (generated from core/data at build time).
std::string_view embedded_watchlist_json();

// Reads a watchlist text. The only text ever read is the embedded one, so a failure is a build
// defect: it throws std::logic_error naming the parse error.
AgenticSdkWatchlist read_watchlist(std::string_view text);

// The embedded watchlist, read afresh on each call.
AgenticSdkWatchlist embedded_watchlist();

// Whether a package URL names the entry's package: "%40" decoded, qualifiers and subpath dropped,
// the type compared ignoring ASCII case, the version after the last '@' dropped.
bool purl_matches(std::string_view purl, const WatchlistEntry& entry);

// Components nested deeper than this below the BOM root are not examined.
inline constexpr unsigned kMaxComponentDepth = 64;

// The name of the first watchlist entry hit in the container's "components" tree, walked depth
// first (each component before its nested components, those before the next sibling), or none.
std::optional<std::string> find_watchlisted_component(const json::Value& container,
                                                      const AgenticSdkWatchlist& watchlist,
                                                      unsigned depth);

// The same walk over a BOM's text as it is read, building no tree: the first hit, or the error
// of a text that does not read (as parse_value_pruned reports it at the levels the walk keeps).
Result<std::optional<std::string>, json::Error> scan_bom_text(std::string_view bom,
                                                              const AgenticSdkWatchlist& watchlist);

struct PostureCrossCheck {
  enum class Kind {
    kUnstated,        // no binding
    kDeclared,        // the posture is not "none"
    kNoneClean,       // "none", and the BOM holds no watchlisted package
    kContradicted,    // "none", but the BOM holds a watchlisted package
    kNoneUnverified,  // "none", no SBOM directory given
    kBomUnreadable,   // "none", the BOM could not be read or parsed
  };
  Kind kind = Kind::kUnstated;
  std::string posture;     // kContradicted: the binding's posture as written
  std::string dependency;  // kContradicted: the matching entry's name
  std::string path;        // kBomUnreadable: the BOM path for display
  std::string error;       // kBomUnreadable: why it could not be read or parsed
};

// Reads at most the one file `sbom_dir`/.factory/sbom.cdx.json.
PostureCrossCheck cross_check_agentic_posture(const std::optional<AgenticPostureBinding>& binding,
                                              const std::optional<std::string>& sbom_dir);

}  // namespace fennick::certificate
