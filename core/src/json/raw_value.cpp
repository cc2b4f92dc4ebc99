#include "json/raw_value.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "json/read.h"
#include "json/writer.h"

namespace fennick::json {
namespace {

// The checks of read_value, step for step, with nothing kept: `scratch` takes each string.
bool check_value(Parser& p, std::string& scratch) {
  switch (p.peek_ws()) {
    case '[':
      return read_sequence(
          p, [](Parser& q, void* ctx) { return check_value(q, *static_cast<std::string*>(ctx)); },
          &scratch);
    case '{':
      return read_map(
          p,
          [](Parser& q, std::string&&, void* ctx) {
            return check_value(q, *static_cast<std::string*>(ctx));
          },
          &scratch);
    default:
      return p.check_scalar(scratch);
  }
}

// The text was checked when it was read: a step that fails here is a broken invariant.
void must(bool ok) {
  if (!ok) throw std::logic_error("free-form value text no longer reads");
}

// One pass over checked text writing its compact form. Objects whose names already ascend are
// written as they stand; the others are written member by member in name order, from the
// offsets of their members (the only memory the pass takes, bounded by the object's own size).
class CompactWriter {
 public:
  CompactWriter(std::string_view text, Output& out) : text_(text), p_(text), out_(out) {
    p_.disable_depth_limit();
  }

  void value() {
    const int c = p_.peek_ws();
    switch (c) {
      case 'n':
        p_.eat();
        must(p_.parse_ident("ull"));
        out_ += "null";
        return;
      case 't':
        p_.eat();
        must(p_.parse_ident("rue"));
        out_ += "true";
        return;
      case 'f':
        p_.eat();
        must(p_.parse_ident("alse"));
        out_ += "false";
        return;
      case '"':
        string();
        return;
      case '[':
        array();
        return;
      case '{':
        object();
        return;
      default:
        number(c);
    }
  }

 private:
  // Members by offset from the object's opening bracket: the key's opening quote and the value.
  template <class Offset>
  struct Member {
    Offset key;
    Offset value;
  };

  // A string without escapes is written as it stands: checked text holds no raw quote,
  // backslash or control character inside a string, which are all the writer escapes.
  void string() {
    const std::size_t start = p_.offset();
    const char* body = text_.data() + start + 1;
    const std::size_t rest = text_.size() - start - 1;
    const auto* quote = static_cast<const char*>(std::memchr(body, '"', rest));
    if (quote != nullptr &&
        std::memchr(body, '\\', static_cast<std::size_t>(quote - body)) == nullptr) {
      const std::size_t end = static_cast<std::size_t>(quote - text_.data()) + 1;
      out_ += text_.substr(start, end - start);
      p_.seek(end);
      return;
    }
    p_.eat();
    must(p_.parse_string(scratch_));
    write_string(out_, scratch_);
  }

  // An integer of up to 18 digits is written as it stands (checked text has no leading zeros);
  // "-0", longer integers, fractions and exponents are converted as the tree converts them.
  void number(int c) {
    const std::size_t start = p_.offset();
    const std::size_t digits = start + (c == '-' ? 1 : 0);
    std::size_t end = digits;
    while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
    const bool integer =
        end == text_.size() || (text_[end] != '.' && text_[end] != 'e' && text_[end] != 'E');
    if (integer && end - digits <= 18 && !(c == '-' && text_[digits] == '0')) {
      out_ += text_.substr(start, end - start);
      p_.seek(end);
      return;
    }
    Number n;
    if (c == '-') {
      p_.eat();
      must(p_.parse_number(false, n));
    } else {
      must(p_.parse_number(true, n));
    }
    switch (n.kind) {
      case Number::Kind::kUnsigned:
        write_u64(out_, n.u);
        return;
      case Number::Kind::kNegative:
        write_i64(out_, n.i);
        return;
      case Number::Kind::kFloat:
        write_f64(out_, n.f);
        return;
    }
  }

