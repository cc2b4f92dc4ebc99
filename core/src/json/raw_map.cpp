#include "json/raw_map.h"

#include <stdexcept>
#include <string>

#include "json/writer.h"

namespace fennick::json {

bool RawMap::empty() const {
  if (!read_) return entries_.empty();
  // Checked object text: "{", blanks, then "}" exactly when it has no member.
  const std::string_view text = text_.text();
  const std::size_t next = text.find_first_not_of(" \t\n\r", 1);
  return next != std::string_view::npos && text[next] == '}';
}

std::optional<RawValue> RawMap::get(std::string_view key) const {
  if (read_) return text_.get(key);
  const auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

RawValue RawMap::at(std::string_view key) const {
  std::optional<RawValue> value = get(key);
  if (!value) throw std::out_of_range("RawMap::at");
  return std::move(*value);
}

void RawMap::to_entries() {
  if (!read_) return;
  entries_.clear();
  text_.for_each_member([this](std::string_view key, RawValue value) {
    entries_.append_read_entry(Text(key), std::move(value));
  });
  entries_.sort_read_entries();
  text_ = RawValue();
  read_ = false;
}

RawValue& RawMap::operator[](std::string_view key) {
  to_entries();
  return entries_[key];
}

void RawMap::clear() {
  text_ = RawValue();
  read_ = false;
  entries_.clear();
}

bool read_raw_map(Parser& p, RawMap& out) {
  out.clear();
  if (!read_raw_object(p, out.text_)) return false;
  out.read_ = true;
  return true;
}

void write_raw_map(Output& out, const RawMap& map) {
  if (map.read_) {
    write_raw_value(out, map.text_);
    return;
  }
  out += '{';
  bool first = true;
  for (const auto& [key, value] : map.entries_) {
    if (!first) out += ',';
    first = false;
    write_string(out, key);
    out += ':';
    write_raw_value(out, value);
  }
  out += '}';
}

bool operator==(const RawMap& a, const RawMap& b) {
  std::string x;
  std::string y;
  write_into(x, [&](Output& o) { write_raw_map(o, a); });
  write_into(y, [&](Output& o) { write_raw_map(o, b); });
  return x == y;
}

}  // namespace fennick::json
