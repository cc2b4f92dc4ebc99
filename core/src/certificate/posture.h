#pragma once
// The shape rules of a certificate's agentic posture binding: what a posture may claim about
// its surfaces, and the minimum shape of a governed surface's envelope.

#include <string>
#include <vector>

#include "certificate/outcome.h"
#include "certificate/records.h"
#include "json/value.h"
#include "result.h"

namespace fennick::certificate {

// The minimum shape of a governed surface's envelope. Nothing in it is interpreted: it is built
// only to judge an envelope, then dropped.
struct GovernanceEnvelopeShape {
  std::string schema_version;
  json::Value::Object process;
  json::Value::Object ceilings;
  json::Value::Array gates;
  json::Value::Array emits;
  json::Value::Object constituents;
  json::Value::Object overrides;
};

// Converts a free-form value (an object, or an array of the seven fields in declared order) by
// the reading library's rules; the error is its message, without a position since an in-memory
// value has none.
Result<GovernanceEnvelopeShape> governance_envelope_from_value(const json::Value& value);

// Adds the shape errors of one binding to `outcome`, in the order found; none when the binding is
// sound.
void validate_agentic_posture_binding(const AgenticPostureBinding& binding,
                                      VerificationOutcome& outcome);

// The shape errors of one binding as a list: the first kKeptErrors of them.
std::vector<std::string> validate_agentic_posture_binding(const AgenticPostureBinding& binding);

}  // namespace fennick::certificate
