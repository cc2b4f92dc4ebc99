#include "certificate/watchlist.h"

#include <cstdint>
#include <limits>
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

// One component on its own, by its string purl and name (null when absent or not strings): a
// purl alone decides, even when it matches nothing; the name is tried only without one.
std::optional<std::size_t> match_entry(const std::string* purl, const std::string* name,
                                       const AgenticSdkWatchlist& watchlist) {
  if (purl != nullptr) {
    const PackageUrl url = split_package_url(*purl);
    for (std::size_t i = 0; i < watchlist.packages.size(); ++i) {
      if (url_names_entry(url, watchlist.packages[i])) return i;
    }
    return std::nullopt;
  }
  if (name != nullptr) {
    for (std::size_t i = 0; i < watchlist.packages.size(); ++i) {
      if (watchlist.packages[i].name == *name) return i;
    }
  }
  return std::nullopt;
}

std::optional<std::string> match_component(const json::Value& component,
                                           const AgenticSdkWatchlist& watchlist) {
  const json::Value* purl = component.get("purl");
  const json::Value* name = component.get("name");
  const auto hit = match_entry(purl != nullptr ? purl->as_string() : nullptr,
                               name != nullptr ? name->as_string() : nullptr, watchlist);
  if (!hit) return std::nullopt;
  return watchlist.packages[*hit].name;
}

// The walk of find_watchlisted_component done while the BOM's text is read, with the reader's
// checks, levels and messages of parse_value_pruned and no tree. A component's purl and name are
// known only when its object closes, after its nested components were read, so each component
// takes a slot in walk order when it opens and its result fills the slot when it closes; the
// first slot with a hit is the answer. A repeated "components" member replaces the slots of the
// earlier one, which are the last taken.
class BomScan {
 public:
  BomScan(std::string_view text, const AgenticSdkWatchlist& watchlist)
      : p_(text), watchlist_(watchlist) {
    p_.disable_depth_limit();
  }

  Result<std::optional<std::string>, json::Error> run() {
    if (!value(0, Role::kContainer, 0) || !p_.end_document()) {
      p_.place_error();
      return Err(p_.take_error());
    }
    for (const std::uint32_t slot : slots_) {
      if (slot != kNoHit) return std::optional<std::string>(watchlist_.packages[slot].name);
    }
    return std::optional<std::string>();
  }

 private:
  static constexpr std::uint32_t kNoHit = std::numeric_limits<std::uint32_t>::max();

  // kContainer and kComponent: `depth` is the object's depth as a container; kComponents: the
  // depth of the container whose array it is.
  enum class Role : std::uint8_t { kOther, kContainer, kComponents, kComponent };

  struct Object {
    BomScan* scan;
    std::size_t level;
    unsigned depth;
    bool component;
    bool container;
    std::optional<std::string> purl;
    std::optional<std::string> name;
    bool seen_components = false;
    std::size_t components_start = 0;
  };

  struct Array {
    BomScan* scan;
    std::size_t level;
    unsigned depth;
    bool components;
  };

  bool value(std::size_t level, Role role, unsigned depth) {
    const int c = p_.peek_ws();
    if (c != '[' && c != '{') return p_.check_scalar(scratch_);
    if (level >= kBomKeepLevels) return p_.ignore_value();
    return c == '[' ? array(level, role, depth) : object(level, role, depth);
  }

  bool array(std::size_t level, Role role, unsigned depth) {
    Array frame{this, level, depth, role == Role::kComponents};
    return json::read_sequence(
        p_,
        [](json::Parser&, void* ctx) {
          const Array& a = *static_cast<Array*>(ctx);
          return a.components ? a.scan->value(a.level + 1, Role::kComponent, a.depth + 1)
                              : a.scan->value(a.level + 1, Role::kOther, 0);
        },
        &frame);
  }

  bool object(std::size_t level, Role role, unsigned depth) {
    const bool component = role == Role::kComponent;
    const bool container = (role == Role::kContainer || component) && depth <= kMaxComponentDepth;
    Object frame{this, level, depth, component, container, {}, {}};
    const std::size_t slot = slots_.size();
    if (component) slots_.push_back(kNoHit);
    const bool ok = json::read_map(
        p_,
        [](json::Parser&, std::string&& key, void* ctx) {
          Object& o = *static_cast<Object*>(ctx);
          return o.scan->member(o, key);
        },
        &frame);
    if (ok && component) {
      const auto hit = match_entry(frame.purl ? &*frame.purl : nullptr,
                                   frame.name ? &*frame.name : nullptr, watchlist_);
      if (hit) slots_[slot] = static_cast<std::uint32_t>(*hit);
    }
    return ok;
  }

  bool member(Object& o, std::string_view key) {
    if (o.container && key == "components") {
      if (o.seen_components) {
        slots_.resize(o.components_start);
      } else {
        o.seen_components = true;
        o.components_start = slots_.size();
      }
      return value(o.level + 1, Role::kComponents, o.depth);
    }
    if (o.component && (key == "purl" || key == "name")) {
      std::optional<std::string>& kept = key == "purl" ? o.purl : o.name;
      kept.reset();
      if (p_.peek_ws() == '"') {
        p_.eat();
        std::string text;
        if (!p_.parse_string(text)) return false;
        kept = std::move(text);
        return true;
      }
      return value(o.level + 1, Role::kOther, 0);
    }
    return value(o.level + 1, Role::kOther, 0);
  }

  json::Parser p_;
  const AgenticSdkWatchlist& watchlist_;
  std::vector<std::uint32_t> slots_;  // one per component examined, in walk order
  std::string scratch_;
};

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

Result<std::optional<std::string>, json::Error> scan_bom_text(
    std::string_view bom, const AgenticSdkWatchlist& watchlist) {
  return BomScan(bom, watchlist).run();
}

PostureCrossCheck cross_check_agentic_posture(const std::optional<AgenticPostureBinding>& binding,
                                              const std::optional<std::string>& sbom_dir) {
  if (!binding) return of_kind(PostureCrossCheck::Kind::kUnstated);
  if (binding->posture != "none") return of_kind(PostureCrossCheck::Kind::kDeclared);
  if (!sbom_dir) return of_kind(PostureCrossCheck::Kind::kNoneUnverified);

  const std::string path = text::join_path(*sbom_dir, kBomRelativePath);
  auto bytes = text::read_file_bytes(path, text::OpenMode::kRegularOnly);
  if (!bytes) return bom_unreadable(path, std::move(bytes).error());
  // A BOM that does not parse cannot support a claim of no agency: it is reported like an
  // unreadable one (with the parse error), never as a clean scan.
  const AgenticSdkWatchlist watchlist = embedded_watchlist();
  auto hit = scan_bom_text(bytes->view(), watchlist);
  if (!hit) return bom_unreadable(path, hit.error().to_string());
  if (*hit) {
    PostureCrossCheck result;
    result.kind = PostureCrossCheck::Kind::kContradicted;
    result.posture = binding->posture;
    result.dependency = std::move(**hit);
    return result;
  }
  return of_kind(PostureCrossCheck::Kind::kNoneClean);
}

}  // namespace fennick::certificate
