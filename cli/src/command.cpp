#include "command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "text/display.h"
#include "text/utf8.h"

namespace fennick::cli {
namespace {

// Help is laid out for a 100-column terminal and never wrapped: the layout must not depend on
// where the output goes.
constexpr std::size_t kTermWidth = 100;
constexpr std::string_view kTab = "  ";
constexpr std::size_t kTabWidth = 2;
constexpr std::string_view kNextLineIndent = "        ";
// Suggestions are offered above this Jaro similarity.
constexpr double kSuggestionThreshold = 0.7;

constexpr std::string_view kHelpSubcommandAbout =
    "Print this message or the help of the given subcommand(s)";

// ---------------------------------------------------------------------------------------------
// Colour

class Painter {
 public:
  explicit Painter(bool enabled) : enabled_(enabled) {}
  std::string error(std::string_view t) const { return wrap("\x1b[1m\x1b[31m", t); }
  std::string invalid(std::string_view t) const { return wrap("\x1b[33m", t); }
  std::string valid(std::string_view t) const { return wrap("\x1b[32m", t); }
  std::string heading(std::string_view t) const { return wrap("\x1b[1m\x1b[4m", t); }
  std::string literal(std::string_view t) const { return wrap("\x1b[1m", t); }

 private:
  std::string wrap(std::string_view code, std::string_view t) const {
    std::string s;
    if (enabled_) s += code;
    s += t;
    if (enabled_) s += "\x1b[0m";
    return s;
  }
  bool enabled_;
};

bool colour_enabled(bool is_tty, const Terminal& terminal) {
  const auto env = [&](const char* name) -> std::optional<std::string> {
    return terminal.getenv ? terminal.getenv(name) : std::nullopt;
  };
  const auto no_color = env("NO_COLOR");
  if (no_color && !no_color->empty()) return false;
  const auto force = env("CLICOLOR_FORCE");
  if (force && !force->empty()) return true;
  const auto clicolor = env("CLICOLOR");
  if (clicolor && *clicolor == "0") return false;
  if (!is_tty) return false;
  const auto term = env("TERM");
  return (term && *term != "dumb") || clicolor.has_value() || env("CI").has_value();
}

// Help and version go to stdout, errors and the bare-run help to stderr; each is painted by
// what its own stream is.
struct Streams {
  Painter out;
  Painter err;
};

// ---------------------------------------------------------------------------------------------
// Text helpers

// Decodes for comparison and measuring; an invalid sequence counts as one U+FFFD, as in its
// displayed form.
std::vector<char32_t> code_points(std::string_view s) {
  std::vector<char32_t> cps;
  std::size_t pos = 0;
  while (pos < s.size()) {
    char32_t cp = 0;
    cps.push_back(text::next_code_point(s, pos, cp) ? cp : U'\uFFFD');
  }
  return cps;
}

std::size_t width(std::string_view s) { return code_points(s).size(); }

std::string spaces(std::size_t n) { return std::string(n, ' '); }

double jaro(const std::vector<char32_t>& a, const std::vector<char32_t>& b) {
  if (a.empty() && b.empty()) return 1.0;
  if (a.empty() || b.empty()) return 0.0;
  std::size_t range = std::max(a.size(), b.size()) / 2;
  range = range > 0 ? range - 1 : 0;
  std::vector<bool> a_matched(a.size(), false);
  std::vector<bool> b_matched(b.size(), false);
  std::size_t matches = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::size_t low = i > range ? i - range : 0;
    const std::size_t high = std::min(b.size(), i + range + 1);
    for (std::size_t j = low; j < high; ++j) {
      if (!b_matched[j] && a[i] == b[j]) {
        a_matched[i] = true;
        b_matched[j] = true;
        ++matches;
        break;
      }
    }
  }
  if (matches == 0) return 0.0;
  std::size_t half_transpositions = 0;
  std::size_t j = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a_matched[i]) continue;
    while (!b_matched[j]) ++j;
    if (a[i] != b[j]) ++half_transpositions;
    ++j;
  }
  const double m = static_cast<double>(matches);
  const double t = static_cast<double>(half_transpositions / 2);
  return (m / static_cast<double>(a.size()) + m / static_cast<double>(b.size()) + (m - t) / m) /
         3.0;
}

// Names close to `typed`, least similar first (the best is the last); equal scores keep the
// declaration order.
std::vector<std::string_view> similar_names(std::string_view typed,
                                            const std::vector<std::string_view>& names) {
  const auto typed_cps = code_points(typed);
  std::vector<std::pair<double, std::string_view>> scored;
  for (const auto name : names) {
    const double score = jaro(typed_cps, code_points(name));
    if (score > kSuggestionThreshold) scored.emplace_back(score, name);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& l, const auto& r) { return l.first < r.first; });
  std::vector<std::string_view> out;
  for (const auto& [score, name] : scored) out.push_back(name);
  return out;
}

