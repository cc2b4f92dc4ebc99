#include "json/read.h"

#include <limits>
#include <stdexcept>
#include <type_traits>

#include "json/writer.h"
#include "text/display.h"

namespace fennick::json {

RecordSpec::RecordSpec(std::string_view name, std::initializer_list<FieldSpec> field_list)
    : fields(field_list) {
  if (fields.size() > 64)
    throw std::logic_error("record " + std::string(name) + ": too many fields");
  // Optional rules hold their "none" in a std::optional member; the other rules never do.
  for (const FieldSpec& f : fields) {
    bool optional_rule = f.presence == kOptional || f.presence == kOptionalDefaulted;
    if (optional_rule != f.member_is_optional) {
      throw std::logic_error("record " + std::string(name) + " field `" + std::string(f.key) +
                             "`: presence rule does not fit the member type");
    }
  }
  expecting = "struct ";
  expecting += name;
  length_expecting = expecting + " with " + std::to_string(fields.size()) +
                     (fields.size() == 1 ? " element" : " elements");
}

EnumSpec::EnumSpec(std::initializer_list<std::string_view> wire_list) : wire(wire_list) {
  auto quoted = [](std::string_view w) { return "`" + std::string(w) + "`"; };
  if (wire.empty()) {
    expected_list = "there are no variants";
  } else if (wire.size() == 1) {
    expected_list = "expected " + quoted(wire[0]);
  } else if (wire.size() == 2) {
    expected_list = "expected " + quoted(wire[0]) + " or " + quoted(wire[1]);
  } else {
    expected_list = "expected one of ";
    for (std::size_t i = 0; i < wire.size(); ++i) {
      if (i > 0) expected_list += ", ";
      expected_list += quoted(wire[i]);
    }
  }
}

namespace {

// The start of every scalar reader: the next value must exist.
bool peek_value(Parser& p, int& c) {
  c = p.peek_ws();
  if (c < 0) return p.fail_peek("EOF while parsing a value");
  return true;
}

// An integer field of the given width: in range, or "invalid value"; a floating-point number is
// an invalid type even when whole.
bool read_integer(Parser& p, std::string_view width, std::int64_t min, std::uint64_t max,
                  Number& n) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c == '-') {
    p.eat();
    if (!p.parse_number(false, n)) return false;
  } else if (c >= '0' && c <= '9') {
    if (!p.parse_number(true, n)) return false;
  } else {
    return p.fail_invalid_type(width);
  }
  std::string expected = ", expected ";
  expected += width;
  switch (n.kind) {
    case Number::Kind::kUnsigned:
      if (n.u > max) return p.fail_here("invalid value: " + describe_number(n) + expected);
      return true;
    case Number::Kind::kNegative:
      if (n.i < min) return p.fail_here("invalid value: " + describe_number(n) + expected);
      return true;
    case Number::Kind::kFloat:
      break;
  }
  return p.fail_here("invalid type: " + describe_number(n) + expected);
}

bool read_value_limited(Parser& p, Value& out, std::size_t level, std::size_t keep_levels);

}  // namespace

bool read_string(Parser& p, std::string& out) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c != '"') return p.fail_invalid_type("a string");
  p.eat();
  return p.parse_string(out);
}

bool read_text(Parser& p, Text& out) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c != '"') return p.fail_invalid_type("a string");
  p.eat();
  return p.parse_text(out);
}

bool read_bool(Parser& p, bool& out) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c == 't') {
    p.eat();
    out = true;
    return p.parse_ident("rue");
  }
  if (c == 'f') {
    p.eat();
    out = false;
    return p.parse_ident("alse");
  }
  return p.fail_invalid_type("a boolean");
}

bool read_u8(Parser& p, std::uint8_t& out) {
  Number n;
  if (!read_integer(p, "u8", 0, std::numeric_limits<std::uint8_t>::max(), n)) return false;
  out = static_cast<std::uint8_t>(n.u);
  return true;
}

bool read_u32(Parser& p, std::uint32_t& out) {
  Number n;
  if (!read_integer(p, "u32", 0, std::numeric_limits<std::uint32_t>::max(), n)) return false;
  out = static_cast<std::uint32_t>(n.u);
  return true;
}

bool read_u64(Parser& p, std::uint64_t& out) {
  Number n;
  if (!read_integer(p, "u64", 0, std::numeric_limits<std::uint64_t>::max(), n)) return false;
  out = n.u;
  return true;
}

bool read_i32(Parser& p, std::int32_t& out) {
  Number n;
  if (!read_integer(p, "i32", std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max(), n)) {
    return false;
  }
  out = n.kind == Number::Kind::kUnsigned ? static_cast<std::int32_t>(n.u)
                                          : static_cast<std::int32_t>(n.i);
  return true;
}

