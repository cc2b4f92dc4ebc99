// Typed reading: records in both forms, presence rules, integers, enumerations, nesting.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "json/read.h"
#include "json/test_records.h"

namespace fennick::json {
namespace {

using namespace test_types;

// "ok" or the whole error text, so that tables can hold either.
template <class T>
std::string outcome(std::string_view input) {
  auto result = from_json<T>(input);
  return result.ok() ? "ok" : result.error().to_string();
}

struct Row {
  std::string input;
  std::string expected;
};

void expect_rows(std::string (*read)(std::string_view), const std::vector<Row>& rows) {
  for (const Row& row : rows) EXPECT_EQ(read(row.input), row.expected) << "input: " << row.input;
}

// The messages of the certificate's own records (the same reader with the real declarations)
// are checked by the certificate tests; these are the ones the certificate does not reach.
TEST(Records, MessageExamples) {
  expect_rows(
      &outcome<Root>,
      {
          {R"({"intent":{}})", "missing field `requirementsHash` at line 1 column 12"},
          {R"({"stages":null})", "invalid type: null, expected a sequence at line 1 column 14"},
          {R"({"labels":[]})", "invalid type: sequence, expected a map at line 1 column 10"},
          {R"({"tier":256})", "invalid value: integer `256`, expected u8 at line 1 column 11"},
          {R"({"signingPublicKey":null})",
           "invalid type: null, expected a string at line 1 column 24"},
          // "[" and "{" of the wrong kind are not consumed (as in "invalid type: map, expected
          // unit at line 1 column 7" for {"Dog":{}}).
          {R"({"certificateVersion":{}})",
           "invalid type: map, expected a string at line 1 column 22"},
          // Found strings are quoted with debug escapes.
          {R"({"tier":"a\"b\\c\n\t\r\u0000\u0001é\u200b'"})",
           "invalid type: string \"a\\\"b\\\\c\\n\\t\\r\\0\\u{1}é\\u{200b}'\", expected u8 at "
           "line 1 column 44"},
          // A long one is cut before it is quoted, at a character boundary.
          {"{\"tier\":\"" + std::string(1023, 'a') + "é" + std::string(10, 'b') + "\"}",
           "invalid type: string \"" + std::string(1023, 'a') +
               "\"...[12 byte(s) left out], expected u8 at line 1 column 1045"},
      });
}

TEST(Records, ReadsRequiredFieldsAndSettlesTheRest) {
  auto root = from_json<Root>(
      R"({"certificateVersion":"1","timestamp":"2024-05-01T12:00:00+02:00","status":"complete",)"
      R"("intent":{"requirementsHash":"h","specId":""},"stages":[],)"
      R"("proofChain":[18446744073709551615,null,"l","verified"],"envelope":null})");
  ASSERT_TRUE(root.ok()) << root.error().to_string();
  EXPECT_EQ(root->certificate_version, "1");
  EXPECT_EQ(root->timestamp, (text::Timestamp{1714557600, 0}));
  EXPECT_EQ(root->status, Status::kComplete);
  EXPECT_EQ(root->intent.spec_id, std::optional<std::string>(""));  // present and empty
  EXPECT_FALSE(root->intent.spec_hash.has_value());
  EXPECT_EQ(root->proof_chain.record_count, std::numeric_limits<std::uint64_t>::max());
  EXPECT_FALSE(root->proof_chain.first_record_hash.has_value());
  EXPECT_EQ(root->proof_chain.last_record_hash, std::optional<std::string>("l"));
  EXPECT_EQ(root->proof_chain.chain_integrity, Integrity::kVerified);
  EXPECT_EQ(root->tier, 3);
  EXPECT_EQ(root->exit_code, -7);
  EXPECT_EQ(root->signing_public_key, "unset");
  EXPECT_FALSE(root->envelope.has_value());
  EXPECT_FALSE(root->f23.has_value());
}

