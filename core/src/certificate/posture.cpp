#include "certificate/posture.h"

#include <algorithm>
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

// Containers are named by their first byte, so only a scalar is ever read into a Value.
std::string invalid_type(const json::RawValue& found, std::string_view expecting) {
  std::string described;
  if (found.is_object()) {
    described = "map";
  } else if (found.is_array()) {
    described = "sequence";
  } else {
    described = json::describe_found(found.to_value());
  }
  return "invalid type: " + described + ", expected " + std::string(expecting);
}

std::optional<std::string> take_string(const json::RawValue& v, std::string& out) {
  std::optional<std::string> s = v.as_string();
  if (!s) return invalid_type(v, "a string");
  out = std::move(*s);
  return std::nullopt;
}

std::optional<std::string> take_object(const json::RawValue& v, json::RawValue& out) {
  if (!v.is_object()) return invalid_type(v, "a map");
  out = v;
  return std::nullopt;
}

std::optional<std::string> take_array(const json::RawValue& v, json::RawValue& out) {
  if (!v.is_array()) return invalid_type(v, "a sequence");
  out = v;
  return std::nullopt;
}

// Field `index` in declared order.
std::optional<std::string> take_field(std::size_t index, const json::RawValue& v,
                                      GovernanceEnvelopeShape& shape) {
  switch (index) {
    case 0:
      return take_string(v, shape.schema_version);
    case 1:
      return take_object(v, shape.process);
    case 2:
      return take_object(v, shape.ceilings);
    case 3:
      return take_array(v, shape.gates);
    case 4:
      return take_array(v, shape.emits);
    case 5:
      return take_object(v, shape.constituents);
    default:
      return take_object(v, shape.overrides);
  }
}

Result<GovernanceEnvelopeShape> shape_from_members(const json::RawValue& envelope) {
  // The last member of each name counts, as it would in a map of the members.
  std::array<std::optional<json::RawValue>, kShapeFields.size()> found;
  envelope.for_each_member([&](std::string_view name, json::RawValue member) {
    for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
      if (kShapeFields[i] == name) found[i] = std::move(member);
    }
  });
  GovernanceEnvelopeShape shape;
  // A wrong kind is reported for the first offending name in ascending byte order of the
  // names, and before any missing field.
  std::array<std::size_t, kShapeFields.size()> by_name{};
  for (std::size_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
  std::sort(by_name.begin(), by_name.end(),
            [](std::size_t a, std::size_t b) { return kShapeFields[a] < kShapeFields[b]; });
  for (const std::size_t i : by_name) {
    if (!found[i]) continue;
    if (auto error = take_field(i, *found[i], shape)) return Err(std::move(*error));
  }
  for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
    if (!found[i]) return Err("missing field `" + std::string(kShapeFields[i]) + "`");
  }
  return shape;
}

Result<GovernanceEnvelopeShape> shape_from_elements(const json::RawValue& envelope) {
  std::array<std::optional<json::RawValue>, kShapeFields.size()> elements;
  std::size_t count = 0;
  envelope.for_each_element([&](json::RawValue element) {
    if (count < elements.size()) elements[count] = std::move(element);
    ++count;
  });
  GovernanceEnvelopeShape shape;
  for (std::size_t i = 0; i < kShapeFields.size(); ++i) {
    if (i >= count) {
      return Err("invalid length " + std::to_string(i) + ", expected " +
                 std::string(kShapeLengthExpecting));
    }
    if (auto error = take_field(i, *elements[i], shape)) return Err(std::move(*error));
  }
  if (count > kShapeFields.size()) {
    return Err("invalid length " + std::to_string(count) + ", expected fewer elements in array");
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

Result<GovernanceEnvelopeShape> governance_envelope_from_value(const json::RawValue& value) {
  if (value.is_object()) return shape_from_members(value);
  if (value.is_array()) return shape_from_elements(value);
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
