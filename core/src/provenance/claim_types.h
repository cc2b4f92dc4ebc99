#pragma once
// Records that a claim carries besides its text: the citations of corpus lines and the assumption
// block. BRD claims never fill them; the validator reads them for claims that do.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "json/boxed.h"

namespace fennick::provenance {

// A calendar date as the assumption expiry holds it; ordered by year, then month, then day.
struct CalendarDate {
  std::int32_t year = 0;
  std::uint32_t month = 0;
  std::uint32_t day = 0;

  auto operator<=>(const CalendarDate&) const = default;
};

// One cited range of a corpus document.
struct Citation {
  std::string source;      // path of the cited corpus document
  std::string reserved;    // carried along; nothing in the audit reads it
  std::string quote_hash;  // expected quote hash of the cited lines, 64 lower-case hex characters
  std::uint32_t line_start = 0;  // first cited line, 1-based
  std::uint32_t line_end = 0;    // last cited line, 1-based, inclusive

  bool operator==(const Citation&) const = default;
};

// A claim accepted on assumption until its expiry date.
struct Assumption {
  CalendarDate expiry;

  bool operator==(const Assumption&) const = default;
};

// A list kept on the heap: an empty one costs one pointer. Copies are deep.
template <class T>
class BoxedList {
 public:
  BoxedList() = default;
  BoxedList(std::vector<T> items) { assign(std::move(items)); }
  BoxedList(std::initializer_list<T> items) { assign(std::vector<T>(items)); }

  std::size_t size() const { return items_ ? items_->size() : 0; }
  bool empty() const { return size() == 0; }
  const T& operator[](std::size_t i) const { return (*items_)[i]; }
  T& operator[](std::size_t i) { return (*items_)[i]; }
  typename std::vector<T>::const_iterator begin() const { return all().begin(); }
  typename std::vector<T>::const_iterator end() const { return all().end(); }
  void push_back(T item) {
    if (!items_) items_.emplace();
    items_->push_back(std::move(item));
  }
  void clear() { items_.reset(); }

  friend bool operator==(const BoxedList& a, const BoxedList& b) { return a.all() == b.all(); }
  friend bool operator==(const BoxedList& a, const std::vector<T>& b) { return a.all() == b; }

 private:
  void assign(std::vector<T> items) {
    if (!items.empty()) items_ = std::move(items);
  }
  const std::vector<T>& all() const {
    static const std::vector<T> kNone;
    return items_ ? *items_ : kNone;
  }
  json::Boxed<std::vector<T>> items_;
};

}  // namespace fennick::provenance
