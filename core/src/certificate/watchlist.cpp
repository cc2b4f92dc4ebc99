#include "certificate/watchlist.h"

#include <stdexcept>
#include <utility>

#include "text/fs.h"
#include "text/unicode.h"
#include "text/utf8.h"

namespace fennick::certificate {
namespace {

constexpr std::string_view kBomRelativePath = ".factory/sbom.cdx.json";

// JSON levels of the BOM that the scan can look at: the root is level 1, a container at scan
// depth d sits at level 2d + 1, its "components" array at 2d + 2 and the components in it at
// 2d + 3. The deepest components examined (d = 64) are at level 131; their own arrays and
// objects are never looked into, so anything deeper is held as null and costs no stack.
constexpr std::size_t kBomKeepLevels = 2 * (kMaxComponentDepth + 1) + 1;

struct PackageUrl {
  std::string type;
  std::string package;
};

PackageUrl split_package_url(std::string_view purl) {
  // Only the scope marker "%40" is decoded; any other escape stays as written.
  std::string p;
  p.reserve(purl.size());
  for (std::size_t i = 0; i < purl.size();) {
    if (purl.substr(i, 3) == "%40") {
      p += '@';
      i += 3;
    } else {
      p += purl[i++];
    }
  }
  // Qualifiers ("?") and subpath ("#") never name the package.
  if (const std::size_t cut = p.find_first_of("?#"); cut != std::string::npos) p.resize(cut);

  std::string_view rest = p;
  std::string_view type;
  if (const std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
    const std::string_view head = rest.substr(0, slash);
    if (head.starts_with("pkg:")) {
      type = head.substr(4);
      rest = rest.substr(slash + 1);
    }
  }
  // A version follows the last '@'; a leading '@' opens a scope and stays.
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos && at != 0) {
    rest = rest.substr(0, at);
  }
  return PackageUrl{std::string(type), std::string(rest)};
}

bool equals_ascii_case_insensitive(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (text::ascii_lower(a[i]) != text::ascii_lower(b[i])) return false;
  }
  return true;
}

bool url_names_entry(const PackageUrl& url, const WatchlistEntry& entry) {
  return equals_ascii_case_insensitive(url.type, entry.ecosystem) && url.package == entry.name;
}

// One component on its own. A string purl alone decides, even when it matches nothing; the
// name is tried only without one.
std::optional<std::string> match_component(const json::Value& component,
                                           const AgenticSdkWatchlist& watchlist) {
  const json::Value* purl = component.get("purl");
  if (purl != nullptr && purl->as_string() != nullptr) {
    const PackageUrl url = split_package_url(*purl->as_string());
    for (const WatchlistEntry& entry : watchlist.packages) {
      if (url_names_entry(url, entry)) return entry.name;
    }
    return std::nullopt;
  }
  const json::Value* name = component.get("name");
  if (name != nullptr && name->as_string() != nullptr) {
    for (const WatchlistEntry& entry : watchlist.packages) {
      if (entry.name == *name->as_string()) return entry.name;
    }
  }
  return std::nullopt;
}

PostureCrossCheck bom_unreadable(const std::string& path, std::string error) {
  PostureCrossCheck result;
  result.kind = PostureCrossCheck::Kind::kBomUnreadable;
  result.path = text::lossy_utf8(path);
  result.error = std::move(error);
  return result;
}

PostureCrossCheck of_kind(PostureCrossCheck::Kind kind) {
  PostureCrossCheck result;
  result.kind = kind;
  return result;
}

}  // namespace

const json::RecordSpec& json_record(json::Tag<WatchlistEntry>) {
  static const json::RecordSpec record(
      "WatchlistEntry", {json::field<&WatchlistEntry::ecosystem>("ecosystem", json::kRequired),
                         json::field<&WatchlistEntry::name>("name", json::kRequired),
                         json::field<&WatchlistEntry::note>("note", json::kOptionalDefaulted)});
  return record;
}

const json::RecordSpec& json_record(json::Tag<AgenticSdkWatchlist>) {
  static const json::RecordSpec record(
      "AgenticSdkWatchlist",
      {json::field<&AgenticSdkWatchlist::schema_version>("schema_version", json::kRequired),
       json::field<&AgenticSdkWatchlist::packages>("packages", json::kRequired)});
  return record;
}

AgenticSdkWatchlist read_watchlist(std::string_view text) {
  auto parsed = json::from_json<AgenticSdkWatchlist>(text);
  if (!parsed) {
    throw std::logic_error(
        "embedded agentic-sdk-watchlist.json is malformed (build-time invariant): " +
        parsed.error().to_string());
  }
  return std::move(parsed).value();
}

AgenticSdkWatchlist embedded_watchlist() { return read_watchlist(embedded_watchlist_json()); }

bool purl_matches(std::string_view purl, const WatchlistEntry& entry) {
  return url_names_entry(split_package_url(purl), entry);
}

std::optional<std::string> find_watchlisted_component(const json::Value& container,
                                                      const AgenticSdkWatchlist& watchlist,
                                                      unsigned depth) {
  // The depth test comes first, so the recursion never goes more than 65 calls deep whatever
  // the value's nesting.
  if (depth > kMaxComponentDepth) return std::nullopt;
  const json::Value* components = container.get("components");
  if (components == nullptr || components->as_array() == nullptr) return std::nullopt;
  for (const json::Value& component : *components->as_array()) {
    if (auto hit = match_component(component, watchlist)) return hit;
    if (auto hit = find_watchlisted_component(component, watchlist, depth + 1)) return hit;
  }
  return std::nullopt;
}

PostureCrossCheck cross_check_agentic_posture(const std::optional<AgenticPostureBinding>& binding,
                                              const std::optional<std::string>& sbom_dir) {
  if (!binding) return of_kind(PostureCrossCheck::Kind::kUnstated);
  if (binding->posture != "none") return of_kind(PostureCrossCheck::Kind::kDeclared);
  if (!sbom_dir) return of_kind(PostureCrossCheck::Kind::kNoneUnverified);

  const std::string path = text::join_path(*sbom_dir, kBomRelativePath);
  auto bytes = text::read_file(path, text::OpenMode::kRegularOnly);
  if (!bytes) return bom_unreadable(path, std::move(bytes).error());
  // A BOM that does not parse cannot support a claim of no agency: it is reported like an
  // unreadable one (with the parse error), never as a clean scan.
  auto bom = json::parse_value_pruned(*bytes, kBomKeepLevels);
  if (!bom) return bom_unreadable(path, bom.error().to_string());

  const AgenticSdkWatchlist watchlist = embedded_watchlist();
  if (auto hit = find_watchlisted_component(*bom, watchlist, 0)) {
    PostureCrossCheck result;
    result.kind = PostureCrossCheck::Kind::kContradicted;
    result.posture = binding->posture;
    result.dependency = std::move(*hit);
    return result;
  }
  return of_kind(PostureCrossCheck::Kind::kNoneClean);
}

}  // namespace fennick::certificate
