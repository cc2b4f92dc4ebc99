#pragma once
// Text primitives of the provenance audit: the claim anchor hash, the citation quote hash and the
// edge trim that the allowlist and the entity scan share with the anchor hash.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/sha256.h"

namespace fennick::provenance {

// Digest text of every hash below; the crypto helper already renders exactly this form.
using fennick::crypto::hex_lower;

// Filler words that must not change a claim's anchor hash; compared after lower-casing.
inline constexpr std::array<std::string_view, 10> kStopWords = {
    "a", "an", "is", "the", "are", "may", "can", "must", "will", "shall"};

bool is_stop_word(std::string_view token);

// Removes every character that is neither Unicode Alphabetic nor a number (Nd, Nl, No) from both
// ends; inner characters stay. Bytes that do not decode as UTF-8 count as non-alphanumeric.
std::string_view trim_non_alphanumeric(std::string_view token);

// Lower-cased (full mapping), NFC, split at White_Space and "-", edge-trimmed, stop words
// dropped; sorted by bytes and distinct.
std::vector<std::string> normalised_tokens(std::string_view text);

// SHA-256 of normalised_tokens joined by single spaces: equal for texts that differ only in case,
// edge punctuation, word order, repetition or stop words.
std::string token_fingerprint(std::string_view text);

// SHA-256 of the NFC text with every run of white space collapsed to one space and the ends
// dropped: exact in case, punctuation and word order.
std::string quote_hash(std::string_view text);

}  // namespace fennick::provenance