bool read_f64(Parser& p, double& out) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  Number n;
  if (c == '-') {
    p.eat();
    if (!p.parse_number(false, n)) return false;
  } else if (c >= '0' && c <= '9') {
    if (!p.parse_number(true, n)) return false;
  } else {
    return p.fail_invalid_type("f64");
  }
  switch (n.kind) {
    case Number::Kind::kUnsigned:
      out = static_cast<double>(n.u);
      break;
    case Number::Kind::kNegative:
      out = static_cast<double>(n.i);
      break;
    case Number::Kind::kFloat:
      out = n.f;
      break;
  }
  return true;
}

bool read_timestamp(Parser& p, text::Timestamp& out) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c != '"') return p.fail_invalid_type("an RFC 3339 formatted date and time string");
  p.eat();
  std::string s;
  if (!p.parse_string(s)) return false;
  auto parsed = text::parse_rfc3339(s);
  if (!parsed) return p.fail_here(parsed.error());
  out = *parsed;
  return true;
}

bool read_enum(Parser& p, const EnumSpec& table, std::size_t& index) {
  auto match = [&](const std::string& s) {
    for (std::size_t i = 0; i < table.wire.size(); ++i) {
      if (table.wire[i] == s) {
        index = i;
        return true;
      }
    }
    return p.fail_here("unknown variant `" + text::shown_value(s) + "`, " + table.expected_list);
  };
  int c = p.peek_ws();
  if (c == '"') {
    p.eat();
    std::string s;
    return p.parse_string(s) && match(s);
  }
  if (c < 0) return p.fail_peek("EOF while parsing a value");
  if (c != '{') return p.fail_peek("expected value");
  // The tagged form: one member whose key is the variant and whose value is null.
  if (!p.enter()) return false;
  p.eat();
  int k = 0;
  if (!peek_value(p, k)) return false;
  if (k != '"') return p.fail_invalid_type("variant identifier");
  p.eat();
  std::string s;
  if (!p.parse_string(s) || !match(s) || !p.parse_colon()) return false;
  int v = 0;
  if (!peek_value(p, v)) return false;
  if (v != 'n') return p.fail_invalid_type("unit");
  p.eat();
  if (!p.parse_ident("ull")) return false;
  p.leave();
  int end = p.peek_ws();
  if (end == '}') {
    p.eat();
    return true;
  }
  if (end >= 0) return p.fail_here("expected value");
  return p.fail_here("EOF while parsing an object");
}

bool read_sequence(Parser& p, bool (*element)(Parser&, void*), void* ctx) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c != '[') return p.fail_invalid_type("a sequence");
  if (!p.enter()) return false;
  p.eat();
  bool ok = true;
  bool first = true;
  for (;;) {
    bool done = false;
    if (!p.next_element(first, done)) {
      ok = false;
      break;
    }
    if (done) break;
    if (!element(p, ctx)) {
      ok = false;
      break;
    }
  }
  p.leave();
  ok = p.end_seq(ok);
  if (!ok) p.place_error();
  return ok;
}

namespace {

// The frame of a map, with keys read as std::string or as Text.
template <class Key>
bool read_map_with(Parser& p, bool (*entry)(Parser&, Key&& key, void*), void* ctx) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  if (c != '{') return p.fail_invalid_type("a map");
  if (!p.enter()) return false;
  p.eat();
  bool ok = true;
  bool first = true;
  for (;;) {
    bool done = false;
    if (!p.next_key(first, done)) {
      ok = false;
      break;
    }
    if (done) break;
    p.eat();
    Key key;
    bool read_key = false;
    if constexpr (std::is_same_v<Key, Text>) {
      read_key = p.parse_text(key);
    } else {
      read_key = p.parse_string(key);
    }
    if (!read_key || !p.parse_colon() || !entry(p, std::move(key), ctx)) {
      ok = false;
      break;
    }
  }
  p.leave();
  ok = p.end_map(ok);
  if (!ok) p.place_error();
  return ok;
}

}  // namespace

bool read_map(Parser& p, bool (*entry)(Parser&, std::string&& key, void*), void* ctx) {
  return read_map_with(p, entry, ctx);
}

bool read_map(Parser& p, bool (*entry)(Parser&, Text&& key, void*), void* ctx) {
  return read_map_with(p, entry, ctx);
}

