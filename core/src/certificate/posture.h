#pragma once
// The shape rules of a certificate's agentic posture binding: what a posture may claim about
// its surfaces, and the minimum shape of a governed surface's envelope.

#include <string>
#include <vector>

#include "certificate/outcome.h"
#include "certificate/records.h"
#include "json/raw_value.h"
#include "result.h"

namespace fennick::certificate {

// The minimum shape of a governed surface's envelope. Nothing in it is interpreted: it is built
// only to judge an envelope, then dropped.
// Its members view the envelope's text.
struct GovernanceEnvelopeShape {
  std::string schema_version;
  json::RawValue process;       // an object
  json::RawValue ceilings;      // an object
  json::RawValue gates;         // an array
  json::RawValue emits;         // an array
  json::RawValue constituents;  // an object
  json::RawValue overrides;     // an object
};

// Converts a free-form value (an object, or an array of the seven fields in declared order) by
// the reading library's rules; the error is its message, without a position since an in-memory
// value has none. Only the envelope's top level is walked; no tree of it is built.
Result<GovernanceEnvelopeShape> governance_envelope_from_value(const json::RawValue& value);

// Adds the shape errors of one binding to `outcome`, in the order found; none when the binding is
// sound.
void validate_agentic_posture_binding(const AgenticPostureBinding& binding,
                                      VerificationOutcome& outcome);

// The shape errors of one binding as a list: the first kKeptErrors of them.
std::vector<std::string> validate_agentic_posture_binding(const AgenticPostureBinding& binding);

}  // namespace fennick::certificate
