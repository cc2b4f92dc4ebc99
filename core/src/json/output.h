#pragma once
// Where written JSON goes: a fixed window that the writers append to, drained to its target
// whenever it fills and at flush(). The target sees the text in pieces, so a digest of a large
// text needs no buffer of the whole text, and a string target grows by whole windows.

#include <array>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace fennick::json {

class Output {
 public:
  static constexpr std::size_t kWindowBytes = std::size_t{32} << 10;

  // Appends the text to `target`.
  explicit Output(std::string& target);
  // Hands the text to `drain` in pieces of at most kWindowBytes, in order.
  explicit Output(std::function<void(std::string_view)> drain);

  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  Output(Output&&) = delete;
  Output& operator=(Output&&) = delete;
  // Does not flush: what is still in the window when flush() was not called is dropped.
  ~Output() = default;

  Output& operator+=(char c) {
    if (used_ == kWindowBytes) drain_window();
    window_[used_++] = c;
    return *this;
  }

  Output& operator+=(std::string_view text) {
    if (text.size() <= kWindowBytes - used_) {
      if (!text.empty()) std::memcpy(window_.data() + used_, text.data(), text.size());
      used_ += text.size();
    } else {
      append_long(text);
    }
    return *this;
  }

  // Hands whatever the window holds to the target.
  void flush() { drain_window(); }

 private:
  void drain_window();
  void append_long(std::string_view text);

  std::string* target_ = nullptr;
  std::function<void(std::string_view)> drain_;
  std::size_t used_ = 0;
  // Left uninitialised: only the bytes written are ever read.
  std::array<char, kWindowBytes> window_;
};

// Runs `write` on a window whose text is appended to `target`, drained before returning: a
// window's tail is never left behind.
template <class Write>
void write_into(std::string& target, const Write& write) {
  Output out(target);
  write(out);
  out.flush();
}

// The same, with the text handed to `drain` in pieces.
template <class Write>
void write_through(std::function<void(std::string_view)> drain, const Write& write) {
  Output out(std::move(drain));
  write(out);
  out.flush();
}

}  // namespace fennick::json
