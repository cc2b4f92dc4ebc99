#include "provenance/extraction.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fennick::provenance {
namespace {

constexpr std::string_view kExtractor = R"("extractor":{"kind":"pdf","version":"1.2"})";

// A minimal document with `members` spliced in before the required ones.
std::string doc(std::string_view members) {
  std::string out = "{";
  out.append(members);
  if (!members.empty()) out.append(",");
  out.append(R"("text":"body","metadata":{},)");
  out.append(kExtractor);
  out.append("}");
  return out;
}

// The message of a reading that must fail, without its position.
std::string error_of(std::string_view bytes) {
  auto result = read_extraction_output(bytes);
  if (result) return "<read>";
  return result.error().message;
}

// Each input's reading fails with the message.
void expect_errors(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(error_of(bytes), expected);
  }
}

std::string agent_run(std::string_view members) {
  return std::string(
             R"({"text":"","metadata":{},"extractor":{"kind":"k","version":"v","agentRun":{)") +
         std::string(members) + "}}}";
}

TEST(ExtractionOutput, MinimalDocumentReads) {
  auto result =
      read_extraction_output(R"({"text":"","metadata":{},"extractor":{"kind":"k","version":"v"}})");
  ASSERT_TRUE(result) << result.error().to_string();
  const ExtractionOutput& out = *result;
  EXPECT_EQ(out.text, "");
  EXPECT_FALSE(out.pages.has_value());
  EXPECT_FALSE(out.language.has_value());
  EXPECT_FALSE(out.outline.has_value());
  EXPECT_TRUE(out.metadata.empty());
  EXPECT_EQ(out.extractor.kind, "k");
  EXPECT_EQ(out.extractor.version, "v");
  EXPECT_FALSE(out.extractor.agent_run.has_value());
}

TEST(ExtractionOutput, FullDocumentKeepsEveryMember) {
  const std::string bytes = R"({
    "text": "whole\ntext",
    "pages": [{"index": 0, "text": "p0", "bbox": {"w": 1.5, "h": [1, 2]}},
              {"index": 7, "text": "p7"}],
    "language": "en",
    "outline": [{"level": 1, "text": "Intro", "pageIndex": 0}, {"level": 2, "text": "Sub"}],
    "metadata": {"n": null, "s": "x", "list": [true, -3]},
    "extractor": {"kind": "llm", "version": "2.0", "agentRun": {
      "modelId": "m", "promptFingerprint": "fp", "durationMs": 12,
      "tokenSpend": {"input": 10, "output": 20, "cacheRead": 3, "cacheWrite": 4},
      "costUsd": 0.25, "attempts": 2}}
  })";
  auto result = read_extraction_output(bytes);
  ASSERT_TRUE(result) << result.error().to_string();
  const ExtractionOutput& out = *result;
  EXPECT_EQ(out.text, "whole\ntext");
  ASSERT_TRUE(out.pages.has_value());
  ASSERT_EQ(out.pages->size(), 2u);
  EXPECT_EQ((*out.pages)[0].index, 0u);
  EXPECT_EQ((*out.pages)[0].text, "p0");
  ASSERT_TRUE((*out.pages)[0].bbox.has_value());
  const json::Value* w = (*out.pages)[0].bbox->get("w");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->as_f64(), 1.5);
  EXPECT_EQ((*out.pages)[1].index, 7u);
  EXPECT_FALSE((*out.pages)[1].bbox.has_value());
  EXPECT_EQ(out.language, "en");
  ASSERT_TRUE(out.outline.has_value());
  ASSERT_EQ(out.outline->size(), 2u);
  EXPECT_EQ((*out.outline)[0].level, 1u);
  EXPECT_EQ((*out.outline)[0].text, "Intro");
  EXPECT_EQ((*out.outline)[0].page_index, 0u);
  EXPECT_FALSE((*out.outline)[1].page_index.has_value());
  ASSERT_EQ(out.metadata.size(), 3u);
  EXPECT_TRUE(out.metadata.at("n").is_null());
  EXPECT_EQ(*out.metadata.at("s").as_string(), "x");
  ASSERT_TRUE(out.extractor.agent_run.has_value());
  const AgentRun& run = *out.extractor.agent_run;
  EXPECT_EQ(run.model_id, "m");
  EXPECT_EQ(run.prompt_fingerprint, "fp");
  EXPECT_EQ(run.duration_ms, 12u);
  EXPECT_EQ(run.token_spend.input, 10u);
  EXPECT_EQ(run.token_spend.output, 20u);
  EXPECT_EQ(run.token_spend.cache_read, 3u);
  EXPECT_EQ(run.token_spend.cache_write, 4u);
  EXPECT_EQ(run.cost_usd, 0.25);
  EXPECT_EQ(run.attempts, 2u);

  // A copy is deep and equal.
  const ExtractionOutput copy = out;
  EXPECT_EQ(copy, out);
}

