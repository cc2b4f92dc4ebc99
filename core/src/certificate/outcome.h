#pragma once
// The verdict of one certificate verification: every finding as a ready-to-print line.

#include <string>
#include <vector>

namespace fennick::certificate {

// Owned by the caller once returned. The lists only grow while the checks run; ok is true
// exactly when errors is empty and is set by whoever runs the last check.
struct VerificationOutcome {
  std::vector<std::string> errors;
  std::vector<std::string> notices;
  bool ok = false;
};

}  // namespace fennick::certificate