namespace {

bool read_record_fields_seq(Parser& p, const RecordSpec& table, void* record) {
  bool first = true;
  const std::size_t n = table.fields.size();
  for (std::size_t i = 0; i < n; ++i) {
    bool done = false;
    if (!p.next_element(first, done)) return false;
    if (done) {
      // The array may end before defaulted fields only.
      for (std::size_t j = i; j < n; ++j) {
        Presence rule = table.fields[j].presence;
        if (rule != kDefaulted && rule != kOptionalDefaulted) {
          return p.fail_unplaced("invalid length " + std::to_string(j) + ", expected " +
                                 table.length_expecting);
        }
      }
      return true;
    }
    if (!table.fields[i].read(p, record)) return false;
  }
  return true;
}

bool read_record_fields_map(Parser& p, const RecordSpec& table, void* record) {
  const std::size_t n = table.fields.size();
  std::uint64_t seen_mask = 0;  // tables hold at most 64 fields (checked when built)
  auto seen = [&](std::size_t i) { return (seen_mask >> i) & 1U; };
  bool first = true;
  std::string key;
  for (;;) {
    bool done = false;
    if (!p.next_key(first, done)) return false;
    if (done) break;
    p.eat();
    if (!p.parse_string(key)) return false;
    std::size_t index = n;
    for (std::size_t i = 0; i < n; ++i) {
      if (table.fields[i].key == key) {
        index = i;
        break;
      }
    }
    if (index < n && seen(index)) return p.fail_unplaced("duplicate field `" + key + "`");
    if (!p.parse_colon()) return false;
    if (index == n) {
      if (!p.ignore_value()) return false;
      continue;
    }
    seen_mask |= std::uint64_t{1} << index;
    if (!table.fields[index].read(p, record)) return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!seen(i) && table.fields[i].presence == kRequired) {
      return p.fail_unplaced("missing field `" + std::string(table.fields[i].key) + "`");
    }
  }
  return true;
}

}  // namespace

bool read_record(Parser& p, const RecordSpec& table, void* record) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  bool ok = false;
  if (c == '[') {
    if (!p.enter()) return false;
    p.eat();
    ok = read_record_fields_seq(p, table, record);
    p.leave();
    ok = p.end_seq(ok);
  } else if (c == '{') {
    if (!p.enter()) return false;
    p.eat();
    ok = read_record_fields_map(p, table, record);
    p.leave();
    ok = p.end_map(ok);
  } else {
    return p.fail_invalid_type(table.expecting);
  }
  if (!ok) p.place_error();
  return ok;
}

namespace {

bool read_value_limited(Parser& p, Value& out, std::size_t level, std::size_t keep_levels) {
  int c = 0;
  if (!peek_value(p, c)) return false;
  switch (c) {
    case 'n':
      p.eat();
      out = Value::null();
      return p.parse_ident("ull");
    case 't':
      p.eat();
      out = Value::boolean(true);
      return p.parse_ident("rue");
    case 'f':
      p.eat();
      out = Value::boolean(false);
      return p.parse_ident("alse");
    case '"': {
      p.eat();
      std::string s;
      if (!p.parse_string(s)) return false;
      out = Value::string(std::move(s));
      return true;
    }
    case '[':
    case '{': {
      if (level >= keep_levels) {
        out = Value::null();
        return p.ignore_value();
      }
      // The same frames as lists and maps of records; the nested values carry the level on.
      struct Nested {
        Value::Array items;
        Value::Object members;
        std::size_t level;
        std::size_t keep_levels;
      } nested{{}, {}, level + 1, keep_levels};
      if (c == '[') {
        const bool ok = read_sequence(
            p,
            [](Parser& q, void* ctx) {
              auto& n = *static_cast<Nested*>(ctx);
              n.items.emplace_back();
              return read_value_limited(q, n.items.back(), n.level, n.keep_levels);
            },
            &nested);
        out = Value::array(std::move(nested.items));
        return ok;
      }
      const bool ok = read_map(
          p,
          [](Parser& q, std::string&& key, void* ctx) {
            auto& n = *static_cast<Nested*>(ctx);
            Value member;
            if (!read_value_limited(q, member, n.level, n.keep_levels)) return false;
            n.members.insert_or_assign(std::move(key), std::move(member));
            return true;
          },
          &nested);
      out = Value::object(std::move(nested.members));
      return ok;
    }
    default:
      break;
  }
  Number n;
  if (c == '-') {
    p.eat();
    if (!p.parse_number(false, n)) return false;
  } else if (c >= '0' && c <= '9') {
    if (!p.parse_number(true, n)) return false;
  } else {
    return p.fail_peek("expected value");
  }
  switch (n.kind) {
    case Number::Kind::kUnsigned:
      out = Value::unsigned_integer(n.u);
      break;
    case Number::Kind::kNegative:
      out = Value::signed_integer(n.i);
      break;
    case Number::Kind::kFloat:
      out = Value::floating(n.f);
      break;
  }
  return true;
}

}  // namespace

bool read_value(Parser& p, Value& out) {
  // The parser's depth limit bounds the nesting; no level is pruned.
  return read_value_limited(p, out, 0, std::numeric_limits<std::size_t>::max());
}

Result<Value, Error> parse_value(std::string_view input) { return from_json<Value>(input); }

Result<Value, Error> parse_value_pruned(std::string_view input, std::size_t keep_levels) {
  Parser p(input);
  p.disable_depth_limit();
  Value out;
  if (!read_value_limited(p, out, 0, keep_levels) || !p.end_document()) {
    p.place_error();
    return Err(p.take_error());
  }
  return out;
}

}  // namespace fennick::json