TEST(ExtractionOutput, MissingFieldsReportedInDeclaredOrder) {
  const std::string extractor(kExtractor);
  // The members of an agent run before its token spend, and a complete token spend.
  const std::string run = R"("modelId":"m","promptFingerprint":"f","durationMs":1,)";
  const std::string spend = R"("tokenSpend":{"input":1,"output":2},)";
  expect_errors({
      {"{}", "missing field `text`"},
      {R"({"extractor":{"kind":"k","version":"v"},"metadata":{}})", "missing field `text`"},
      {R"({"text":"",)" + extractor + "}", "missing field `metadata`"},
      {R"({"text":"","metadata":{}})", "missing field `extractor`"},
      {R"({"text":"","metadata":{},"extractor":{}})", "missing field `kind`"},
      {R"({"text":"","metadata":{},"extractor":{"kind":"k"}})", "missing field `version`"},
      {doc(R"("pages":[{"bbox":null}])"), "missing field `index`"},
      {doc(R"("pages":[{"index":1}])"), "missing field `text`"},
      {doc(R"("outline":[{"pageIndex":1}])"), "missing field `level`"},
      {doc(R"("outline":[{"level":1}])"), "missing field `text`"},
      {agent_run(""), "missing field `modelId`"},
      {agent_run(R"("modelId":"m","durationMs":1)"), "missing field `promptFingerprint`"},
      {agent_run(R"("modelId":"m","promptFingerprint":"f","costUsd":1)"),
       "missing field `durationMs`"},
      {agent_run(run.substr(0, run.size() - 1)), "missing field `tokenSpend`"},
      {agent_run(run + spend.substr(0, spend.size() - 1)), "missing field `costUsd`"},
      {agent_run(run + spend + R"("costUsd":1)"), "missing field `attempts`"},
      {agent_run(run + R"("tokenSpend":{},"costUsd":1,"attempts":1)"), "missing field `input`"},
      {agent_run(run + R"("tokenSpend":{"input":1},"costUsd":1,"attempts":1)"),
       "missing field `output`"},
  });

  // The missing field is reported just after the closing brace.
  auto result = read_extraction_output(R"({"text":""})");
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().to_string(), "missing field `metadata` at line 1 column 11");
}

TEST(ExtractionOutput, NoPagesDiffersFromEmptyPages) {
  auto absent = read_extraction_output(doc(""));
  auto null = read_extraction_output(doc(R"("pages":null)"));
  auto empty = read_extraction_output(doc(R"("pages":[])"));
  ASSERT_TRUE(absent);
  ASSERT_TRUE(null);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(absent->pages.has_value());
  EXPECT_FALSE(null->pages.has_value());
  ASSERT_TRUE(empty->pages.has_value());
  EXPECT_TRUE(empty->pages->empty());
}