// The file name of argv[0], as a path's last normal component; "fennick" when there is none or
// it is not valid UTF-8.
std::string program_name(const std::vector<std::string>& argv, std::string_view fallback) {
  if (argv.empty()) return std::string(fallback);
  const std::string_view path = argv.front();
  std::string_view last;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") last = part;
    start = end + 1;
  }
  if (last.empty() || last == ".." || !text::is_valid_utf8(last)) return std::string(fallback);
  return std::string(last);
}

// ---------------------------------------------------------------------------------------------
// The definition with the parser's built-in parts

bool is_positional(const ArgDef& a) { return a.long_name.empty() && a.short_name == '\0'; }

bool takes_value(const ArgDef& a) {
  return a.action == ArgAction::kSet || a.action == ArgAction::kAppend;
}

ArgDef make_arg(std::string_view id, std::string_view long_name, char short_name,
                std::string_view value_name, ArgAction action, std::string_view help) {
  ArgDef a;
  a.id = id;
  a.long_name = long_name;
  a.short_name = short_name;
  a.value_name = value_name;
  a.action = action;
  a.help = help;
  return a;
}

void add_builtins(CommandDef& cmd, bool top_level) {
  for (auto& sub : cmd.subcommands) add_builtins(sub, false);
  cmd.args.push_back(make_arg("help", "help", 'h', "", ArgAction::kHelp, "Print help"));
  if (top_level && !cmd.version.empty()) {
    cmd.args.push_back(
        make_arg("version", "version", 'V', "", ArgAction::kVersion, "Print version"));
  }
  if (!cmd.subcommands.empty()) {
    CommandDef help;
    help.name = "help";
    help.about = kHelpSubcommandAbout;
    help.is_help_subcommand = true;
    help.args.push_back(make_arg("subcommand", "", '\0', "COMMAND", ArgAction::kAppend,
                                 "Print help for the subcommand(s)"));
    cmd.subcommands.push_back(std::move(help));
  }
}

const CommandDef* find_subcommand(const CommandDef& cmd, std::string_view name) {
  for (const auto& sub : cmd.subcommands) {
    if (sub.name == name) return &sub;
  }
  return nullptr;
}

bool has_help_flag(const CommandDef& cmd) {
  return std::any_of(cmd.args.begin(), cmd.args.end(),
                     [](const ArgDef& a) { return a.action == ArgAction::kHelp; });
}

bool has_positionals(const CommandDef& cmd) {
  return std::any_of(cmd.args.begin(), cmd.args.end(), is_positional);
}

// ---------------------------------------------------------------------------------------------
// Rendering arguments, usage and help

// "<NAME>" or "[NAME]..." for a positional; " <NAME>" after an option's switch.
std::string value_suffix(const ArgDef& a, bool required) {
  const std::string name(a.value_name);
  if (is_positional(a)) {
    std::string s = required ? "<" + name + ">" : "[" + name + "]";
    if (a.action == ArgAction::kAppend) s += "...";
    return s;
  }
  return takes_value(a) ? " <" + name + ">" : "";
}

std::string styled_arg(const ArgDef& a, const Painter& p, bool required) {
  std::string s;
  if (!a.long_name.empty()) {
    s = p.literal("--" + std::string(a.long_name));
  } else if (a.short_name != '\0') {
    s = p.literal(std::string("-") + a.short_name);
  }
  return s + value_suffix(a, required);
}

// How the argument is named in messages: "--artifact-dir <ARTIFACT_DIR>", "<CERTIFICATE>".
std::string arg_display(const ArgDef& a) { return styled_arg(a, Painter(false), a.required); }

// "[OPTIONS]" stands for the optional, visible options; help and version do not count.
bool needs_options_tag(const CommandDef& cmd) {
  return std::any_of(cmd.args.begin(), cmd.args.end(), [](const ArgDef& a) {
    return !is_positional(a) && !a.hidden && !a.required && a.action != ArgAction::kHelp &&
           a.action != ArgAction::kVersion;
  });
}

std::string subcommand_placeholder(const CommandDef& cmd) {
  if (cmd.subcommands.empty()) return "";
  return cmd.subcommand_required ? " <COMMAND>" : " [COMMAND]";
}

