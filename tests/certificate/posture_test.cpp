#include "certificate/posture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "json/read.h"

namespace fennick::certificate {
namespace {

json::Value parse(std::string_view text) {
  auto v = json::parse_value(text);
  EXPECT_TRUE(v.ok()) << text;
  return v.ok() ? *v : json::Value();
}

constexpr std::string_view kConformant =
    R"({"schema_version":"1","process":{"a":1},"ceilings":{},"gates":[1],"emits":[],)"
    R"("constituents":{},"overrides":{"x":null}})";

CertAgenticSurface surface(std::string kind, std::optional<json::Value> envelope = std::nullopt) {
  CertAgenticSurface s;
  s.kind = std::move(kind);
  s.governance_envelope = std::move(envelope);
  return s;
}

AgenticPostureBinding binding(std::string posture, std::vector<CertAgenticSurface> surfaces = {}) {
  AgenticPostureBinding b;
  b.posture = std::move(posture);
  b.surfaces = std::move(surfaces);
  return b;
}

// The conversion error text, or "ok" for a conformant envelope.
std::string convert(std::string_view envelope_json) {
  auto shape = governance_envelope_from_value(parse(envelope_json));
  return shape.ok() ? "ok" : shape.error();
}

using Errors = std::vector<std::string>;

TEST(PostureShapeRules, NoneMustEnumerateNoSurfaces) {
  EXPECT_EQ(validate_agentic_posture_binding(binding("none")), Errors{});
  EXPECT_EQ(validate_agentic_posture_binding(binding("none", {surface("chat"), surface("tool")})),
            Errors{"agentic_posture_binding: `none` must enumerate no surfaces, found 2"});
}

TEST(PostureShapeRules, DeclaredAndGovernedNeedSurfaces) {
  EXPECT_EQ(validate_agentic_posture_binding(binding("declared")),
            Errors{"agentic_posture_binding: `declared` requires a non-empty surface enumeration"});
  EXPECT_EQ(validate_agentic_posture_binding(binding("governed")),
            Errors{"agentic_posture_binding: `governed` requires a non-empty surface enumeration"});
}

TEST(PostureShapeRules, DeclaredSurfacesAreNotExamined) {
  EXPECT_EQ(validate_agentic_posture_binding(binding(
                "declared", {surface("chat"), surface("agent", parse("\"not an envelope\"")),
                             surface("tool", parse("{}"))})),
            Errors{});
}

TEST(PostureShapeRules, GovernedJudgesEverySurfaceInOrder) {
  const AgenticPostureBinding b =
      binding("governed", {surface("chat", parse(kConformant)), surface("tool-loop", parse("null")),
                           surface("agent", parse(R"({"schema_version":"1","ceilings":{},)"
                                                  R"("gates":[],"emits":[],"constituents":{},)"
                                                  R"("overrides":{}})"))});
  EXPECT_EQ(validate_agentic_posture_binding(b),
            (Errors{"agentic_posture_binding: `governed` surface #1 (tool-loop) is missing its "
                    "governance_envelope (spec 210 FR-004)",
                    "agentic_posture_binding: `governed` surface #2 (agent) has a non-conformant "
                    "governance_envelope: missing field `process` (spec 210 FR-004)"}));

  // An absent envelope reads like null; every surface still gets its own finding.
  EXPECT_EQ(validate_agentic_posture_binding(
                binding("governed", {surface("a"), surface("b", parse("[]"))})),
            (Errors{"agentic_posture_binding: `governed` surface #0 (a) is missing its "
                    "governance_envelope (spec 210 FR-004)",
                    "agentic_posture_binding: `governed` surface #1 (b) has a non-conformant "
                    "governance_envelope: invalid length 0, expected struct "
                    "GovernanceEnvelopeShape with 7 elements (spec 210 FR-004)"}));
}

TEST(PostureShapeRules, UnknownPostureIsReportedAsWrittenAndSurfacesAreSkipped) {
  for (const char* posture : {"Governed", "NONE", "", "none "}) {
    EXPECT_EQ(validate_agentic_posture_binding(binding(posture, {surface("chat")})),
              Errors{"agentic_posture_binding: unknown posture `" + std::string(posture) +
                     "` (expected none|declared|governed)"})
        << posture;
  }
  // As written, but with its controls escaped.
  EXPECT_EQ(validate_agentic_posture_binding(binding("none\r\x1b[2K", {})),
            Errors{"agentic_posture_binding: unknown posture `none\\r\\u{1b}[2K` (expected "
                   "none|declared|governed)"});
}

TEST(GovernanceEnvelopeShape, ConversionOutcomes) {
  const std::string tail = ", expected struct GovernanceEnvelopeShape";
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Object form: undeclared members are skipped; missing fields are named in declared order,
      // not in name order.
      {std::string(kConformant), "ok"},
      {R"({"schema_version":"","process":{},"ceilings":{},"gates":[],"emits":[],)"
       R"("constituents":{},"overrides":{},"extra":null,"zz":[1,2]})",
       "ok"},
      {"{}", "missing field `schema_version`"},
      {R"({"schema_version":"1","process":{},"ceilings":{},"gates":[],"emits":[]})",
       "missing field `constituents`"},
      // Wrong kinds are reported in name order, before missing fields.
      {R"({"schema_version":"1","process":1,"ceilings":2,"gates":[],"emits":[],)"
       R"("constituents":{},"overrides":{}})",
       "invalid type: integer `2`, expected a map"},
      {R"({"schema_version":"1","process":{},"ceilings":{},"gates":null,"emits":[],)"
       R"("constituents":{},"overrides":{}})",
       "invalid type: null, expected a sequence"},
      {R"({"overrides":[]})", "invalid type: sequence, expected a map"},
      {R"({"schema_version":{}})", "invalid type: map, expected a string"},
      {R"({"schema_version":"1","emits":-3,"gates":false})",
       "invalid type: integer `-3`, expected a sequence"},
      // Array form; elements are judged before the length is.
      {R"(["1",{},{},[],[],{},{}])", "ok"},
      {R"(["1",{},{}])",
       "invalid length 3, expected struct GovernanceEnvelopeShape with 7 elements"},
      {R"(["1",{},{},[],[],{},{},null])", "invalid length 8, expected fewer elements in array"},
      {R"(["1",{},{},{},[],{},{},null])", "invalid type: map, expected a sequence"},
      {R"([null])", "invalid type: null, expected a string"},
      // Other kinds use the reader's wording for what was found.
      {R"("x")", "invalid type: string \"x\"" + tail},
      {R"("a\"b\n\\")", R"(invalid type: string "a\"b\n\\")" + tail},
      // A long string is cut before it is quoted; the marker follows the closing quote.
      {"\"" + std::string(1030, 'x') + "\"",
       "invalid type: string \"" + std::string(1024, 'x') + "\"...[6 byte(s) left out]" + tail},
      {"true", "invalid type: boolean `true`" + tail},
      {"7", "invalid type: integer `7`" + tail},
      {"2.5", "invalid type: floating point `2.5`" + tail},
      {"1e20", "invalid type: floating point `1e20`" + tail},
      {"-0", "invalid type: floating point `-0.0`" + tail},
      {"null", "invalid type: null" + tail},
  };
  for (const auto& [envelope, expected] : cases) {
    SCOPED_TRACE(envelope);
    EXPECT_EQ(convert(envelope), expected);
  }
}

}  // namespace
}  // namespace fennick::certificate
