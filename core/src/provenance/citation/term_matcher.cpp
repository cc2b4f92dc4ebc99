#include "provenance/citation/term_matcher.h"

#include <algorithm>
#include <utility>

namespace fennick::provenance {
namespace {

// States with a full transition row: 1 MiB, enough for the shallow states where a walk spends
// most of its steps.
constexpr std::size_t kDenseStates = 1024;

}  // namespace

TermMatcher::TermMatcher(std::span<const std::string> patterns) : pattern_count_(patterns.size()) {
  // The trie first, each state's children as a list of siblings.
  struct Node {
    std::uint32_t first_child = kNone;
    std::uint32_t next_sibling = kNone;
    std::uint32_t pattern = kNone;
    unsigned char label = 0;
  };
  std::size_t total = 1;
  for (const std::string& pattern : patterns) total += pattern.size();
  std::vector<Node> trie(1);
  trie.reserve(total);
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    std::uint32_t state = 0;
    for (const char c : patterns[i]) {
      const auto label = static_cast<unsigned char>(c);
      std::uint32_t child = trie[state].first_child;
      while (child != kNone && trie[child].label != label) child = trie[child].next_sibling;
      if (child == kNone) {
        child = static_cast<std::uint32_t>(trie.size());
        trie.push_back(Node{kNone, trie[state].first_child, kNone, label});
        trie[state].first_child = child;
      }
      state = child;
    }
    trie[state].pattern = static_cast<std::uint32_t>(i);
  }

  // Renumbered breadth first, so that a state's suffix states come before it and the dense rows
  // go to the shallowest states; children sorted by label.
  const std::size_t count = trie.size();
  std::vector<std::uint32_t> order;
  order.reserve(count);
  order.push_back(0);
  child_begin_.assign(count + 1, 0);
  labels_.reserve(count - 1);
  targets_.reserve(count - 1);
  pattern_.assign(count, kNone);
  std::vector<std::pair<unsigned char, std::uint32_t>> children;
  for (std::size_t head = 0; head < order.size(); ++head) {
    const Node& node = trie[order[head]];
    pattern_[head] = node.pattern;
    children.clear();
    for (std::uint32_t c = node.first_child; c != kNone; c = trie[c].next_sibling) {
      children.emplace_back(trie[c].label, c);
    }
    std::sort(children.begin(), children.end());
    child_begin_[head] = static_cast<std::uint32_t>(labels_.size());
    for (const auto& [label, child] : children) {
      labels_.push_back(label);
      targets_.push_back(static_cast<State>(order.size()));
      order.push_back(child);
    }
  }
  child_begin_[count] = static_cast<std::uint32_t>(labels_.size());
  std::vector<Node>().swap(trie);
  std::vector<std::uint32_t>().swap(order);

  dense_states_ = static_cast<State>(std::min(count, kDenseStates));
  dense_.assign(std::size_t{dense_states_} << 8, kStart);
  fail_.assign(count, kStart);
  first_output_.assign(count, kNone);
  for (std::size_t s = 0; s < count; ++s) {
    const std::uint32_t begin = child_begin_[s];
    const std::uint32_t end = child_begin_[s + 1];
    if (s < dense_states_) {
      State* const row = dense_.data() + (s << 8);
      // The suffix state comes earlier, so its row is complete; the start state's row is kStart.
      if (s != kStart) std::copy_n(dense_.data() + (std::size_t{fail_[s]} << 8), 256, row);
      for (std::uint32_t e = begin; e < end; ++e) row[labels_[e]] = targets_[e];
    }
    for (std::uint32_t e = begin; e < end; ++e) {
      const State child = targets_[e];
      const State suffix = s == kStart ? kStart : step(fail_[s], labels_[e]);
      fail_[child] = suffix;
    }
    // The suffix state comes earlier, so its first output is known.
    first_output_[s] = pattern_[s] != kNone ? static_cast<State>(s)
                       : s == kStart        ? kNone
                                            : first_output_[fail_[s]];
  }
}

}  // namespace fennick::provenance
