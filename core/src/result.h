#pragma once
// A value or an error, for the checks that report failures as values.

#include <string>
#include <utility>
#include <variant>

namespace fennick {

template <class E>
struct Err {
  // A constructor, not aggregate initialisation: `Err(x)` must also build with clang 14 (the
  // fuzzing compiler), which lacks parenthesised aggregate initialisation.
  explicit Err(E v) : value(std::move(v)) {}
  E value;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Err<F> e) : v_(std::in_place_index<1>, E(std::move(e.value))) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }

  E& error() & { return std::get<1>(v_); }
  const E& error() const& { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

}  // namespace fennick
