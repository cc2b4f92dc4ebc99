#pragma once
// Small records and enumerations for the JSON tests, declared through the same field tables the
// product's records use. They are shaped like certificate records only as far as the expected
// messages need (names, field counts, presence rules), not copies of them.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "json/read.h"

namespace fennick::json::test_types {

using StringMap = std::map<std::string, std::string, std::less<>>;

enum class Status : std::uint8_t { kComplete, kIncomplete };
inline const EnumSpec& json_enum(Tag<Status>) {
  static const EnumSpec table({"complete", "incomplete"});
  return table;
}

enum class StageStatus : std::uint8_t { kPassed, kFailed, kSkipped };
inline const EnumSpec& json_enum(Tag<StageStatus>) {
  static const EnumSpec table({"passed", "failed", "skipped"});
  return table;
}

enum class Integrity : std::uint8_t { kVerified, kUnverified, kEmpty };
inline const EnumSpec& json_enum(Tag<Integrity>) {
  static const EnumSpec table({"verified", "unverified", "empty"});
  return table;
}

struct Intent {
  std::string requirements_hash;
  std::optional<std::string> spec_id;
  std::optional<std::string> spec_hash;
};
inline const RecordSpec& json_record(Tag<Intent>) {
  static const RecordSpec table("IntentRecord",
                                {field<&Intent::requirements_hash>("requirementsHash", kRequired),
                                 field<&Intent::spec_id>("specId", kOptionalDefaulted),
                                 field<&Intent::spec_hash>("specHash", kOptionalDefaulted)});
  return table;
}

struct ProofChain {
  std::uint64_t record_count = 0;
  std::optional<std::string> first_record_hash;
  std::optional<std::string> last_record_hash;
  Integrity chain_integrity = Integrity::kEmpty;
};
inline const RecordSpec& json_record(Tag<ProofChain>) {
  static const RecordSpec table(
      "ProofChainSummary",
      {field<&ProofChain::record_count>("recordCount", kRequired),
       field<&ProofChain::first_record_hash>("firstRecordHash", kOptionalDefaulted),
       field<&ProofChain::last_record_hash>("lastRecordHash", kOptionalDefaulted),
       field<&ProofChain::chain_integrity>("chainIntegrity", kRequired)});
  return table;
}

struct Gate {
  bool passed = false;
  std::uint32_t checks_run = 0;
  std::uint32_t checks_failed = 0;
};
inline const RecordSpec& json_record(Tag<Gate>) {
  static const RecordSpec table(
      "GateResultRecord",
      {field<&Gate::passed>("passed", kRequired), field<&Gate::checks_run>("checksRun", kRequired),
       field<&Gate::checks_failed>("checksFailed", kRequired)});
  return table;
}

struct Stage {
  std::string stage_id;
  StageStatus status = StageStatus::kSkipped;
  StringMap artifact_hashes;
  std::optional<Gate> gate_result;
  std::optional<std::uint64_t> duration_ms;
  std::optional<std::string> note;
};
inline const RecordSpec& json_record(Tag<Stage>) {
  static const RecordSpec table(
      "StageRecord",
      {field<&Stage::stage_id>("stageId", kRequired), field<&Stage::status>("status", kRequired),
       field<&Stage::artifact_hashes>("artifactHashes", kRequired),
       field<&Stage::gate_result>("gateResult", kOptional),
       field<&Stage::duration_ms>("durationMs", kOptionalDefaulted),
       field<&Stage::note>("note", kOptionalDefaulted)});
  return table;
}

// A root of 24 fields: the six the message examples name, a few of other types and rules, and
// optional fillers that only bring the count to the certificate's.
struct Root {
  std::string certificate_version;
  text::Timestamp timestamp;
  Status status = Status::kIncomplete;
  Intent intent;
  std::vector<Stage> stages;
  ProofChain proof_chain;
  std::uint8_t tier = 3;
  std::int32_t exit_code = -7;
  StringMap labels;
  std::optional<Value> envelope;
  std::string signing_public_key = "unset";
  std::vector<std::string> notes;
  std::optional<std::string> f12, f13, f14, f15, f16, f17, f18, f19, f20, f21, f22, f23;
};
inline const RecordSpec& json_record(Tag<Root>) {
  static const RecordSpec table("GovernanceCertificate",
                                {field<&Root::certificate_version>("certificateVersion", kRequired),
                                 field<&Root::timestamp>("timestamp", kRequired),
                                 field<&Root::status>("status", kRequired),
                                 field<&Root::intent>("intent", kRequired),
                                 field<&Root::stages>("stages", kRequired),
                                 field<&Root::proof_chain>("proofChain", kRequired),
                                 field<&Root::tier>("tier", kDefaulted),
                                 field<&Root::exit_code>("exitCode", kDefaulted),
                                 field<&Root::labels>("labels", kDefaulted),
                                 field<&Root::envelope>("envelope", kOptionalDefaulted),
                                 field<&Root::signing_public_key>("signingPublicKey", kDefaulted),
                                 field<&Root::notes>("notes", kDefaulted),
                                 field<&Root::f12>("f12", kOptionalDefaulted),
                                 field<&Root::f13>("f13", kOptionalDefaulted),
                                 field<&Root::f14>("f14", kOptionalDefaulted),
                                 field<&Root::f15>("f15", kOptionalDefaulted),
                                 field<&Root::f16>("f16", kOptionalDefaulted),
                                 field<&Root::f17>("f17", kOptionalDefaulted),
                                 field<&Root::f18>("f18", kOptionalDefaulted),
                                 field<&Root::f19>("f19", kOptionalDefaulted),
                                 field<&Root::f20>("f20", kOptionalDefaulted),
                                 field<&Root::f21>("f21", kOptionalDefaulted),
                                 field<&Root::f22>("f22", kOptionalDefaulted),
                                 field<&Root::f23>("f23", kOptionalDefaulted)});
  return table;
}

// One field under each presence rule, in the order required, optional, optional defaulted,
// defaulted.
struct Presence4 {
  std::string req;
  std::optional<std::string> opt;
  std::optional<std::string> optdef;
  std::uint32_t def = 7;
};
inline const RecordSpec& json_record(Tag<Presence4>) {
  static const RecordSpec table(
      "PresenceRecord",
      {field<&Presence4::req>("req", kRequired), field<&Presence4::opt>("opt", kOptional),
       field<&Presence4::optdef>("optdef", kOptionalDefaulted),
       field<&Presence4::def>("def", kDefaulted)});
  return table;
}

// A defaulted field before a required one: a short array names the required position.
struct Mixed {
  std::string a;
  std::uint32_t b = 1;
  std::string c;
};
inline const RecordSpec& json_record(Tag<Mixed>) {
  static const RecordSpec table(
      "MixedRecord", {field<&Mixed::a>("a", kRequired), field<&Mixed::b>("b", kDefaulted),
                      field<&Mixed::c>("c", kRequired)});
  return table;
}

// A record that nests itself through a list, for depth tests.
struct Node {
  std::vector<Node> children;
};
inline const RecordSpec& json_record(Tag<Node>) {
  static const RecordSpec table("Node", {field<&Node::children>("c", kDefaulted)});
  return table;
}

}  // namespace fennick::json::test_types
