#pragma once
// Certificate files written by hand for the reading and writing tests: the ten required members
// with some replaced, removed or added, and reading one that must read.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate/records.h"

namespace fennick::test_support {

// Member key and its JSON value text, in file order.
using JsonMembers = std::vector<std::pair<std::string, std::string>>;

// The ten required members of a certificate, in declared order.
inline JsonMembers required_certificate_members() {
  return {
      {"certificateVersion", R"("1.5.0")"},
      {"pipelineRunId", R"("run-1")"},
      {"timestamp", R"("2024-05-01T10:00:00Z")"},
      {"status", R"("complete")"},
      {"intent", R"({"requirementsHash":"r1"})"},
      {"buildSpec", R"({"hash":"b1"})"},
      {"stages", "[]"},
      {"verification",
       R"({"compile":"passed","test":"passed","lint":"passed","typecheck":"passed",)"
       R"("securityScan":"passed"})"},
      {"proofChain", R"({"recordCount":3,"chainIntegrity":"verified"})"},
      {"certificateHash", R"("c1")"},
  };
}

// The required members with `changes` applied: a change to an existing key replaces its value in
// place, a new key is appended, and an empty value removes the member.
inline std::string certificate_json(const JsonMembers& changes = {}) {
  JsonMembers members = required_certificate_members();
  for (const auto& [key, value] : changes) {
    bool replaced = false;
    for (auto& member : members) {
      if (member.first == key) {
        member.second = value;
        replaced = true;
      }
    }
    if (!replaced) members.emplace_back(key, value);
  }
  std::string text = "{";
  for (const auto& [key, value] : members) {
    if (value.empty()) continue;
    if (text.size() > 1) text += ',';
    text += '"' + key + "\":" + value;
  }
  return text + "}";
}

// Reads `text`, which must read: a failure is reported with the text and gives an empty record.
inline certificate::GovernanceCertificate read_certificate_ok(std::string_view text) {
  auto result = certificate::read_certificate_json(text);
  EXPECT_TRUE(result.ok()) << text << "\n -> " << (result.ok() ? "" : result.error().to_string());
  return result.ok() ? std::move(result).value() : certificate::GovernanceCertificate{};
}

}  // namespace fennick::test_support
