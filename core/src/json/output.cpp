#include "json/output.h"

#include <algorithm>
#include <utility>

namespace fennick::json {

Output::Output(std::string& target) : target_(&target) {}

Output::Output(std::function<void(std::string_view)> drain) : drain_(std::move(drain)) {}

void Output::drain_window() {
  if (used_ == 0) return;
  const std::string_view piece(window_.data(), used_);
  used_ = 0;
  if (target_ != nullptr) {
    target_->append(piece);
  } else {
    drain_(piece);
  }
}

void Output::append_long(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kWindowBytes) drain_window();
    const std::size_t n = std::min(text.size(), kWindowBytes - used_);
    std::memcpy(window_.data() + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
  }
}

}  // namespace fennick::json
