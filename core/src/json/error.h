#pragma once
// A JSON reading error: the message and where it was detected.

#include <cstddef>
#include <string>

namespace fennick::json {

struct Error {
  std::string message;
  // 1-based line; column counts the bytes since the last line feed. Zero line: not placed.
  std::size_t line = 0;
  std::size_t column = 0;

  // The message followed by " at line L column C" when the error is placed.
  std::string to_string() const;
};

}  // namespace fennick::json
