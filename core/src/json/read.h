#pragma once
// Typed reading: JSON text into records, lists, maps, enumerations and free-form values, with
// the reading library's rules and messages.
//
// A record declares its fields once, in declared order, and one routine reads every record in
// its object form or its array form:
//
//   const json::RecordSpec& json_record(json::Tag<IntentRecord>) {
//     static const json::RecordSpec table("IntentRecord", {
//         json::field<&IntentRecord::requirements_hash>("requirementsHash", json::kRequired),
//         json::field<&IntentRecord::spec_id>("specId", json::kOptionalDefaulted)});
//     return table;
//   }
//
// Optional fields are std::optional members; defaulted fields take the member's initial value.
// An enumeration `E` (values 0..n-1 in wire order) declares `const json::EnumSpec&
// json_enum(json::Tag<E>)`. Both are found by argument-dependent lookup.

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "json/boxed.h"
#include "json/error.h"
#include "json/flat_map.h"
#include "json/parser.h"
#include "json/raw_map.h"
#include "json/raw_value.h"
#include "json/text.h"
#include "json/value.h"
#include "result.h"
#include "text/rfc3339.h"

namespace fennick::json {

// How a field reads when its key is absent (object form), when its value is null, and whether
// the array form may end before it.
enum class Presence {
  kRequired,           // absent: "missing field"; null: type error; array position needed
  kOptional,           // absent or null: none; array position needed
  kOptionalDefaulted,  // absent or null: none; array may end before it
  kDefaulted,          // absent: default; null: type error; array may end before it
};
inline constexpr Presence kRequired = Presence::kRequired;
inline constexpr Presence kOptional = Presence::kOptional;
inline constexpr Presence kOptionalDefaulted = Presence::kOptionalDefaulted;
inline constexpr Presence kDefaulted = Presence::kDefaulted;

template <class T>
struct Tag {};

struct FieldSpec {
  std::string_view key;
  Presence presence;
  bool (*read)(Parser&, void* record);
  bool member_is_optional;  // checked against the presence rule when the table is built
};

struct RecordSpec {
  RecordSpec(std::string_view name, std::initializer_list<FieldSpec> fields);
  std::string expecting;         // "struct IntentRecord"
  std::string length_expecting;  // "struct IntentRecord with 3 elements"
  std::vector<FieldSpec> fields;
};

struct EnumSpec {
  explicit EnumSpec(std::initializer_list<std::string_view> wire);
  std::vector<std::string_view> wire;  // variant i has wire string wire[i]
  std::string expected_list;           // "`a` or `b`", "one of `a`, `b`, `c`"
};

template <class R>
concept JsonRecord = requires {
  { json_record(Tag<R>{}) } -> std::same_as<const RecordSpec&>;
};
template <class E>
concept JsonEnum = std::is_enum_v<E> && requires {
  { json_enum(Tag<E>{}) } -> std::same_as<const EnumSpec&>;
};

// Readers of the field types. Each reads one value at the parser's position into `out`.
bool read_string(Parser& p, std::string& out);
bool read_text(Parser& p, Text& out);
bool read_bool(Parser& p, bool& out);
bool read_u8(Parser& p, std::uint8_t& out);
bool read_u32(Parser& p, std::uint32_t& out);
bool read_u64(Parser& p, std::uint64_t& out);
bool read_i32(Parser& p, std::int32_t& out);
bool read_f64(Parser& p, double& out);
bool read_timestamp(Parser& p, text::Timestamp& out);
// A free-form value, within the depth limit.
bool read_value(Parser& p, Value& out);
// An enumeration variant index, by its wire strings.
bool read_enum(Parser& p, const EnumSpec& table, std::size_t& index);
// A record through its field table.
bool read_record(Parser& p, const RecordSpec& table, void* record);

template <class T>
struct Read;

template <>
struct Read<std::string> {
  static bool read(Parser& p, std::string& out) { return read_string(p, out); }
};
template <>
struct Read<Text> {
  static bool read(Parser& p, Text& out) { return read_text(p, out); }
};
template <>
struct Read<bool> {
  static bool read(Parser& p, bool& out) { return read_bool(p, out); }
};
template <>
struct Read<std::uint8_t> {
  static bool read(Parser& p, std::uint8_t& out) { return read_u8(p, out); }
};
template <>
struct Read<std::uint32_t> {
  static bool read(Parser& p, std::uint32_t& out) { return read_u32(p, out); }
};
template <>
struct Read<std::uint64_t> {
  static bool read(Parser& p, std::uint64_t& out) { return read_u64(p, out); }
};
template <>
struct Read<std::int32_t> {
  static bool read(Parser& p, std::int32_t& out) { return read_i32(p, out); }
};
template <>
struct Read<double> {
  static bool read(Parser& p, double& out) { return read_f64(p, out); }
};
template <>
struct Read<text::Timestamp> {
  static bool read(Parser& p, text::Timestamp& out) { return read_timestamp(p, out); }
};
template <>
struct Read<Value> {
  static bool read(Parser& p, Value& out) { return read_value(p, out); }
};
template <>
struct Read<RawValue> {
  static bool read(Parser& p, RawValue& out) { return read_raw_value(p, out); }
};
template <>
struct Read<RawMap> {
  static bool read(Parser& p, RawMap& out) { return read_raw_map(p, out); }
};

template <class T>
struct Read<std::optional<T>> {
  static bool read(Parser& p, std::optional<T>& out) {
    if (p.peek_ws() == 'n') {
      p.eat();
      out.reset();
      return p.parse_ident("ull");
    }
    T value{};
    if (!Read<T>::read(p, value)) return false;
    out = std::move(value);
    return true;
  }
};

template <class T>
struct Read<Boxed<T>> {
  static bool read(Parser& p, Boxed<T>& out) {
    if (p.peek_ws() == 'n') {
      p.eat();
      out.reset();
      return p.parse_ident("ull");
    }
    return Read<T>::read(p, out.emplace());
  }
};

// Shared frame of lists and maps: opening bracket, depth, closing bracket, error placement.
bool read_sequence(Parser& p, bool (*element)(Parser&, void*), void* ctx);
bool read_map(Parser& p, bool (*entry)(Parser&, std::string&& key, void*), void* ctx);
bool read_map(Parser& p, bool (*entry)(Parser&, Text&& key, void*), void* ctx);

// The room to set aside for the elements of the list or map that opens at the next byte: what a
// quick count finds, but never more than a few times the bytes the list spans, whatever they
// hold. Only large elements are counted: moving small ones as the list grows costs less.
template <class T>
std::size_t room_for(const Parser& p) {
  if constexpr (sizeof(T) <= 64) {
    return 0;
  } else {
    const Parser::Extent extent = p.count_elements();
    return std::min(extent.elements, extent.bytes * 8 / sizeof(T));
  }
}

template <class T>
struct Read<std::vector<T>> {
  static bool read(Parser& p, std::vector<T>& out) {
    // A present list replaces the member's default whole (a defaulted list may start non-empty).
    out.clear();
    // Sized once: growing by doubling would move every element read so far, again and again.
    out.reserve(room_for<T>(p));
    return read_sequence(
        p,
        [](Parser& q, void* ctx) {
          auto& list = *static_cast<std::vector<T>*>(ctx);
          list.emplace_back();
          return Read<T>::read(q, list.back());
        },
        &out);
  }
};

template <class T>
struct Read<std::map<std::string, T, std::less<>>> {
  static bool read(Parser& p, std::map<std::string, T, std::less<>>& out) {
    out.clear();  // as for lists: no entries of a default survive a present map
    return read_map(
        p,
        [](Parser& q, std::string&& key, void* ctx) {
          T value{};
          if (!Read<T>::read(q, value)) return false;
          // A repeated key keeps its last value.
          // Keys usually arrive in order: hint the end so the insertion is constant time.
          auto& map = *static_cast<std::map<std::string, T, std::less<>>*>(ctx);
          map.insert_or_assign(map.end(), std::move(key), std::move(value));
          return true;
        },
        &out);
  }
};

template <class T>
struct Read<FlatMap<T>> {
  static bool read(Parser& p, FlatMap<T>& out) {
    out.clear();  // as for lists: no entries of a default survive a present map
    out.reserve(room_for<typename FlatMap<T>::value_type>(p));
    const bool ok = read_map(
        p,
        [](Parser& q, Text&& key, void* ctx) {
          T value{};
          if (!Read<T>::read(q, value)) return false;
          static_cast<FlatMap<T>*>(ctx)->append_read_entry(std::move(key), std::move(value));
          return true;
        },
        &out);
    // A repeated key keeps its last value.
    if (ok) out.sort_read_entries();
    return ok;
  }
};

template <class R>
requires JsonRecord<R>
struct Read<R> {
  static bool read(Parser& p, R& out) {
    // A present record starts from its own defaults, not from whatever the member held: fields
    // it leaves out must read as none or their default, as when the record is read on its own.
    out = R{};
    return read_record(p, json_record(Tag<R>{}), &out);
  }
};

template <class E>
requires JsonEnum<E>
struct Read<E> {
  static bool read(Parser& p, E& out) {
    std::size_t index = 0;
    if (!read_enum(p, json_enum(Tag<E>{}), index)) return false;
    out = static_cast<E>(index);
    return true;
  }
};

namespace detail {
template <class M>
struct MemberOf;
template <class R, class T>
struct MemberOf<T R::*> {
  using Record = R;
  using Type = T;
};
template <class T>
inline constexpr bool kIsOptional = false;
template <class T>
inline constexpr bool kIsOptional<std::optional<T>> = true;
template <class T>
inline constexpr bool kIsOptional<Boxed<T>> = true;
}  // namespace detail

// One field of a record's table: its key, its presence rule and the member it fills.
template <auto Member>
FieldSpec field(std::string_view key, Presence presence) {
  using Info = detail::MemberOf<decltype(Member)>;
  using R = typename Info::Record;
  using T = typename Info::Type;
  return FieldSpec{
      key, presence,
      [](Parser& p, void* record) { return Read<T>::read(p, static_cast<R*>(record)->*Member); },
      detail::kIsOptional<T>};
}

// A whole document holding one T: whitespace may surround it, nothing else may follow.
template <class T>
Result<T, Error> from_json(std::string_view input) {
  Parser p(input);
  T out{};
  if (!Read<T>::read(p, out) || !p.end_document()) {
    p.place_error();
    return Err(p.take_error());
  }
  return out;
}

// The same, from a kept text: the strings of the result view it.
template <class T>
Result<T, Error> from_json(KeptText input) {
  Parser p(std::move(input));
  T out{};
  if (!Read<T>::read(p, out) || !p.end_document()) {
    p.place_error();
    return Err(p.take_error());
  }
  return out;
}

// A whole document as a free-form value.
Result<Value, Error> parse_value(std::string_view input);

// A whole document as a free-form value that keeps `keep_levels` levels of arrays and objects
// (the root counting as the first); anything nested deeper is checked for syntax and held as
// null. No depth limit applies, and the stack stays bounded by `keep_levels`.
Result<Value, Error> parse_value_pruned(std::string_view input, std::size_t keep_levels);

}  // namespace fennick::json
