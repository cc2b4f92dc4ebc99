#pragma once
// Extraction records: one document of an extraction corpus as the extraction stage wrote it.
// The audit reads only the texts and the page list; every other member still decides, through
// its presence rule and type, whether a document reads at all.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/error.h"
#include "json/read.h"
#include "json/value.h"
#include "result.h"

namespace fennick::provenance {

// Free-form facts keyed by name; a key repeated inside the object keeps its last value.
using ValueMap = std::map<std::string, json::Value, std::less<>>;

struct TokenSpend {
  std::uint64_t input = 0;
  std::uint64_t output = 0;
  std::optional<std::uint64_t> cache_read;
  std::optional<std::uint64_t> cache_write;

  bool operator==(const TokenSpend&) const = default;
};

// The model run behind an extraction, when a model did it.
struct AgentRun {
  std::string model_id;
  std::string prompt_fingerprint;
  std::uint64_t duration_ms = 0;
  TokenSpend token_spend;
  double cost_usd = 0.0;
  std::uint64_t attempts = 0;

  bool operator==(const AgentRun&) const = default;
};

struct Extractor {
  std::string kind;
  std::string version;
  std::optional<AgentRun> agent_run;

  bool operator==(const Extractor&) const = default;
};

struct ExtractionPage {
  std::uint64_t index = 0;
  std::string text;
  std::optional<json::Value> bbox;  // any JSON shape; null reads as none

  bool operator==(const ExtractionPage&) const = default;
};

struct ExtractionOutlineEntry {
  std::uint64_t level = 0;
  std::string text;
  std::optional<std::uint64_t> page_index;

  bool operator==(const ExtractionOutlineEntry&) const = default;
};

struct ExtractionOutput {
  std::string text;
  // None and an empty list differ: consumers count the pages of a present list.
  std::optional<std::vector<ExtractionPage>> pages;
  std::optional<std::string> language;
  std::optional<std::vector<ExtractionOutlineEntry>> outline;
  ValueMap metadata;
  Extractor extractor;

  bool operator==(const ExtractionOutput&) const = default;
};

const json::RecordSpec& json_record(json::Tag<TokenSpend>);
const json::RecordSpec& json_record(json::Tag<AgentRun>);
const json::RecordSpec& json_record(json::Tag<Extractor>);
const json::RecordSpec& json_record(json::Tag<ExtractionPage>);
const json::RecordSpec& json_record(json::Tag<ExtractionOutlineEntry>);
const json::RecordSpec& json_record(json::Tag<ExtractionOutput>);

// One extraction document from a file's bytes. The bytes need not be UTF-8 as a whole; every
// string the record keeps must be.
fennick::Result<ExtractionOutput, json::Error> read_extraction_output(std::string_view bytes);

}  // namespace fennick::provenance
