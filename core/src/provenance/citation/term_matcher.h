#pragma once
// A multi-pattern matcher (Aho-Corasick) over a fixed set of byte strings: one walk over a text
// reports every pattern that occurs in it, in time linear in the text plus the patterns reported.
// The corpus search feeds it each lower-cased line once for all of the audit's terms.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fennick::provenance {

class TermMatcher {
 public:
  using State = std::uint32_t;
  static constexpr State kStart = 0;
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The patterns must be distinct and non-empty; pattern i is reported as i.
  explicit TermMatcher(std::span<const std::string> patterns);

  std::size_t pattern_count() const { return pattern_count_; }

  // The state after reading `byte` in `state`.
  State step(State state, unsigned char byte) const {
    while (true) {
      if (state < dense_states_) return dense_[(std::size_t{state} << 8) | byte];
      const std::uint32_t begin = child_begin_[state];
      const std::uint32_t end = child_begin_[state + 1];
      const State found = find_child(begin, end, byte);
      if (found != kNone) return found;
      state = fail_[state];
    }
  }

  // The pattern that ends exactly at `state`, or kNone.
  std::uint32_t pattern_at(State state) const { return pattern_[state]; }
  // The nearest state on `state`'s suffix chain (itself excluded) at which a pattern ends, or
  // kNone: the patterns that end with the one at `state`.
  State next_output(State state) const { return first_output_[fail_[state]]; }
  // The first state at or below `state` on its suffix chain at which a pattern ends, or kNone.
  State first_output(State state) const { return first_output_[state]; }

 private:
  State find_child(std::uint32_t begin, std::uint32_t end, unsigned char byte) const {
    // Children are sorted by label; deep states rarely have more than a few.
    const std::uint32_t last = end;
    while (begin < end) {
      const std::uint32_t mid = begin + (end - begin) / 2;
      if (labels_[mid] < byte) {
        begin = mid + 1;
      } else {
        end = mid;
      }
    }
    return begin < last && labels_[begin] == byte ? targets_[begin] : kNone;
  }

  std::size_t pattern_count_ = 0;
  // The first states in breadth-first order hold a full row of 256 transitions; the rest hold
  // their children only (sorted labels), so memory stays linear in the patterns' total length.
  State dense_states_ = 0;
  std::vector<State> dense_;
  std::vector<std::uint32_t> child_begin_;  // per state, into labels_/targets_; one extra entry
  std::vector<unsigned char> labels_;
  std::vector<State> targets_;
  std::vector<State> fail_;
  std::vector<State> first_output_;
  std::vector<std::uint32_t> pattern_;
};

}  // namespace fennick::provenance
