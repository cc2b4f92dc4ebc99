#pragma once
// Records that a claim carries besides its text: the citations of corpus lines and the assumption
// block. BRD claims never fill them; the validator reads them for claims that do.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// An optional value kept on the heap, so that a record whose member is nearly always absent pays
// one pointer for it. Copies are deep, as those of std::optional.
template <class T>
class Boxed {
 public:
  Boxed() = default;
  Boxed(std::nullopt_t) {}
  Boxed(T value) : value_(std::make_unique<T>(std::move(value))) {}
  Boxed(const Boxed& other) : value_(other ? std::make_unique<T>(*other) : nullptr) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(const Boxed& other) {
    Boxed copy(other);
    value_.swap(copy.value_);
    return *this;
  }
  Boxed& operator=(Boxed&&) noexcept = default;
  ~Boxed() = default;

  bool has_value() const { return value_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const T& operator*() const { return *value_; }
  T& operator*() { return *value_; }
  const T* operator->() const { return value_.get(); }
  T* operator->() { return value_.get(); }
  void reset() { value_.reset(); }

  friend bool operator==(const Boxed& a, const Boxed& b) {
    return a.has_value() == b.has_value() && (!a.has_value() || *a == *b);
  }

 private:
  std::unique_ptr<T> value_;
};

// A list kept on the heap: an empty one costs one pointer. Copies are deep.
template <class T>
class BoxedList {
 public:
  BoxedList() = default;
  BoxedList(std::vector<T> items) { assign(std::move(items)); }
  BoxedList(std::initializer_list<T> items) { assign(std::vector<T>(items)); }
  BoxedList(const BoxedList& other) : BoxedList(other.all()) {}
  BoxedList(BoxedList&&) noexcept = default;
  BoxedList& operator=(const BoxedList& other) {
    BoxedList copy(other);
    items_.swap(copy.items_);
    return *this;
  }
  BoxedList& operator=(BoxedList&&) noexcept = default;
  ~BoxedList() = default;

  std::size_t size() const { return items_ ? items_->size() : 0; }
  bool empty() const { return size() == 0; }
  const T& operator[](std::size_t i) const { return (*items_)[i]; }
  T& operator[](std::size_t i) { return (*items_)[i]; }
  typename std::vector<T>::const_iterator begin() const { return all().begin(); }
  typename std::vector<T>::const_iterator end() const { return all().end(); }
  void push_back(T item) {
    if (!items_) items_ = std::make_unique<std::vector<T>>();
    items_->push_back(std::move(item));
  }
  void clear() { items_.reset(); }

  friend bool operator==(const BoxedList& a, const BoxedList& b) { return a.all() == b.all(); }
  friend bool operator==(const BoxedList& a, const std::vector<T>& b) { return a.all() == b; }

 private:
  void assign(std::vector<T> items) {
    if (items.empty()) return;
    items_ = std::make_unique<std::vector<T>>(std::move(items));
  }
  const std::vector<T>& all() const {
    static const std::vector<T> kNone;
    return items_ ? *items_ : kNone;
  }
  std::unique_ptr<std::vector<T>> items_;
};

}  // namespace fennick::provenance
