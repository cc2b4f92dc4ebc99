#include "json/value.h"

namespace fennick::json {

std::optional<std::uint64_t> Value::as_u64() const {
  if (const auto* u = std::get_if<std::uint64_t>(&v_)) return *u;
  return std::nullopt;
}

std::optional<std::int64_t> Value::as_negative() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return *i;
  return std::nullopt;
}

std::optional<double> Value::as_f64() const {
  if (const auto* d = std::get_if<double>(&v_)) return *d;
  if (const auto* u = std::get_if<std::uint64_t>(&v_)) return static_cast<double>(*u);
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return static_cast<double>(*i);
  return std::nullopt;
}

const Value* Value::get(std::string_view key) const {
  const Object* o = as_object();
  if (o == nullptr) return nullptr;
  auto it = o->find(key);
  return it == o->end() ? nullptr : &it->second;
}

}  // namespace fennick::json
