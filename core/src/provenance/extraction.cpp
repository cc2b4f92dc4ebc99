#include "provenance/extraction.h"

namespace fennick::provenance {

const json::RecordSpec& json_record(json::Tag<TokenSpend>) {
  static const json::RecordSpec table(
      "TokenSpend", {
                        json::field<&TokenSpend::input>("input", json::kRequired),
                        json::field<&TokenSpend::output>("output", json::kRequired),
                        json::field<&TokenSpend::cache_read>("cacheRead", json::kOptional),
                        json::field<&TokenSpend::cache_write>("cacheWrite", json::kOptional),
                    });
  return table;
}

const json::RecordSpec& json_record(json::Tag<AgentRun>) {
  static const json::RecordSpec table(
      "AgentRun",
      {
          json::field<&AgentRun::model_id>("modelId", json::kRequired),
          json::field<&AgentRun::prompt_fingerprint>("promptFingerprint", json::kRequired),
          json::field<&AgentRun::duration_ms>("durationMs", json::kRequired),
          json::field<&AgentRun::token_spend>("tokenSpend", json::kRequired),
          json::field<&AgentRun::cost_usd>("costUsd", json::kRequired),
          json::field<&AgentRun::attempts>("attempts", json::kRequired),
      });
  return table;
}

const json::RecordSpec& json_record(json::Tag<Extractor>) {
  static const json::RecordSpec table(
      "Extractor", {
                       json::field<&Extractor::kind>("kind", json::kRequired),
                       json::field<&Extractor::version>("version", json::kRequired),
                       json::field<&Extractor::agent_run>("agentRun", json::kOptional),
                   });
  return table;
}

const json::RecordSpec& json_record(json::Tag<ExtractionPage>) {
  static const json::RecordSpec table(
      "ExtractionPage", {
                            json::field<&ExtractionPage::index>("index", json::kRequired),
                            json::field<&ExtractionPage::text>("text", json::kRequired),
                            json::field<&ExtractionPage::bbox>("bbox", json::kOptional),
                        });
  return table;
}

const json::RecordSpec& json_record(json::Tag<ExtractionOutlineEntry>) {
  static const json::RecordSpec table(
      "ExtractionOutlineEntry",
      {
          json::field<&ExtractionOutlineEntry::level>("level", json::kRequired),
          json::field<&ExtractionOutlineEntry::text>("text", json::kRequired),
          json::field<&ExtractionOutlineEntry::page_index>("pageIndex", json::kOptional),
      });
  return table;
}

const json::RecordSpec& json_record(json::Tag<ExtractionOutput>) {
  static const json::RecordSpec table(
      "ExtractionOutput",
      {
          json::field<&ExtractionOutput::text>("text", json::kRequired),
          json::field<&ExtractionOutput::pages>("pages", json::kOptional),
          json::field<&ExtractionOutput::language>("language", json::kOptional),
          json::field<&ExtractionOutput::outline>("outline", json::kOptional),
          json::field<&ExtractionOutput::metadata>("metadata", json::kRequired),
          json::field<&ExtractionOutput::extractor>("extractor", json::kRequired),
      });
  return table;
}

fennick::Result<ExtractionOutput, json::Error> read_extraction_output(std::string_view bytes) {
  return json::from_json<ExtractionOutput>(bytes);
}

}  // namespace fennick::provenance