// The full usage: the program, [OPTIONS], the required options and every positional.
std::string help_usage(const CommandDef& cmd, std::string_view bin, const Painter& p) {
  std::string s = p.literal(bin);
  if (needs_options_tag(cmd)) s += " [OPTIONS]";
  for (const auto& a : cmd.args) {
    if (!is_positional(a) && a.required && !a.hidden) s += " " + styled_arg(a, p, true);
  }
  for (const auto& a : cmd.args) {
    if (is_positional(a) && !a.hidden) s += " " + styled_arg(a, p, a.required);
  }
  return s + subcommand_placeholder(cmd);
}

// The usage shown with an error about a particular command line: the required arguments plus
// the ones in `used`, options before positionals.
std::string smart_usage(const CommandDef& cmd, std::string_view bin,
                        const std::vector<std::size_t>& used, const Painter& p) {
  std::vector<std::size_t> listed;
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    if (cmd.args[i].required) listed.push_back(i);
  }
  for (const std::size_t i : used) {
    if (std::find(listed.begin(), listed.end(), i) == listed.end()) listed.push_back(i);
  }
  std::string s = p.literal(bin);
  for (const std::size_t i : listed) {
    if (!is_positional(cmd.args[i])) s += " " + styled_arg(cmd.args[i], p, true);
  }
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    const bool wanted = std::find(listed.begin(), listed.end(), i) != listed.end();
    if (wanted && is_positional(cmd.args[i])) s += " " + styled_arg(cmd.args[i], p, true);
  }
  if (cmd.subcommand_required) s += subcommand_placeholder(cmd);
  return s;
}

// An error about nothing in particular shows the full usage.
std::string usage_for(const CommandDef& cmd, std::string_view bin,
                      const std::vector<std::size_t>& used, const Painter& p) {
  return used.empty() ? help_usage(cmd, bin, p) : smart_usage(cmd, bin, used, p);
}

// A section switches every entry to the two-line layout when one help text does not fit beside
// a name column that already takes more than 40% of the line.
bool help_too_long(std::size_t help_width, std::size_t taken) {
  return kTermWidth >= taken &&
         static_cast<double>(taken) / static_cast<double>(kTermWidth) > 0.40 &&
         help_width > kTermWidth - taken;
}

void append_help_text(std::string& out, std::string_view help, bool next_line,
                      std::size_t padding) {
  if (next_line) {
    out += "\n";
    out += kTab;
    out += kNextLineIndent;
  } else {
    out += spaces(padding);
  }
  out += help;
}

void append_args_section(std::string& out, const std::vector<const ArgDef*>& args, const Painter& p,
                         bool positional) {
  std::size_t longest = 2;
  for (const ArgDef* a : args) longest = std::max(longest, width(arg_display(*a)));
  // Options leave room for "-h, " before the long name.
  const std::size_t taken = longest + 2 * kTabWidth + (positional ? 0 : 4);
  const bool next_line = std::any_of(args.begin(), args.end(), [&](const ArgDef* a) {
    return help_too_long(width(a->help), taken);
  });
  for (std::size_t i = 0; i < args.size(); ++i) {
    const ArgDef& a = *args[i];
    if (i > 0) out += "\n";
    out += kTab;
    if (!positional) {
      out += a.short_name != '\0' ? p.literal(std::string("-") + a.short_name) + ", " : "    ";
    }
    out += styled_arg(a, p, a.required);
    append_help_text(out, a.help, next_line, longest - width(arg_display(a)) + kTabWidth);
  }
}

void append_commands_section(std::string& out, const CommandDef& cmd, const Painter& p) {
  std::size_t longest = 2;
  for (const auto& sub : cmd.subcommands) longest = std::max(longest, width(sub.name));
  const std::size_t taken = longest + 2 * kTabWidth;
  const bool next_line =
      std::any_of(cmd.subcommands.begin(), cmd.subcommands.end(),
                  [&](const CommandDef& sub) { return help_too_long(width(sub.about), taken); });
  for (std::size_t i = 0; i < cmd.subcommands.size(); ++i) {
    const CommandDef& sub = cmd.subcommands[i];
    if (i > 0) out += "\n";
    out += kTab;
    out += p.literal(sub.name);
    append_help_text(out, sub.about, next_line, longest - width(sub.name) + kTabWidth);
  }
}

std::string render_help(const CommandDef& cmd, std::string_view bin, const Painter& p) {
  std::string out;
  if (!cmd.about.empty()) {
    out += cmd.about;
    out += "\n\n";
  }
  out += p.heading("Usage:") + " " + help_usage(cmd, bin, p);
  std::vector<const ArgDef*> positionals;
  std::vector<const ArgDef*> options;
  for (const auto& a : cmd.args) {
    if (!a.hidden) (is_positional(a) ? positionals : options).push_back(&a);
  }
  if (!cmd.subcommands.empty()) {
    out += "\n\n" + p.heading("Commands:") + "\n";
    append_commands_section(out, cmd, p);
  }
  if (!positionals.empty()) {
    out += "\n\n" + p.heading("Arguments:") + "\n";
    append_args_section(out, positionals, p, true);
  }
  if (!options.empty()) {
    out += "\n\n" + p.heading("Options:") + "\n";
    append_args_section(out, options, p, false);
  }
  return out + "\n";
}

