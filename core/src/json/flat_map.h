#pragma once
// A map from text keys to values held as one vector of entries in ascending byte order of the
// key: one heap block per map instead of one per entry, and read in order by the canonical writer.
//
// The reader appends the entries as it meets them and sorts them once at the end
// (sort_read_entries); the other members keep the order as they go, like std::map.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "json/text.h"

namespace fennick::json {

template <class V>
class FlatMap {
 public:
  using key_type = Text;
  using mapped_type = V;
  using value_type = std::pair<Text, V>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  FlatMap() = default;
  // Like std::map: a repeated key keeps its first value.
  FlatMap(std::initializer_list<value_type> entries) {
    for (const value_type& e : entries) emplace(e.first, e.second);
  }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }

  const_iterator find(std::string_view key) const {
    auto it = lower_bound(key);
    return it != entries_.end() && it->first.view() == key ? it : entries_.end();
  }
  iterator find(std::string_view key) {
    auto it = lower_bound(key);
    return it != entries_.end() && it->first.view() == key ? it : entries_.end();
  }
  bool contains(std::string_view key) const { return find(key) != end(); }
  std::size_t count(std::string_view key) const { return contains(key) ? 1 : 0; }
  const V& at(std::string_view key) const {
    auto it = find(key);
    if (it == end()) throw std::out_of_range("FlatMap::at");
    return it->second;
  }
  V& at(std::string_view key) {
    auto it = find(key);
    if (it == end()) throw std::out_of_range("FlatMap::at");
    return it->second;
  }
  V& operator[](std::string_view key) { return try_emplace(key).first->second; }

  // Inserts unless the key is present; returns the entry and whether it was inserted.
  template <class K, class... Args>
  std::pair<iterator, bool> try_emplace(K&& key, Args&&... args) {
    Text k(std::forward<K>(key));
    auto it = lower_bound(k.view());
    if (it != entries_.end() && it->first.view() == k.view()) return {it, false};
    it = entries_.emplace(it, std::piecewise_construct, std::forward_as_tuple(std::move(k)),
                          std::forward_as_tuple(std::forward<Args>(args)...));
    return {it, true};
  }
  template <class K, class M>
  std::pair<iterator, bool> emplace(K&& key, M&& value) {
    return try_emplace(std::forward<K>(key), std::forward<M>(value));
  }
  std::pair<iterator, bool> insert(value_type entry) {
    return try_emplace(std::move(entry.first), std::move(entry.second));
  }
  template <class K, class M>
  std::pair<iterator, bool> insert_or_assign(K&& key, M&& value) {
    auto [it, inserted] = try_emplace(std::forward<K>(key));
    it->second = std::forward<M>(value);
    return {it, inserted};
  }
  std::size_t erase(std::string_view key) {
    auto it = find(key);
    if (it == end()) return 0;
    entries_.erase(it);
    return 1;
  }

  friend bool operator==(const FlatMap& a, const FlatMap& b) { return a.entries_ == b.entries_; }

  // ---- for the reader ----------------------------------------------------------------------
  void reserve(std::size_t n) { entries_.reserve(n); }
  // Appends an entry without keeping the order; sort_read_entries restores it.
  void append_read_entry(Text&& key, V&& value) {
    entries_.emplace_back(std::move(key), std::move(value));
  }
  // Ascending byte order of the key; of entries with one key, the last read is kept.
  void sort_read_entries() {
    const auto less = [](const value_type& a, const value_type& b) {
      return a.first.view() < b.first.view();
    };
    const auto strictly_ascending = [&] {
      for (std::size_t i = 1; i < entries_.size(); ++i) {
        if (!less(entries_[i - 1], entries_[i])) return false;
      }
      return true;
    };
    if (strictly_ascending()) return;  // the usual case: written in order, no repeats
    std::stable_sort(entries_.begin(), entries_.end(), less);
    // Within each run of one key, keep the last entry (the last read).
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (i + 1 < entries_.size() && entries_[i].first.view() == entries_[i + 1].first.view()) {
        continue;
      }
      if (out != i) entries_[out] = std::move(entries_[i]);
      ++out;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(out), entries_.end());
  }

 private:
  const_iterator lower_bound(std::string_view key) const {
    return std::lower_bound(
        entries_.begin(), entries_.end(), key,
        [](const value_type& e, std::string_view k) { return e.first.view() < k; });
  }
  iterator lower_bound(std::string_view key) {
    return std::lower_bound(
        entries_.begin(), entries_.end(), key,
        [](const value_type& e, std::string_view k) { return e.first.view() < k; });
  }

  std::vector<value_type> entries_;
};

}  // namespace fennick::json