TEST(ExtractionOutput, PageIndexAndGeometry) {
  auto null_bbox = read_extraction_output(doc(R"("pages":[{"index":3,"text":"t","bbox":null}])"));
  ASSERT_TRUE(null_bbox);
  ASSERT_EQ(null_bbox->pages->size(), 1u);
  EXPECT_FALSE((*null_bbox->pages)[0].bbox.has_value());

  auto string_bbox = read_extraction_output(doc(R"("pages":[{"index":3,"text":"t","bbox":"x"}])"));
  ASSERT_TRUE(string_bbox);
  EXPECT_EQ((*string_bbox->pages)[0].bbox, json::Value::string("x"));

  auto max = read_extraction_output(doc(R"("pages":[{"index":18446744073709551615,"text":""}])"));
  ASSERT_TRUE(max);
  EXPECT_EQ((*max->pages)[0].index, 18446744073709551615u);
  EXPECT_FALSE(
      read_extraction_output(doc(R"("pages":[{"index":18446744073709551616,"text":""}])")));
}

TEST(ExtractionOutput, AgentRunRules) {
  const std::string complete =
      R"("modelId":"m","promptFingerprint":"f","durationMs":1,"tokenSpend":{"input":1,"output":2},"costUsd":3,"attempts":1)";
  auto run = read_extraction_output(agent_run(complete));
  ASSERT_TRUE(run) << run.error().to_string();
  ASSERT_TRUE(run->extractor.agent_run.has_value());
  EXPECT_EQ(run->extractor.agent_run->cost_usd, 3.0);
  EXPECT_FALSE(run->extractor.agent_run->token_spend.cache_read.has_value());

  auto null_run = read_extraction_output(
      R"({"text":"","metadata":{},"extractor":{"kind":"k","version":"v","agentRun":null}})");
  ASSERT_TRUE(null_run);
  EXPECT_FALSE(null_run->extractor.agent_run.has_value());
}

TEST(ExtractionOutput, TokenSpendArrayForm) {
  const std::string prefix =
      R"("modelId":"m","promptFingerprint":"f","durationMs":1,"tokenSpend":)";
  const std::string suffix = R"(,"costUsd":1,"attempts":1)";
  EXPECT_EQ(error_of(agent_run(prefix + "[1,2]" + suffix)),
            "invalid length 2, expected struct TokenSpend with 4 elements");
  EXPECT_EQ(error_of(agent_run(prefix + "[1,2,null,null,5]" + suffix)), "trailing characters");

  auto nulls = read_extraction_output(agent_run(prefix + "[1,2,null,null]" + suffix));
  ASSERT_TRUE(nulls) << nulls.error().to_string();
  const TokenSpend& spend = nulls->extractor.agent_run->token_spend;
  EXPECT_EQ(spend.input, 1u);
  EXPECT_EQ(spend.output, 2u);
  EXPECT_FALSE(spend.cache_read.has_value());
  EXPECT_FALSE(spend.cache_write.has_value());
}

TEST(ExtractionOutput, RootArrayForm) {
  auto result =
      read_extraction_output(R"(["t", [[0, "p", null]], null, null, {}, ["k", "v", null]])");
  ASSERT_TRUE(result) << result.error().to_string();
  EXPECT_EQ(result->text, "t");
  ASSERT_TRUE(result->pages.has_value());
  EXPECT_EQ((*result->pages)[0].text, "p");
  EXPECT_EQ(result->extractor.kind, "k");

  // No field is defaulted, so every position must be present.
  expect_errors({
      {R"(["t", null, null, null, {}])",
       "invalid length 5, expected struct ExtractionOutput with 6 elements"},
      {R"(["t", null, null, null, {}, ["k", "v"]])",
       "invalid length 2, expected struct Extractor with 3 elements"},
      {R"(["t", [[0]], null, null, {}, ["k", "v", null]])",
       "invalid length 1, expected struct ExtractionPage with 3 elements"},
      {R"(["t", null, null, [[1, "h"]], {}, ["k", "v", null]])",
       "invalid length 2, expected struct ExtractionOutlineEntry with 3 elements"},
      {R"(["t", null, null, null, {}, ["k", "v", ["m"]]])",
       "invalid length 1, expected struct AgentRun with 6 elements"},
      {R"(["t", null, null, null, {}, ["k", "v", null], 1])", "trailing characters"},
  });
}

