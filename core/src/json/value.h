#pragma once
// The free-form JSON value: objects keep their members in ascending byte order of the name
// (a repeated name keeps its last value); integers are held apart from floating-point numbers.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fennick::json {

class Value {
 public:
  using Array = std::vector<Value>;
  using Object = std::map<std::string, Value, std::less<>>;
  enum class Kind : std::uint8_t {
    kNull,
    kBool,
    kUnsigned,
    kSigned,
    kFloat,
    kString,
    kArray,
    kObject
  };

  Value() = default;
  static Value null() { return Value(); }
  static Value boolean(bool b) { return Value(Storage(b)); }
  static Value unsigned_integer(std::uint64_t n) { return Value(Storage(n)); }
  // Negative integers only: non-negative integers are always held unsigned.
  static Value signed_integer(std::int64_t n) { return Value(Storage(n)); }
  static Value floating(double d) { return Value(Storage(d)); }
  static Value string(std::string s) { return Value(Storage(std::move(s))); }
  static Value array(Array a) { return Value(Storage(std::move(a))); }
  static Value object(Object o) { return Value(Storage(std::move(o))); }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool is_null() const { return kind() == Kind::kNull; }
  bool is_number() const {
    return kind() == Kind::kUnsigned || kind() == Kind::kSigned || kind() == Kind::kFloat;
  }

  const bool* as_bool() const { return std::get_if<bool>(&v_); }
  // An integer that fits unsigned 64 bits (never a floating-point number, even a whole one).
  std::optional<std::uint64_t> as_u64() const;
  const std::string* as_string() const { return std::get_if<std::string>(&v_); }
  const Array* as_array() const { return std::get_if<Array>(&v_); }
  const Object* as_object() const { return std::get_if<Object>(&v_); }
  Array* as_array() { return std::get_if<Array>(&v_); }
  Object* as_object() { return std::get_if<Object>(&v_); }
  std::optional<std::int64_t> as_negative() const;
  std::optional<double> as_f64() const;  // any number, converted

  // Member of an object, or null when this is no object or has no such member.
  const Value* get(std::string_view key) const;

  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

 private:
  using Storage = std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double,
                               std::string, Array, Object>;
  explicit Value(Storage v) : v_(std::move(v)) {}
  Storage v_;
};

}  // namespace fennick::json