TEST(Records, PresenceRules) {
  expect_rows(
      &outcome<Presence4>,
      {
          // Object form.
          {R"({"req":"a"})", "ok"},
          {R"({"req":"a","opt":null,"optdef":null})", "ok"},
          {R"({"opt":"x"})", "missing field `req` at line 1 column 11"},
          {R"({"req":null})", "invalid type: null, expected a string at line 1 column 11"},
          {R"({"req":"a","def":null})", "invalid type: null, expected u32 at line 1 column 21"},
          // Array form: optional positions must be present, defaulted ones may be missing.
          {"[]",
           "invalid length 0, expected struct PresenceRecord with 4 elements at line 1 column 2"},
          {R"(["a"])",
           "invalid length 1, expected struct PresenceRecord with 4 elements at line 1 column 5"},
          {R"(["a",null])", "ok"},
          {R"(["a","b","c",9])", "ok"},
          {R"(["a",null,null,null])", "invalid type: null, expected u32 at line 1 column 19"},
          {R"(["a","b","c",9,1])", "trailing characters at line 1 column 16"},
          {R"(["a","b",])", "trailing comma at line 1 column 10"},
          // A declared key met twice fails at the second key, before its value is looked at.
          {R"({"opt":null,"opt":null})", "duplicate field `opt` at line 1 column 17"},
          {R"({"req":"a","req":"a"})", "duplicate field `req` at line 1 column 16"},
          {R"({"req":"a","req":})", "duplicate field `req` at line 1 column 16"},
          {R"({"req":"a","req")", "duplicate field `req` at line 1 column 16"},
          // Undeclared keys are skipped whole, repeated or not; their strings are not kept, so
          // neither UTF-8 nor surrogates are checked, but their syntax is.
          {"{\"zz\":1,\"req\":\"a\",\"zz\":[{\"q\":[]},true],\"zz\":\"\\uDEAD\",\"zy\":\"\xff\"}",
           "ok"},
          {R"({"req":"a","zz":[1 2]})", "expected `,` or `]` at line 1 column 20"},
          {R"({"zz":01})", "invalid number at line 1 column 8"},
          {R"({"zz":"\x"})", "invalid escape at line 1 column 9"},
          // Keys compare byte for byte, escapes resolved.
          {R"({"Req":"a"})", "missing field `req` at line 1 column 11"},
          {R"({"r\u0065q":"a"})", "ok"},
      });

  auto p = from_json<Presence4>(R"(["a",null])");
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p->req, "a");
  EXPECT_FALSE(p->opt.has_value());
  EXPECT_FALSE(p->optdef.has_value());
  EXPECT_EQ(p->def, 7u);
  p = from_json<Presence4>(R"({"def":0,"optdef":"","req":"b","opt":"o"})");
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p->opt, std::optional<std::string>("o"));
  EXPECT_EQ(p->optdef, std::optional<std::string>(""));
  EXPECT_EQ(p->def, 0u);

  // The short array names the first position that may not be left out.
  EXPECT_EQ(outcome<Mixed>(R"(["x"])"),
            "invalid length 2, expected struct MixedRecord with 3 elements at line 1 column 5");
  EXPECT_EQ(outcome<Mixed>(R"(["x",2,"y"])"), "ok");
}

TEST(Records, StageShapes) {
  expect_rows(&outcome<Stage>,
              {
                  {R"(["s","passed",{}])",
                   "invalid length 3, expected struct StageRecord with 6 elements at line 1 "
                   "column 17"},
                  {R"({"StageId":"s","status":"passed","artifactHashes":{}})",
                   "missing field `stageId` at line 1 column 53"},
                  {R"({"stageId":"s","status":"passed","artifactHashes":{},"gateResult":)"
                   R"({"passed":true,"checksRun":1.0,"checksFailed":0}})",
                   "invalid type: floating point `1.0`, expected u32 at line 1 column 96"},
              });

  auto stage = from_json<Stage>(R"(["s","failed",{"b":"1","a":"2","b":"3"},null])");
  ASSERT_TRUE(stage.ok()) << stage.error().to_string();
  EXPECT_EQ(stage->status, StageStatus::kFailed);
  EXPECT_EQ(stage->artifact_hashes, (StringMap{{"a", "2"}, {"b", "3"}}));
  EXPECT_FALSE(stage->gate_result.has_value());
  EXPECT_FALSE(stage->duration_ms.has_value());

  stage = from_json<Stage>(
      R"({"artifactHashes":{},"status":"skipped","stageId":"t","gateResult":[true,2,1]})");
  ASSERT_TRUE(stage.ok()) << stage.error().to_string();
  ASSERT_TRUE(stage->gate_result.has_value());
  EXPECT_EQ(stage->gate_result->checks_run, 2u);
  EXPECT_EQ(stage->gate_result->checks_failed, 1u);
}