TEST(ExtractionOutput, WrongKinds) {
  const std::string extractor(kExtractor);
  expect_errors({
      {R"("x")", "invalid type: string \"x\", expected struct ExtractionOutput"},
      {"null", "invalid type: null, expected struct ExtractionOutput"},
      {R"({"text":"","metadata":{},"extractor":null})",
       "invalid type: null, expected struct Extractor"},
      {R"({"text":5,"metadata":{},"extractor":{"kind":"k","version":"v"}})",
       "invalid type: integer `5`, expected a string"},
      {R"({"text":null,"metadata":{},"extractor":{"kind":"k","version":"v"}})",
       "invalid type: null, expected a string"},
      {R"({"text":"","metadata":null,)" + extractor + "}", "invalid type: null, expected a map"},
      {R"({"text":"","metadata":[],)" + extractor + "}", "invalid type: sequence, expected a map"},
      {doc(R"("pages":{})"), "invalid type: map, expected a sequence"},
      {doc(R"("outline":{})"), "invalid type: map, expected a sequence"},
      {doc(R"("language":true)"), "invalid type: boolean `true`, expected a string"},
      {doc(R"("pages":[{"index":-1,"text":"t"}])"), "invalid value: integer `-1`, expected u64"},
      {doc(R"("pages":[{"index":1.0,"text":"t"}])"),
       "invalid type: floating point `1.0`, expected u64"},
      {doc(R"("pages":[{"index":1e0,"text":"t"}])"),
       "invalid type: floating point `1.0`, expected u64"},
      {agent_run(R"("modelId":"m","promptFingerprint":"f","durationMs":2.5,)"
                 R"("tokenSpend":{"input":1,"output":2},"costUsd":3,"attempts":1)"),
       "invalid type: floating point `2.5`, expected u64"},
      {agent_run(R"("modelId":"m","promptFingerprint":"f","durationMs":1,)"
                 R"("tokenSpend":{"input":1,"output":2},"costUsd":"3","attempts":1)"),
       "invalid type: string \"3\", expected f64"},
      {R"({"text":"","metadata":{},)" + extractor + "," + extractor + "}",
       "duplicate field `extractor`"},
      {R"({"text":"","pages":null,"pages":null,"metadata":{},)" + extractor + "}",
       "duplicate field `pages`"},
  });
}

TEST(ExtractionOutput, MetadataRepeatedKeyKeepsLastValue) {
  auto result = read_extraction_output(
      R"({"text":"","metadata":{"a":1,"a":2},"extractor":{"kind":"k","version":"v"}})");
  ASSERT_TRUE(result) << result.error().to_string();
  ASSERT_EQ(result->metadata.size(), 1u);
  EXPECT_EQ(result->metadata.at("a").as_u64(), 2u);
}

TEST(ExtractionOutput, UndeclaredMembersAreIgnored) {
  auto result = read_extraction_output(
      R"({"x":[1,{"y":null}],"text":"t","x":"again","metadata":{},)"
      R"("extractor":{"kind":"k","version":"v","extra":{}},)"
      R"("pages":[{"index":0,"text":"p","other":1}],"outline":[{"level":1,"text":"h","z":[]}]})");
  ASSERT_TRUE(result) << result.error().to_string();
  EXPECT_EQ(result->text, "t");

  // Keys are compared byte for byte: "Text" is another key, and `text` is then missing.
  EXPECT_EQ(error_of(R"({"Text":"t","metadata":{},"extractor":{"kind":"k","version":"v"}})"),
            "missing field `text`");
  // An escaped key is compared after its escapes are resolved.
  auto escaped = read_extraction_output(
      R"({"t\u0065xt":"e","metadata":{},"extractor":{"kind":"k","version":"v"}})");
  ASSERT_TRUE(escaped);
  EXPECT_EQ(escaped->text, "e");
}