  void array() {
    p_.eat();
    out_ += '[';
    bool first = true;
    bool any = false;
    for (;;) {
      bool done = false;
      must(p_.next_element(first, done));
      if (done) break;
      if (any) out_ += ',';
      any = true;
      value();
    }
    must(p_.end_seq(true));
    out_ += ']';
  }

  // The decoded name whose opening quote is at `at`: a view of the text when it holds no escape.
  std::string_view key_at(std::size_t at, std::string& buffer) const {
    const std::size_t body = at + 1;
    const std::size_t stop = text_.find_first_of("\"\\", body);
    if (stop != std::string_view::npos && text_[stop] == '"') {
      return text_.substr(body, stop - body);
    }
    Parser q(text_.substr(body));
    must(q.parse_string(buffer));
    return buffer;
  }

  void object() {
    const std::size_t begin = p_.offset();
    p_.eat();
    // First pass: do the names already ascend strictly (no repeat)?
    bool ascending = true;
    std::size_t count = 0;
    std::string previous;
    bool first = true;
    for (;;) {
      bool done = false;
      must(p_.next_key(first, done));
      if (done) break;
      p_.eat();
      must(p_.parse_string(scratch_));
      if (count > 0 && !(previous < scratch_)) ascending = false;
      previous.swap(scratch_);
      ++count;
      must(p_.parse_colon());
      must(p_.ignore_value());
    }
    must(p_.end_map(true));
    const std::size_t end = p_.offset();
    p_.seek(begin);
    if (ascending) {
      write_in_order();
    } else if (end - begin <= std::numeric_limits<std::uint32_t>::max()) {
      write_sorted<std::uint32_t>(begin, count);
    } else {
      write_sorted<std::uint64_t>(begin, count);
    }
    p_.seek(end);
  }

  void write_in_order() {
    p_.eat();
    out_ += '{';
    bool first = true;
    bool any = false;
    for (;;) {
      bool done = false;
      must(p_.next_key(first, done));
      if (done) break;
      if (any) out_ += ',';
      any = true;
      string();
      out_ += ':';
      must(p_.parse_colon());
      value();
    }
    must(p_.end_map(true));
    out_ += '}';
  }

  template <class Offset>
  void write_sorted(std::size_t begin, std::size_t count) {
    std::vector<Member<Offset>> members;
    members.reserve(count);
    p_.eat();
    bool first = true;
    for (;;) {
      bool done = false;
      must(p_.next_key(first, done));
      if (done) break;
      const std::size_t key = p_.offset();
      p_.eat();
      must(p_.parse_string(scratch_));
      must(p_.parse_colon());
      p_.peek_ws();
      const std::size_t value_at = p_.offset();
      must(p_.ignore_value());
      members.push_back({static_cast<Offset>(key - begin), static_cast<Offset>(value_at - begin)});
    }
    std::string a;
    std::string b;
    std::stable_sort(members.begin(), members.end(),
                     [&](const Member<Offset>& x, const Member<Offset>& y) {
                       return key_at(begin + x.key, a) < key_at(begin + y.key, b);
                     });
    out_ += '{';
    bool any = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
      // Of the members with one name, the last read is kept.
      if (i + 1 < members.size() &&
          key_at(begin + members[i].key, a) == key_at(begin + members[i + 1].key, b)) {
        continue;
      }
      if (any) out_ += ',';
      any = true;
      write_string(out_, key_at(begin + members[i].key, a));
      out_ += ':';
      p_.seek(begin + members[i].value);
      value();
    }
    out_ += '}';
  }

  std::string_view text_;
  Parser p_;
  Output& out_;
  std::string scratch_;
};

std::string compact_text(const RawValue& v) {
  std::string out;
  write_raw_value(out, v);
  return out;
}

}  // namespace

RawValue::RawValue(const Value& value) : compact_(true) {
  std::string text;
  write_value(text, value);
  text_ = Text(std::move(text));
}

RawValue RawValue::of_checked_text(Text text) {
  RawValue v;
  v.text_ = std::move(text);
  return v;
}

