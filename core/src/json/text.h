#pragma once
// Strings of records read from JSON text, held as views into the text they were read from.
//
// A certificate file is read once into a KeptText; every string of its records that holds no
// escape is a Text viewing those bytes, so the records add no copy of them. Each Text counts a
// reference to the block it views (a string with escapes, or one set by code, owns a block of its
// own), so a string or record copied out of a certificate stays valid after the certificate is
// gone. The counts are not atomic: fennick runs one thread.

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fennick::json {

namespace detail {
// Bytes shared by the Texts that view them, freed with the last of them.
struct TextBlock {
  std::size_t refs = 1;
  std::unique_ptr<char[]> raw;  // read from a file: never zero-filled
  std::string owned;            // set from a string
};
}  // namespace detail

// A counted reference to an immutable block of bytes: the whole text of a document.
class KeptText {
 public:
  KeptText() = default;
  // Takes `size` bytes at `bytes` as they are, without copying them.
  KeptText(std::unique_ptr<char[]> bytes, std::size_t size);
  // A copy of `text`.
  static KeptText copy_of(std::string_view text);

  KeptText(const KeptText& other) noexcept;
  KeptText(KeptText&& other) noexcept;
  KeptText& operator=(const KeptText& other) noexcept;
  KeptText& operator=(KeptText&& other) noexcept;
  ~KeptText();

  std::string_view view() const { return {data_, size_}; }

 private:
  friend class Text;
  detail::TextBlock* block_ = nullptr;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

class Text {
 public:
  Text() = default;
  // From any string, implicitly so that fields are set as strings are: the bytes are copied
  // into a block of the Text's own.
  Text(std::string_view s);
  Text(const std::string& s) : Text(std::string_view(s)) {}
  Text(std::string&& s);
  Text(const char* s) : Text(std::string_view(s)) {}
  // A view of `part`, which lies inside `kept`, sharing its block.
  static Text view_of(const KeptText& kept, std::string_view part);
  // A view of `part`, which lies inside `whole`, sharing its block.
  static Text view_of(const Text& whole, std::string_view part);

  Text(const Text& other) noexcept : block_(other.block_), data_(other.data_), size_(other.size_) {
    if (block_ != nullptr) ++block_->refs;
  }
  Text(Text&& other) noexcept : block_(other.block_), data_(other.data_), size_(other.size_) {
    other.block_ = nullptr;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  Text& operator=(const Text& other) noexcept {
    Text copy(other);  // taken first, so that assigning a Text to itself keeps its block
    swap(copy);
    return *this;
  }
  Text& operator=(Text&& other) noexcept {
    Text taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~Text() { release(); }

  const char* data() const { return size_ == 0 ? "" : data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data(), size_}; }
  operator std::string_view() const { return view(); }
  // Code and tests that set and take fields as std::string keep working.
  operator std::string() const { return str(); }
  std::string str() const { return std::string(view()); }
  std::string substr(std::size_t pos, std::size_t count = std::string_view::npos) const {
    return std::string(view().substr(pos, count));
  }
  const char* begin() const { return data(); }
  const char* end() const { return data() + size_; }
  char operator[](std::size_t i) const { return data_[i]; }

  Text& operator+=(std::string_view more) {
    std::string joined(view());
    joined += more;
    return *this = Text(std::move(joined));
  }
  void clear() noexcept { Text().swap(*this); }
  void swap(Text& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  friend bool operator==(const Text& a, const Text& b) { return a.view() == b.view(); }
  friend bool operator==(const Text& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const Text& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const Text& a, const char* b) { return a.view() == b; }
  friend std::strong_ordering operator<=>(const Text& a, const Text& b) {
    return a.view() <=> b.view();
  }
  friend std::strong_ordering operator<=>(const Text& a, std::string_view b) {
    return a.view() <=> b;
  }
  friend std::strong_ordering operator<=>(const Text& a, const std::string& b) {
    return a.view() <=> std::string_view(b);
  }
  friend std::strong_ordering operator<=>(const Text& a, const char* b) {
    return a.view() <=> std::string_view(b);
  }

 private:
  void release() noexcept;

  detail::TextBlock* block_ = nullptr;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

inline std::string operator+(std::string a, const Text& b) {
  a += b.view();
  return a;
}
inline std::string operator+(const char* a, const Text& b) { return std::string(a) + b; }
inline std::string operator+(const Text& a, std::string_view b) {
  std::string out(a.view());
  out += b;
  return out;
}
inline std::string operator+(const Text& a, const char* b) { return a + std::string_view(b); }

}  // namespace fennick::json
