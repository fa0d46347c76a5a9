// Text of a fixed capacity, kept in place: the installer needs no heap for its texts. Every change
// either fits whole or leaves the text as it was and answers false, so an overflow is never silent
// and never writes past the buffer.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

template <std::size_t Capacity>
class BoundedText {
 public:
  static constexpr std::size_t kCapacity = Capacity;

  BoundedText() = default;

  // Builds a text from parts; one that does not fit is cut at the capacity. For messages, where a
  // shortened text is better than none.
  static BoundedText Truncated(std::string_view first, std::string_view second = {}) {
    BoundedText text;
    text.AppendTruncated(first);
    text.AppendTruncated(second);
    return text;
  }

  [[nodiscard]] bool Assign(std::string_view text) {
    if (text.size() > Capacity) return false;
    Clear();
    return Append(text);
  }

  [[nodiscard]] bool Append(std::string_view text) {
    if (text.size() > Capacity - length_) return false;
    if (!text.empty()) std::memcpy(chars_ + length_, text.data(), text.size());
    length_ += text.size();
    chars_[length_] = '\0';
    return true;
  }

  void AppendTruncated(std::string_view text) {
    const std::size_t room = Capacity - length_;
    (void)Append(std::string_view(text.data(), text.size() < room ? text.size() : room));
  }

  void Clear() {
    length_ = 0;
    chars_[0] = '\0';
  }

  // For Windows calls that fill a buffer: the text takes over what they wrote, up to `length`.
  char *Buffer() { return chars_; }
  static constexpr std::size_t BufferSize() { return Capacity + 1; }
  void SetLengthFromBuffer(std::size_t length) {
    length_ = length < Capacity ? length : Capacity;
    chars_[length_] = '\0';
  }

  const char *CStr() const { return chars_; }
  std::string_view View() const { return {chars_, length_}; }
  std::size_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }

 private:
  char chars_[Capacity + 1] = {};
  std::size_t length_ = 0;
};