// ---------------------------------------------------------------------------------------------
// Usage errors

struct UsageError {
  std::string message;               // after "error: ", styled
  std::vector<std::string> tips;     // after "tip: ", styled
  std::optional<std::string> usage;  // the usage line's body, styled
};

ParseExit render_error(const UsageError& e, const CommandDef& cmd, const Painter& p) {
  std::string s = p.error("error:") + " " + e.message;
  if (!e.tips.empty()) s += "\n";
  for (const auto& tip : e.tips) s += "\n" + std::string(kTab) + p.valid("tip:") + " " + tip;
  if (e.usage) s += "\n\n" + p.heading("Usage:") + " " + *e.usage;
  s += has_help_flag(cmd) ? "\n\nFor more information, try '" + p.literal("--help") + "'.\n" : "\n";
  return ParseExit{.code = 2, .out = {}, .err = std::move(s)};
}

std::string quoted_list(const std::vector<std::string_view>& names, const Painter& p) {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += ", ";
    s += "'" + p.valid(names[i]) + "'";
  }
  return s;
}

std::string trailing_value_tip(std::string_view shown, const Painter& p) {
  return "to pass '" + p.invalid(shown) + "' as a value, use '" +
         p.valid("-- " + std::string(shown)) + "'";
}

// ---------------------------------------------------------------------------------------------
// Parsing one command's arguments

struct LevelResult {
  std::vector<bool> present;
  std::vector<std::string> values;
  const CommandDef* subcommand = nullptr;
  std::size_t next = 0;  // first argument after the subcommand's name
};

using LevelOutcome = std::variant<LevelResult, ParseExit>;

// Parses the arguments of one command, from `begin` up to the end or to a subcommand's name.
// A value is held pending until the next argument that acts, or the end, records it: only then
// is it known whether an option got its value. When an unknown argument is what ends the parse,
// a fault in the pending value is dropped in favour of reporting that argument.
class LevelParser {
 public:
  LevelParser(const CommandDef& cmd, std::string bin, const Streams& streams)
      : cmd_(cmd), bin_(std::move(bin)), streams_(streams) {
    result_.present.assign(cmd_.args.size(), false);
    result_.values.assign(cmd_.args.size(), std::string());
    for (std::size_t i = 0; i < cmd_.args.size(); ++i) {
      if (is_positional(cmd_.args[i])) positionals_.push_back(i);
    }
  }

