#include "json/text.h"

#include <utility>

namespace fennick::json {

namespace {

void drop(detail::TextBlock* block) noexcept {
  if (block != nullptr && --block->refs == 0) std::unique_ptr<detail::TextBlock> last(block);
}

}  // namespace

KeptText::KeptText(std::unique_ptr<char[]> bytes, std::size_t size) {
  auto block = std::make_unique<detail::TextBlock>();
  block->raw = std::move(bytes);
  data_ = block->raw.get();
  size_ = size;
  block_ = block.release();
}

KeptText KeptText::copy_of(std::string_view text) {
  auto bytes = std::make_unique_for_overwrite<char[]>(text.size());
  text.copy(bytes.get(), text.size());
  return KeptText(std::move(bytes), text.size());
}

KeptText::KeptText(const KeptText& other) noexcept
    : block_(other.block_), data_(other.data_), size_(other.size_) {
  if (block_ != nullptr) ++block_->refs;
}

KeptText::KeptText(KeptText&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

KeptText& KeptText::operator=(const KeptText& other) noexcept {
  KeptText copy(other);  // taken first: assigning a KeptText to itself keeps its block
  *this = std::move(copy);
  return *this;
}

KeptText& KeptText::operator=(KeptText&& other) noexcept {
  if (this != &other) {
    drop(block_);
    block_ = std::exchange(other.block_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

KeptText::~KeptText() { drop(block_); }

Text::Text(std::string_view s) : Text(std::string(s)) {}

Text::Text(std::string&& s) {
  if (s.empty()) return;
  auto block = std::make_unique<detail::TextBlock>();
  block->owned = std::move(s);
  data_ = block->owned.data();
  size_ = block->owned.size();
  block_ = block.release();
}

Text Text::view_of(const KeptText& kept, std::string_view part) {
  if (kept.block_ == nullptr) return Text(part);
  Text t;
  if (part.empty()) return t;
  t.block_ = kept.block_;
  if (t.block_ != nullptr) ++t.block_->refs;
  t.data_ = part.data();
  t.size_ = part.size();
  return t;
}

Text Text::view_of(const Text& whole, std::string_view part) {
  if (whole.block_ == nullptr) return Text(part);
  Text t;
  if (part.empty()) return t;
  t.block_ = whole.block_;
  ++t.block_->refs;
  t.data_ = part.data();
  t.size_ = part.size();
  return t;
}

void Text::release() noexcept { drop(block_); }

}  // namespace fennick::json
