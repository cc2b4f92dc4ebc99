#pragma once
// Strict base64 (RFC 4648): one accepted text per byte string, so that keys, signatures and
// JWS segments cannot be varied without changing their text. Decoded bytes are held in a
// std::string. Error values are the detail texts that the verification messages embed:
// "Invalid symbol {byte}, offset {index}.", "Invalid input length: {n}",
// "Invalid last symbol {byte}, offset {index}." and "Invalid padding".

#include <string>
#include <string_view>

#include "result.h"

namespace fennick::crypto {

// Standard alphabet ("+", "/") with canonical "=" padding; non-zero trailing bits and any other
// byte (white space included) are rejected.
fennick::Result<std::string> decode_base64_standard(std::string_view text);

// URL-safe alphabet ("-", "_") without padding: any "=" is rejected.
fennick::Result<std::string> decode_base64_url(std::string_view text);

std::string encode_base64_standard(std::string_view bytes);
std::string encode_base64_url(std::string_view bytes);

}  // namespace fennick::crypto
