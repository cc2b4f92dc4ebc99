#include "json/error.h"

namespace fennick::json {

std::string Error::to_string() const {
  if (line == 0) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

}  // namespace fennick::json
