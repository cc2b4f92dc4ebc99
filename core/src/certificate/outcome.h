#pragma once
// The verdict of one certificate verification: every finding as a ready-to-print line.

#include <concepts>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace fennick::certificate {

// Error lines an outcome keeps. A certificate can list any number of failing artifacts or
// manifests: past this many, errors are counted but never built, so that neither memory nor the
// printed error list grows with them.
inline constexpr std::size_t kKeptErrors = 1000;

// Owned by the caller once returned. The lists only grow while the checks run; ok is true
// exactly when no error was found at all and is set by whoever runs the last check. Errors are
// added through add_error only, so that `errors` holds the first min(error_count, kKeptErrors).
struct VerificationOutcome {
  std::vector<std::string> errors;
  std::vector<std::string> notices;
  std::size_t error_count = 0;
  bool ok = false;

  // True once no further error text is kept.
  bool full() const { return errors.size() >= kKeptErrors; }

  void add_error(std::string text) {
    ++error_count;
    if (!full()) errors.push_back(std::move(text));
  }

  // Counts an error whose text `build` makes only when it is kept.
  template <typename BuildText>
  requires std::invocable<BuildText&>
  void add_error(BuildText&& build) {
    ++error_count;
    if (!full()) errors.push_back(build());
  }
};

}  // namespace fennick::certificate
