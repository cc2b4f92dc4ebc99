#pragma once
// An optional member held on the heap: a large record that is rarely present costs its holder
// one pointer instead of its whole size. Copying copies the value (value semantics, as
// std::optional); the interface is std::optional's.

#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace fennick::json {

template <class T>
class Boxed {
 public:
  Boxed() = default;
  Boxed(std::nullopt_t) {}
  Boxed(T value) : p_(std::make_unique<T>(std::move(value))) {}
  Boxed(const Boxed& other) : p_(other.p_ ? std::make_unique<T>(*other.p_) : nullptr) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(const Boxed& other) {
    if (this != &other) p_ = other.p_ ? std::make_unique<T>(*other.p_) : nullptr;
    return *this;
  }
  Boxed& operator=(Boxed&&) noexcept = default;
  Boxed& operator=(std::nullopt_t) {
    p_.reset();
    return *this;
  }
  Boxed& operator=(T value) {
    if (p_) {
      *p_ = std::move(value);
    } else {
      p_ = std::make_unique<T>(std::move(value));
    }
    return *this;
  }
  ~Boxed() = default;

  bool has_value() const { return p_ != nullptr; }
  explicit operator bool() const { return p_ != nullptr; }
  T& operator*() { return *p_; }
  const T& operator*() const { return *p_; }
  T* operator->() { return p_.get(); }
  const T* operator->() const { return p_.get(); }
  T& value() {
    if (!p_) throw std::bad_optional_access();
    return *p_;
  }
  const T& value() const {
    if (!p_) throw std::bad_optional_access();
    return *p_;
  }
  void reset() { p_.reset(); }
  template <class... Args>
  T& emplace(Args&&... args) {
    p_ = std::make_unique<T>(std::forward<Args>(args)...);
    return *p_;
  }

  friend bool operator==(const Boxed& a, const Boxed& b) {
    if (!a.p_ || !b.p_) return !a.p_ && !b.p_;
    return *a.p_ == *b.p_;
  }
  friend bool operator==(const Boxed& a, std::nullopt_t) { return !a.p_; }

 private:
  std::unique_ptr<T> p_;
};

}  // namespace fennick::json