  LevelOutcome run(const std::vector<std::string>& args, std::size_t begin) {
    for (std::size_t i = begin; i < args.size(); ++i) {
      const std::string_view arg = args[i];
      if (!trailing_) {
        if (const CommandDef* sub = find_subcommand(cmd_, arg)) {
          result_.subcommand = sub;
          result_.next = i + 1;
          return std::move(result_);
        }
        if (arg == "--") {
          if (auto e = resolve_pending()) return std::move(*e);
          trailing_ = true;
          continue;
        }
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
          if (auto e = parse_long(arg.substr(2))) return std::move(*e);
          continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
          if (auto e = parse_short(arg.substr(1))) return std::move(*e);
          continue;
        }
        if (awaiting_value_) {
          pending_->values.emplace_back(arg);
          awaiting_value_ = false;
          continue;
        }
      }
      if (next_positional_ < positionals_.size()) {
        if (auto e = resolve_pending()) return std::move(*e);
        pending_ = Pending{positionals_[next_positional_++], {std::string(arg)}};
        continue;
      }
      return unmatched_argument(arg);
    }
    if (auto e = resolve_pending()) return std::move(*e);
    if (auto e = missing_required()) return std::move(*e);
    return std::move(result_);
  }

 private:
  struct Pending {
    std::size_t arg;
    std::vector<std::string> values;
  };

  ParseExit fail(UsageError e) const { return render_error(e, cmd_, streams_.err); }

  ParseExit help() const {
    return ParseExit{.code = 0, .out = render_help(cmd_, bin_, streams_.out), .err = {}};
  }

  ParseExit version() const {
    return ParseExit{.code = 0,
                     .out = std::string(cmd_.name) + " " + std::string(cmd_.version) + "\n",
                     .err = {}};
  }

  // Arguments matched so far that usage lines may show (hidden ones are left out).
  std::vector<std::size_t> used() const {
    std::vector<std::size_t> out;
    for (const std::size_t i : order_) {
      if (!cmd_.args[i].hidden) out.push_back(i);
    }
    return out;
  }

  void mark_present(std::size_t arg) {
    if (result_.present[arg]) return;
    result_.present[arg] = true;
    order_.push_back(arg);
  }

  void unmark(std::size_t arg) {
    result_.present[arg] = false;
    order_.erase(std::remove(order_.begin(), order_.end(), arg), order_.end());
  }

  std::optional<ParseExit> resolve_pending() {
    if (!pending_) return std::nullopt;
    Pending p = std::move(*pending_);
    pending_.reset();
    awaiting_value_ = false;
    return react(p.arg, std::move(p.values));
  }

  // Records one occurrence of a flag or of a value-taking argument with its value. (The names
  // given to `help` are read by help_subcommand, never here.)
  std::optional<ParseExit> react(std::size_t arg, std::vector<std::string> values) {
    const ArgDef& a = cmd_.args[arg];
    if (takes_value(a) && values.empty()) return empty_value(a);
    if (result_.present[arg]) {
      unmark(arg);
      const Painter& p = streams_.err;
      return fail({.message = "the argument '" + p.invalid(arg_display(a)) +
                              "' cannot be used multiple times",
                   .tips = {},
                   .usage = help_usage(cmd_, bin_, p)});
    }
    mark_present(arg);
    if (takes_value(a)) {
      // A path cannot be empty: "--opt=" is a missing value, not an empty path.
      if (values.front().empty()) return empty_value(a);
      result_.values[arg] = std::move(values.front());
    }
    return std::nullopt;
  }

  ParseExit empty_value(const ArgDef& a) const {
    return fail({.message = "a value is required for '" + streams_.err.literal(arg_display(a)) +
                            "' but none was supplied",
                 .tips = {},
                 .usage = std::nullopt});
  }

  std::optional<std::size_t> find_long(std::string_view name) const {
    for (std::size_t i = 0; i < cmd_.args.size(); ++i) {
      if (!cmd_.args[i].long_name.empty() && cmd_.args[i].long_name == name) return i;
    }
    return std::nullopt;
  }

  std::optional<std::size_t> find_short(char32_t c) const {
    for (std::size_t i = 0; i < cmd_.args.size(); ++i) {
      if (cmd_.args[i].short_name != '\0' &&
          static_cast<char32_t>(static_cast<unsigned char>(cmd_.args[i].short_name)) == c) {
        return i;
      }
    }
    return std::nullopt;
  }

  // Acts on a flag that takes no value: help and version end the parse.
  std::optional<ParseExit> act_on_flag(std::size_t arg) {
    if (auto e = resolve_pending()) return e;
    switch (cmd_.args[arg].action) {
      case ArgAction::kHelp:
        return help();
      case ArgAction::kVersion:
        return version();
      default:
        return react(arg, {});
    }
  }

  std::optional<ParseExit> parse_long(std::string_view body) {
    const std::size_t eq = body.find('=');
    const std::string_view name = body.substr(0, eq);
    const std::optional<std::string_view> attached =
        eq == std::string_view::npos ? std::nullopt : std::optional(body.substr(eq + 1));
    const auto found = text::is_valid_utf8(name) ? find_long(name) : std::nullopt;
    if (!found) return unknown_long(text::shown_value(name));
    const ArgDef& a = cmd_.args[*found];
    if (takes_value(a)) {
      if (auto e = resolve_pending()) return e;
      if (attached) return react(*found, {std::string(*attached)});
      pending_ = Pending{*found, {}};
      awaiting_value_ = true;
      return std::nullopt;
    }
    if (attached) {
      std::vector<std::size_t> shown;
      for (const std::size_t i : order_) {
        if (!cmd_.args[i].hidden && !cmd_.args[i].required) shown.push_back(i);
      }
      shown.push_back(*found);
      (void)resolve_pending();
      const Painter& p = streams_.err;
      return fail({.message = "unexpected value '" + p.invalid(text::shown_value(*attached)) +
                              "' for '" + p.literal(arg_display(a)) +
                              "' found; no more were expected",
                   .tips = {},
                   .usage = usage_for(cmd_, bin_, shown, p)});
    }
    return act_on_flag(*found);
  }

  std::optional<ParseExit> parse_short(std::string_view body) {
    std::size_t pos = 0;
    while (pos < body.size()) {
      const std::size_t start = pos;
      char32_t c = 0;
      if (!text::next_code_point(body, pos, c)) {
        return unknown_short("-" + text::shown_value(body.substr(start)));
      }
      const auto found = find_short(c);
      if (!found) return unknown_short("-" + text::shown_value(body.substr(start, pos - start)));
      if (takes_value(cmd_.args[*found])) {
        throw std::logic_error("short names are declared for flags only");
      }
      if (auto e = act_on_flag(*found)) return e;
    }
    return std::nullopt;
  }

  ParseExit unknown_long(const std::string& name) {
    (void)resolve_pending();
    std::vector<std::string_view> longs;
    for (const auto& a : cmd_.args) {
      if (!a.long_name.empty()) longs.push_back(a.long_name);
    }
    const auto candidates = similar_names(name, longs);
    // The suggested argument joins the usage line, as if it had been given.
    if (!candidates.empty()) mark_present(*find_long(candidates.back()));
    const Painter& p = streams_.err;
    const std::string shown = "--" + name;
    UsageError e{.message = "unexpected argument '" + p.invalid(shown) + "' found",
                 .tips = {},
                 .usage = usage_for(cmd_, bin_, used(), p)};
    if (!candidates.empty()) {
      e.tips.push_back("a similar argument exists: '" +
                       p.valid("--" + std::string(candidates.back())) + "'");
    } else if (has_positionals(cmd_)) {
      e.tips.push_back(trailing_value_tip(shown, p));
    }
    return fail(std::move(e));
  }

  ParseExit unknown_short(const std::string& shown) {
    (void)resolve_pending();
    const Painter& p = streams_.err;
    UsageError e{.message = "unexpected argument '" + p.invalid(shown) + "' found",
                 .tips = {},
                 .usage = help_usage(cmd_, bin_, p)};
    if (has_positionals(cmd_)) e.tips.push_back(trailing_value_tip(shown, p));
    return fail(std::move(e));
  }

  // A value with no place: a second positional, or a word that names no subcommand.
  ParseExit unmatched_argument(std::string_view arg) {
    (void)resolve_pending();
    const Painter& p = streams_.err;
    const std::string shown = text::shown_value(arg);
    const std::string usage = help_usage(cmd_, bin_, p);
    if (trailing_ && find_subcommand(cmd_, arg) != nullptr) {
      return fail({.message = "unexpected argument '" + p.invalid(shown) + "' found",
                   .tips = {"subcommand '" + p.valid(shown) + "' exists; to use it, remove the '" +
                            p.invalid("--") + "' before it"},
                   .usage = usage});
    }
    if (!cmd_.subcommands.empty()) {
      std::vector<std::string_view> names;
      for (const auto& sub : cmd_.subcommands) names.push_back(sub.name);
      const auto candidates = similar_names(shown, names);
      if (!candidates.empty() || positionals_.empty()) {
        UsageError e{.message = "unrecognized subcommand '" + p.invalid(shown) + "'",
                     .tips = {},
                     .usage = usage};
        if (candidates.size() == 1) {
          e.tips.push_back("a similar subcommand exists: " + quoted_list(candidates, p));
        } else if (!candidates.empty()) {
          e.tips.push_back("some similar subcommands exist: " + quoted_list(candidates, p));
        }
        return fail(std::move(e));
      }
    }
    return fail({.message = "unexpected argument '" + p.invalid(shown) + "' found",
                 .tips = {},
                 .usage = usage});
  }

  std::optional<ParseExit> missing_required() {
    std::vector<std::size_t> missing;
    for (const bool positional : {false, true}) {
      for (std::size_t i = 0; i < cmd_.args.size(); ++i) {
        const ArgDef& a = cmd_.args[i];
        if (a.required && !result_.present[i] && is_positional(a) == positional) {
          missing.push_back(i);
        }
      }
    }
    if (missing.empty()) return std::nullopt;
    const Painter& p = streams_.err;
    std::string message = "the following required arguments were not provided:";
    for (const std::size_t i : missing) {
      message += "\n" + std::string(kTab) + p.valid(arg_display(cmd_.args[i]));
    }
    std::vector<std::size_t> shown = used();
    shown.insert(shown.end(), missing.begin(), missing.end());
    return fail(
        {.message = std::move(message), .tips = {}, .usage = usage_for(cmd_, bin_, shown, p)});
  }

  const CommandDef& cmd_;
  std::string bin_;
  const Streams& streams_;
  LevelResult result_;
  std::vector<std::size_t> positionals_;
  std::vector<std::size_t> order_;  // matched arguments in the order they were recorded
  std::optional<Pending> pending_;
  bool awaiting_value_ = false;  // pending_ is an option still waiting for its value
  bool trailing_ = false;        // after "--": everything is a value
  std::size_t next_positional_ = 0;
};