// Lists, maps and records whose default is not empty: a present value replaces the default
// whole, it does not add to it.
struct Defaults {
  std::vector<std::string> list{"d"};
  StringMap map{{"k", "d"}};
  Intent intent{"r", "s", "t"};
};
const RecordSpec& json_record(Tag<Defaults>) {
  static const RecordSpec table("Defaults", {field<&Defaults::list>("list", kDefaulted),
                                             field<&Defaults::map>("map", kDefaulted),
                                             field<&Defaults::intent>("intent", kDefaulted)});
  return table;
}

TEST(Records, PresentValueReplacesNonEmptyDefault) {
  auto d = from_json<Defaults>("{}");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d->list, std::vector<std::string>{"d"});
  EXPECT_EQ(d->map, (StringMap{{"k", "d"}}));
  EXPECT_EQ(d->intent.spec_id, std::optional<std::string>("s"));
  d = from_json<Defaults>(R"({"list":["a"],"map":{"x":"y"},"intent":{"requirementsHash":"h"}})");
  ASSERT_TRUE(d.ok()) << d.error().to_string();
  EXPECT_EQ(d->list, std::vector<std::string>{"a"});
  EXPECT_EQ(d->map, (StringMap{{"x", "y"}}));
  EXPECT_EQ(d->intent.requirements_hash, "h");
  EXPECT_FALSE(d->intent.spec_id.has_value());
  EXPECT_FALSE(d->intent.spec_hash.has_value());
}

template <class T>
std::string number_outcome(std::string_view input) {
  auto result = from_json<T>(input);
  if (!result.ok()) return result.error().to_string();
  if constexpr (std::is_same_v<T, std::int32_t>) return "= " + std::to_string(*result);
  return "= " + std::to_string(static_cast<std::uint64_t>(*result));
}

TEST(Integers, RangeEdgesAndKinds) {
  expect_rows(&number_outcome<std::uint8_t>,
              {
                  {"0", "= 0"},
                  {"255", "= 255"},
                  {"256", "invalid value: integer `256`, expected u8 at line 1 column 3"},
                  {"-1", "invalid value: integer `-1`, expected u8 at line 1 column 2"},
                  {"true", "invalid type: boolean `true`, expected u8 at line 1 column 4"},
              });
  expect_rows(
      &number_outcome<std::uint32_t>,
      {
          {"4294967295", "= 4294967295"},
          {"4294967296", "invalid value: integer `4294967296`, expected u32 at line 1 column 10"},
          {"1.0", "invalid type: floating point `1.0`, expected u32 at line 1 column 3"},
          {"1e0", "invalid type: floating point `1.0`, expected u32 at line 1 column 3"},
          {"\"7\"", "invalid type: string \"7\", expected u32 at line 1 column 3"},
      });
  expect_rows(&number_outcome<std::uint64_t>,
              {
                  {" 18446744073709551615 ", "= 18446744073709551615"},
                  // One past the range is a floating-point number, not an out-of-range integer.
                  {"18446744073709551616",
                   "invalid type: floating point `1.8446744073709552e19`, expected u64 at line 1 "
                   "column 20"},
                  {"-0", "invalid type: floating point `-0.0`, expected u64 at line 1 column 2"},
                  {"07", "invalid number at line 1 column 2"},
                  {"+1", "expected value at line 1 column 1"},
                  {"1e400", "number out of range at line 1 column 5"},
              });
  expect_rows(
      &number_outcome<std::int32_t>,
      {
          {"-2147483648", "= -2147483648"},
          {"2147483647", "= 2147483647"},
          {"2147483648", "invalid value: integer `2147483648`, expected i32 at line 1 column 10"},
          {"-2147483649", "invalid value: integer `-2147483649`, expected i32 at line 1 column 11"},
          {"-9223372036854775808",
           "invalid value: integer `-9223372036854775808`, expected i32 at line 1 column "
           "20"},
          {"-9223372036854775809",
           "invalid type: floating point `-9.223372036854776e18`, expected i32 at line 1 "
           "column 20"},
      });

  EXPECT_EQ(from_json<double>("-5").value(), -5.0);
  EXPECT_EQ(from_json<double>("1e-400").value(), 0.0);
  EXPECT_EQ(from_json<double>("0.1").value(), 0.1);
  EXPECT_EQ(from_json<double>("2.2250738585072011e-308").value(), 2.2250738585072011e-308);
  EXPECT_EQ(from_json<double>("-1e400").error().to_string(),
            "number out of range at line 1 column 6");
}

