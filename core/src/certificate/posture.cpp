#include "certificate/posture.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "json/parser.h"
#include "text/display.h"

namespace fennick::certificate {
namespace {

constexpr std::string_view kShapeExpecting = "struct GovernanceEnvelopeShape";
constexpr std::string_view kShapeLengthExpecting = "struct GovernanceEnvelopeShape with 7 elements";
constexpr std::array<std::string_view, 7> kShapeFields = {
    "schema_version", "process", "ceilings", "gates", "emits", "constituents", "overrides"};

std::string invalid_type(const json::Value& found, std::string_view expecting) {
  return "invalid type: " + json::describe_found(found) + ", expected " + std::string(expecting);
}

std::optional<std::string> take(const json::Value& v, std::string& out) {
  const std::string* s = v.as_string();
  if (s == nullptr) return invalid_type(v, "a string");
  out = *s;
  return std::nullopt;
}

std::optional<std::string> take(const json::Value& v, json::Value::Object& out) {
  const json::Value::Object* o = v.as_object();
  if (o == nullptr) return invalid_type(v, "a map");
  out = *o;
  return std::nullopt;
}

std::optional<std::string> take(const json::Value& v, json::Value::Array& out) {
  const json::Value::Array* a = v.as_array();
  if (a == nullptr) return invalid_type(v, "a sequence");
  out = *a;
  return std::nullopt;
}

// Field `index` in declared order.
std::optional<std::string> take_field(std::size_t index, const json::Value& v,
                                      GovernanceEnvelopeShape& shape) {
  switch (index) {
    case 0:
      return take(v, shape.schema_version);
    case 1:
      return take(v, shape.process);
    case 2:
      return take(v, shape.ceilings);
    case 3:
      return take(v, shape.gates);
    case 4:
      return take(v, shape.emits);
    case 5:
      return take(v, shape.constituents);
    default:
      return take(v, shape.overrides);
  }
}

Result<GovernanceEnvelopeShape> shape_from_members(const json::Value::Object& members) {
  GovernanceEnvelopeShape shape;
  std::array<bool, kShapeFields.size()> seen{};
  // The map holds members in ascending byte order, so a wrong kind is reported for the first
  // offending name in that order, and before any missing field.
  for (const auto& [name, member] : members) {
    for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
      if (kShapeFields[i] != name) continue;
      if (auto error = take_field(i, member, shape)) return Err(std::move(*error));
      seen[i] = true;
      break;
    }
  }
  for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
    if (!seen[i]) return Err("missing field `" + std::string(kShapeFields[i]) + "`");
  }
  return shape;
}

Result<GovernanceEnvelopeShape> shape_from_elements(const json::Value::Array& elements) {
  GovernanceEnvelopeShape shape;
  for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
    if (i >= elements.size()) {
      return Err("invalid length " + std::to_string(i) + ", expected " +
                 std::string(kShapeLengthExpecting));
    }
    if (auto error = take_field(i, elements[i], shape)) return Err(std::move(*error));
  }
  if (elements.size() > kShapeFields.size()) {
    return Err("invalid length " + std::to_string(elements.size()) +
               ", expected fewer elements in array");
  }
  return shape;
}

void judge_governed_surfaces(const std::vector<CertAgenticSurface>& surfaces,
                             VerificationOutcome& outcome) {
  for (std::size_t i = 0; i < surfaces.size(); ++i) {
    const CertAgenticSurface& surface = surfaces[i];
    const auto which = [&] {
      return "agentic_posture_binding: `governed` surface #" + std::to_string(i) + " (" +
             text::shown_value(surface.kind) + ")";
    };
    if (!surface.governance_envelope || surface.governance_envelope->is_null()) {
      outcome.add_error(
          [&] { return which() + " is missing its governance_envelope (spec 210 FR-004)"; });
      continue;
    }
    auto shape = governance_envelope_from_value(*surface.governance_envelope);
    if (!shape) {
      outcome.add_error([&] {
        return which() + " has a non-conformant governance_envelope: " + shape.error() +
               " (spec 210 FR-004)";
      });
    }
  }
}

}  // namespace

Result<GovernanceEnvelopeShape> governance_envelope_from_value(const json::Value& value) {
  if (const json::Value::Object* members = value.as_object()) return shape_from_members(*members);
  if (const json::Value::Array* elements = value.as_array()) return shape_from_elements(*elements);
  return Err(invalid_type(value, kShapeExpecting));
}

void validate_agentic_posture_binding(const AgenticPostureBinding& binding,
                                      VerificationOutcome& outcome) {
  const std::string posture(binding.posture);
  if (posture == "none") {
    if (!binding.surfaces.empty()) {
      outcome.add_error("agentic_posture_binding: `none` must enumerate no surfaces, found " +
                        std::to_string(binding.surfaces.size()));
    }
  } else if (posture == "declared" || posture == "governed") {
    if (binding.surfaces.empty()) {
      outcome.add_error("agentic_posture_binding: `" + posture +
                        "` requires a non-empty surface enumeration");
    } else if (posture == "governed") {
      judge_governed_surfaces(binding.surfaces, outcome);
    }
  } else {
    outcome.add_error("agentic_posture_binding: unknown posture `" + text::shown_value(posture) +
                      "` (expected none|declared|governed)");
  }
}

std::vector<std::string> validate_agentic_posture_binding(const AgenticPostureBinding& binding) {
  VerificationOutcome collected;
  validate_agentic_posture_binding(binding, collected);
  return std::move(collected.errors);
}

}  // namespace fennick::certificate