// `help [COMMAND]...`: walks the named subcommands and prints the help of the last one.
ParseExit help_subcommand(const CommandDef& top, const std::string& bin,
                          const std::vector<std::string>& args, std::size_t begin,
                          const Streams& streams) {
  const CommandDef* cmd = &top;
  std::string cmd_bin = bin;
  for (std::size_t i = begin; i < args.size(); ++i) {
    const CommandDef* sub = find_subcommand(*cmd, args[i]);
    if (sub == nullptr) {
      const Painter& p = streams.err;
      return render_error(
          {.message = "unrecognized subcommand '" + p.invalid(text::shown_value(args[i])) + "'",
           .tips = {},
           .usage = help_usage(*cmd, cmd_bin, p)},
          *cmd, p);
    }
    cmd = sub;
    cmd_bin += " " + std::string(sub->name);
  }
  return ParseExit{.code = 0, .out = render_help(*cmd, cmd_bin, streams.out), .err = {}};
}

std::optional<std::string> value_of(const CommandDef& cmd, const LevelResult& r,
                                    std::string_view id) {
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    if (cmd.args[i].id == id) {
      return r.present[i] ? std::optional(r.values[i]) : std::nullopt;
    }
  }
  throw std::logic_error("argument '" + std::string(id) + "' is not declared");
}