TEST(Enumerations, FormsAndMessages) {
  auto as_status = [](std::string_view input) -> std::string {
    auto result = from_json<Status>(input);
    if (!result.ok()) return result.error().to_string();
    return *result == Status::kComplete ? "complete" : "incomplete";
  };
  for (const Row& row : std::vector<Row>{
           {R"("incomplete")", "incomplete"},
           {R"( {"complete" : null} )", "complete"},
           {R"({"incomplete":null})", "incomplete"},
           {R"({"incomplete":1})", "invalid type: integer `1`, expected unit at line 1 column 15"},
           {R"({"complete":null,"incomplete":null})", "expected value at line 1 column 16"},
           {R"({"complete":null)", "EOF while parsing an object at line 1 column 16"},
           {"5", "expected value at line 1 column 1"},
           {"null", "expected value at line 1 column 1"},
           {"[\"complete\"]", "expected value at line 1 column 1"},
           {"{}", "expected value at line 1 column 2"},
           {R"("Complete")",
            "unknown variant `Complete`, expected `complete` or `incomplete` at line 1 column 10"},
           {R"({"x":null})",
            "unknown variant `x`, expected `complete` or `incomplete` at line 1 column 4"},
       }) {
    EXPECT_EQ(as_status(row.input), row.expected) << "input: " << row.input;
  }
  EXPECT_EQ(from_json<StageStatus>(R"("Passed")").error().to_string(),
            "unknown variant `Passed`, expected one of `passed`, `failed`, `skipped` at line 1 "
            "column 8");
  EXPECT_EQ(from_json<Integrity>(R"("empty")").value(), Integrity::kEmpty);
}

// `{"c":[` opens two levels; the innermost node is `{}` (one level) or `{"c":[]}` (two).
std::string nested_nodes(std::size_t nodes, std::string_view innermost) {
  std::string s;
  for (std::size_t i = 0; i + 1 < nodes; ++i) s += R"({"c":[)";
  s += innermost;
  for (std::size_t i = 0; i + 1 < nodes; ++i) s += "]}";
  return s;
}

TEST(Depth, RecordsAndSkippedValues) {
  // 63 nodes with their lists and an empty innermost node: 127 levels.
  EXPECT_EQ(outcome<Node>(nested_nodes(64, "{}")), "ok");
  // The 128th level is the innermost node's list, its "[" at byte 384.
  EXPECT_EQ(outcome<Node>(nested_nodes(64, R"({"c":[]})")),
            "recursion limit exceeded at line 1 column 384");

  // An undeclared value is skipped at any depth, also at the deepest allowed level.
  constexpr std::size_t kDeep = 10'000'000;
  std::string deep(kDeep, '[');
  deep.append(kDeep, ']');
  EXPECT_EQ(outcome<Presence4>(R"({"zz":)" + deep + R"(,"req":"a"})"), "ok");
  EXPECT_EQ(outcome<Node>(nested_nodes(64, R"({"zz":)" + deep + "}")), "ok");
  // An unclosed one is still a syntax error.
  EXPECT_EQ(outcome<Presence4>(R"({"zz":)" + std::string(kDeep, '[')),
            "EOF while parsing a list at line 1 column " + std::to_string(kDeep + 6));
}

}  // namespace
}  // namespace fennick::json