Value RawValue::to_value() const {
  auto parsed = parse_value(text());
  if (!parsed) throw std::logic_error("free-form value text no longer reads");
  return std::move(parsed).value();
}

RawValue RawValue::part(std::string_view slice) const {
  RawValue v;
  v.text_ = Text::view_of(text_, slice);
  v.compact_ = compact_;
  return v;
}

void RawValue::for_each_member(const std::function<void(std::string_view, RawValue)>& visit) const {
  if (!is_object()) return;
  Parser p(text());
  p.disable_depth_limit();
  p.eat();
  std::string name;
  bool first = true;
  for (;;) {
    bool done = false;
    must(p.next_key(first, done));
    if (done) return;
    p.eat();
    must(p.parse_string(name));
    must(p.parse_colon());
    p.peek_ws();
    const std::size_t begin = p.offset();
    must(p.ignore_value());
    visit(name, part(text().substr(begin, p.offset() - begin)));
  }
}

void RawValue::for_each_element(const std::function<void(RawValue)>& visit) const {
  if (!is_array()) return;
  Parser p(text());
  p.disable_depth_limit();
  p.eat();
  bool first = true;
  for (;;) {
    bool done = false;
    must(p.next_element(first, done));
    if (done) return;
    const std::size_t begin = p.offset();
    must(p.ignore_value());
    visit(part(text().substr(begin, p.offset() - begin)));
  }
}

std::optional<RawValue> RawValue::get(std::string_view key) const {
  std::optional<RawValue> found;
  for_each_member([&](std::string_view name, RawValue member) {
    if (name == key) found = std::move(member);
  });
  return found;
}

std::optional<std::string> RawValue::as_string() const {
  if (text().front() != '"') return std::nullopt;
  Parser p(text());
  p.eat();
  std::string out;
  if (!p.parse_string(out)) return std::nullopt;
  return out;
}

std::optional<std::uint64_t> RawValue::as_u64() const {
  const char c = text().front();
  if (c < '0' || c > '9') return std::nullopt;
  Parser p(text());
  Number n;
  if (!p.parse_number(true, n) || n.kind != Number::Kind::kUnsigned) return std::nullopt;
  return n.u;
}

bool operator==(const RawValue& a, const RawValue& b) {
  if (a.compact_ && b.compact_) return a.text() == b.text();
  return compact_text(a) == compact_text(b);
}

bool operator==(const RawValue& a, const Value& b) {
  std::string other;
  write_value(other, b);
  return compact_text(a) == other;
}

bool read_raw_value(Parser& p, RawValue& out) {
  p.peek_ws();
  const std::size_t begin = p.offset();
  std::string scratch;
  if (!check_value(p, scratch)) return false;
  out = RawValue::of_checked_text(p.slice(begin, p.offset()));
  return true;
}

bool read_raw_object(Parser& p, RawValue& out) {
  p.peek_ws();
  const std::size_t begin = p.offset();
  std::string scratch;
  const bool ok = read_map(
      p,
      [](Parser& q, Text&&, void* ctx) { return check_value(q, *static_cast<std::string*>(ctx)); },
      &scratch);
  if (!ok) return false;
  out = RawValue::of_checked_text(p.slice(begin, p.offset()));
  return true;
}

Result<RawValue, Error> parse_raw_value(std::string text) {
  const Text whole(std::move(text));
  Parser p(whole.view());
  p.peek_ws();
  const std::size_t begin = p.offset();
  std::string scratch;
  const bool ok = check_value(p, scratch);
  const std::size_t end = p.offset();
  if (!ok || !p.end_document()) {
    p.place_error();
    return Err(p.take_error());
  }
  const std::string_view value = whole.view().substr(begin, end - begin);
  return RawValue::of_checked_text(Text::view_of(whole, value));
}

void write_raw_value(Output& out, const RawValue& value) {
  if (value.compact_) {
    out += value.text();
    return;
  }
  CompactWriter(value.text(), out).value();
}

void write_raw_value(std::string& out, const RawValue& value) {
  write_into(out, [&](Output& o) { write_raw_value(o, value); });
}

}  // namespace fennick::json