bool flag_of(const CommandDef& cmd, const LevelResult& r, std::string_view id) {
  for (std::size_t i = 0; i < cmd.args.size(); ++i) {
    if (cmd.args[i].id == id) return r.present[i];
  }
  throw std::logic_error("argument '" + std::string(id) + "' is not declared");
}

// The parser has already enforced the required arguments; an absent one here is a broken
// definition, not a user error.
std::string required_value(const CommandDef& cmd, const LevelResult& r, std::string_view id) {
  auto v = value_of(cmd, r, id);
  if (!v) throw std::logic_error("required argument '" + std::string(id) + "' has no value");
  return std::move(*v);
}

CliCommand to_record(const CommandDef& cmd, const LevelResult& r) {
  if (cmd.name == "verify-certificate") {
    return VerifyCertificateArgs{
        .certificate = required_value(cmd, r, "certificate"),
        .artifact_dir = value_of(cmd, r, "artifact_dir"),
        .platform_jwks = value_of(cmd, r, "platform_jwks"),
        .allow_unsealed = flag_of(cmd, r, "allow_unsealed"),
        .require_sealed = flag_of(cmd, r, "require_sealed"),
        .corpus_attestation = value_of(cmd, r, "corpus_attestation"),
        .sbom_dir = value_of(cmd, r, "sbom_dir"),
    };
  }
  if (cmd.name == "verify-provenance") {
    return VerifyProvenanceArgs{
        .project = required_value(cmd, r, "project"),
        .corpus = value_of(cmd, r, "corpus"),
        .fail_on_rejected = flag_of(cmd, r, "fail_on_rejected"),
    };
  }
  throw std::logic_error("subcommand '" + std::string(cmd.name) + "' has no record");
}

ArgDef path_option(std::string_view id, std::string_view long_name, std::string_view value_name,
                   std::string_view help) {
  return make_arg(id, long_name, '\0', value_name, ArgAction::kSet, help);
}

ArgDef flag(std::string_view id, std::string_view long_name, std::string_view value_name,
            std::string_view help) {
  return make_arg(id, long_name, '\0', value_name, ArgAction::kSetTrue, help);
}

}  // namespace

Terminal real_terminal() {
  return Terminal{
      .stdout_is_tty = ::isatty(1) == 1,
      .stderr_is_tty = ::isatty(2) == 1,
      .getenv = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
      },
  };
}