TEST(ExtractionOutput, DocumentFraming) {
  const std::string good = doc("");
  EXPECT_TRUE(read_extraction_output(" \t\r\n" + good + "\n\t \r"));
  EXPECT_EQ(error_of(good + " x"), "trailing characters");
  EXPECT_EQ(error_of(good + good), "trailing characters");
  EXPECT_EQ(error_of(""), "EOF while parsing a value");
  EXPECT_EQ(error_of("   "), "EOF while parsing a value");
  EXPECT_FALSE(read_extraction_output("not json at all"));
  EXPECT_FALSE(read_extraction_output(good.substr(0, good.size() - 1)));
  EXPECT_FALSE(read_extraction_output(std::string("\x00\x01\x02", 3)));
}

TEST(ExtractionOutput, Utf8IsCheckedOnlyWhereKept) {
  const std::string bad = "\xff\xfe";
  EXPECT_FALSE(read_extraction_output(doc(R"("language":")" + bad + "\"")));
  EXPECT_FALSE(read_extraction_output(
      R"({"text":")" + bad + R"(","metadata":{},"extractor":{"kind":"k","version":"v"}})"));
  EXPECT_FALSE(read_extraction_output(R"({"text":"","metadata":{"k":")" + bad +
                                      R"("},"extractor":{"kind":"k","version":"v"}})"));
  EXPECT_FALSE(read_extraction_output(R"({"text":"","metadata":{")" + bad +
                                      R"(":1},"extractor":{"kind":"k","version":"v"}})"));
  EXPECT_FALSE(
      read_extraction_output(doc(R"("pages":[{"index":0,"text":"","bbox":[")" + bad + "\"]}]")));
  // A key of the record itself is kept long enough to be compared.
  EXPECT_FALSE(read_extraction_output(doc("\"" + bad + "\":1")));

  // Inside the skipped value of an undeclared key nothing is tested for UTF-8.
  auto skipped = read_extraction_output(doc(R"("notes":{")" + bad + R"(":[")" + bad + "\"]}"));
  ASSERT_TRUE(skipped) << skipped.error().to_string();
  // A raw control character is refused even there.
  EXPECT_FALSE(read_extraction_output(doc("\"notes\":\"a\x01\"")));

  // Valid multi-byte text and escapes are kept as UTF-8.
  auto text = read_extraction_output(
      R"({"text":"caf\u00e9 \u00e9t\u00e9 \ud83d\ude00","metadata":{},"extractor":{"kind":"k","version":"v"}})");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->text, "caf\xc3\xa9 \xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80");
}

TEST(ExtractionOutput, DepthLimit) {
  // Root object, metadata object, then n arrays: n = 125 reaches the 127th level.
  const auto nested_metadata = [](std::size_t n) {
    return R"({"text":"","metadata":{"a":)" + std::string(n, '[') + std::string(n, ']') +
           R"(},"extractor":{"kind":"k","version":"v"}})";
  };
  EXPECT_TRUE(read_extraction_output(nested_metadata(125)));
  EXPECT_EQ(error_of(nested_metadata(126)), "recursion limit exceeded");
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_EQ(error_of(nested_metadata(200000)), "recursion limit exceeded");
  EXPECT_FALSE(read_extraction_output(std::string(200000, '[')));
  EXPECT_FALSE(read_extraction_output(std::string(200000, '{')));

  // Undeclared values are skipped whole, whatever their depth.
  const std::size_t deep = 200000;
  EXPECT_TRUE(
      read_extraction_output(doc(R"("skip":)" + std::string(deep, '[') + std::string(deep, ']'))));
  EXPECT_FALSE(read_extraction_output(doc(R"("skip":)" + std::string(deep, '['))));
}

}  // namespace
}  // namespace fennick::provenance
