#pragma once
// A map of free-form values read from one JSON object and kept as that object's text: a map of
// many small members costs its holder one Text instead of an entry per member. Code that sets
// members turns it into entries (FlatMap), as small maps built by code are.

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "json/flat_map.h"
#include "json/output.h"
#include "json/parser.h"
#include "json/raw_value.h"
#include "json/text.h"

namespace fennick::json {

class RawMap {
 public:
  RawMap() = default;
  // Like FlatMap: a repeated key keeps its first value.
  RawMap(std::initializer_list<std::pair<Text, RawValue>> entries) : entries_(entries) {}

  // No member at all.
  bool empty() const;
  bool contains(std::string_view key) const { return get(key).has_value(); }
  std::size_t count(std::string_view key) const { return contains(key) ? 1 : 0; }
  // The member's value (a repeated name keeps its last value); throws std::out_of_range when
  // there is none.
  RawValue at(std::string_view key) const;
  std::optional<RawValue> get(std::string_view key) const;
  // Sets members as a FlatMap does; a map read from text first becomes entries.
  RawValue& operator[](std::string_view key);
  void clear();

  // Reads an object as a map of free-form values is read, keeping its text.
  friend bool read_raw_map(Parser& p, RawMap& out);
  // The compact form: members in ascending byte order of the name, the last of a name kept.
  friend void write_raw_map(Output& out, const RawMap& map);

  // Equal when their compact forms are.
  friend bool operator==(const RawMap& a, const RawMap& b);

 private:
  void to_entries();

  RawValue text_;  // the object as read, when read_ is set
  bool read_ = false;
  FlatMap<RawValue> entries_;  // otherwise
};

bool read_raw_map(Parser& p, RawMap& out);
void write_raw_map(Output& out, const RawMap& map);

}  // namespace fennick::json