CommandDef build_command() {
  CommandDef verify_certificate;
  verify_certificate.name = "verify-certificate";
  verify_certificate.about =
      "Verify a governance certificate by re-deriving hashes, checking proof chain integrity "
      "(spec 102 FR-007), adjudicating the platform seal (spec 198 FR-014), checking the corpus "
      "binding by reference (spec 218 FR-003), and checking the SBOM artifact binding by "
      "re-hashing the on-disk BOM + audit artifacts (spec 203 FR-003)";
  ArgDef certificate = make_arg("certificate", "", '\0', "CERTIFICATE", ArgAction::kSet,
                                "Path to the governance-certificate.json file");
  certificate.required = true;
  ArgDef require_sealed =
      flag("require_sealed", "require-sealed", "REQUIRE_SEALED",
           "Deprecated: sealing is now required by default, so this flag is a no-op kept so "
           "existing invocations keep working. Pass `--allow-unsealed` to opt out of the sealed "
           "requirement");
  require_sealed.hidden = true;
  verify_certificate.args = {
      certificate,
      path_option("artifact_dir", "artifact-dir", "ARTIFACT_DIR",
                  "Optional directory containing stage artifacts for hash re-derivation"),
      path_option("platform_jwks", "platform-jwks", "PLATFORM_JWKS",
                  "Path to a saved platform JWKS JSON file (offline seal verification)"),
      flag("allow_unsealed", "allow-unsealed", "ALLOW_UNSEALED",
           "Accept a certificate whose platform countersign cannot be verified: one carrying no "
           "countersign at all, or a sealed one with no `--platform-jwks` to adjudicate it. By "
           "DEFAULT such a certificate is REJECTED (exit 1): the countersign is what binds the run "
           "to its admission contract, so the trust-nobody posture fails closed on its absence "
           "(spec 198 FR-014). This opt-out demotes that rejection to a visible notice with exit "
           "0"),
      require_sealed,
      path_option("corpus_attestation", "corpus-attestation", "CORPUS_ATTESTATION",
                  "Path to a corpus attestation artifact to check the certificate's corpus "
                  "binding against (spec 218). The verifier confirms the link only (claimed hash "
                  "== hash of this file); the attestation's own truth is delegated to keelson's "
                  "verify-attestation. Absent: a present binding is reported "
                  "\"present-but-unverified\" and an absent one \"unbound\""),
      path_option("sbom_dir", "sbom-dir", "SBOM_DIR",
                  "Directory of the produced application, used to re-hash its CycloneDX BOM "
                  "(`.factory/sbom.cdx.json`) and dependency-audit artifact "
                  "(`.factory/audit.json`) against the certificate's SBOM artifact binding "
                  "(spec 203 FR-003). The verifier never regenerates the BOM. Absent: a present "
                  "binding is reported \"present-but-unverified\" and an absent one \"unbound\""),
  };

  CommandDef verify_provenance;
  verify_provenance.name = "verify-provenance";
  verify_provenance.about =
      "Re-check claim provenance for a produced app (spec 121). Read-only: the markdown report is "
      "written to stdout, never into the audited project";
  ArgDef project = path_option("project", "project", "PROJECT",
                               "Project directory to re-check (its BRD + extraction corpus)");
  project.required = true;
  verify_provenance.args = {
      project,
      path_option("corpus", "corpus", "CORPUS",
                  "Override the corpus path (typed JSON or legacy `.txt` directory)"),
      flag("fail_on_rejected", "fail-on-rejected", "FAIL_ON_REJECTED",
           "Exit 1 when any claim is rejected (a brisling fail-closed mode; Torvane's in-tree "
           "audit is a diagnostic that always exits 0). The audit verdict is identical either "
           "way; only the exit code differs"),
  };

  CommandDef fennick;
  fennick.name = "fennick";
  fennick.version = "0.4.0";
  fennick.about =
      "Verify a factory's run-side paperwork (governance certificate, provenance) with no trust "
      "in the producer. Offline, identity-free, read-only.";
  fennick.subcommand_required = true;
  fennick.help_when_no_arguments = true;
  fennick.subcommands = {std::move(verify_certificate), std::move(verify_provenance)};
  return fennick;
}

std::variant<Cli, ParseExit> parse_command_line(const std::vector<std::string>& argv,
                                                const Terminal& terminal) {
  CommandDef top = build_command();
  add_builtins(top, true);
  const Streams streams{Painter(colour_enabled(terminal.stdout_is_tty, terminal)),
                        Painter(colour_enabled(terminal.stderr_is_tty, terminal))};
  const std::string bin = program_name(argv, top.name);

  LevelOutcome outcome = LevelParser(top, bin, streams).run(argv, 1);
  if (auto* exit = std::get_if<ParseExit>(&outcome)) return std::move(*exit);
  const LevelResult& top_result = std::get<LevelResult>(outcome);
  if (top_result.subcommand == nullptr) {
    // The top level's own arguments (help, version) end the parse, so a run that names no
    // subcommand has given nothing at all: it is answered with the help, as an error.
    if (!top.help_when_no_arguments) throw std::logic_error("the command requires a subcommand");
    return ParseExit{.code = 2, .out = {}, .err = render_help(top, bin, streams.err)};
  }
  const CommandDef& sub = *top_result.subcommand;
  if (sub.is_help_subcommand) return help_subcommand(top, bin, argv, top_result.next, streams);

  LevelOutcome sub_outcome =
      LevelParser(sub, bin + " " + std::string(sub.name), streams).run(argv, top_result.next);
  if (auto* exit = std::get_if<ParseExit>(&sub_outcome)) return std::move(*exit);
  return Cli{.subcommand = to_record(sub, std::get<LevelResult>(sub_outcome))};
}

}  // namespace fennick::cli
