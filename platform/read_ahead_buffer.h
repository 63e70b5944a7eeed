#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace rariduze {

// Body bytes that arrived before the caller asked for them, taken out from the front. Small
// and inline: a download passes every byte through here in 2048-byte reads.
class ReadAheadBuffer {
 public:
  // first_capacity: what the first growth makes room for at least, so that a stream of small
  // pieces does not grow the buffer piece by piece.
  explicit ReadAheadBuffer(std::size_t first_capacity = 0) : first_capacity_(first_capacity) {}

  std::size_t size() const { return end_ - begin_; }
  // Bytes the buffer could hold without growing.
  std::size_t capacity() const { return bytes_.size(); }

  // Copies up to count waiting bytes to out and takes them away.
  std::size_t Take(char* out, std::size_t count) {
    count = std::min(count, size());
    if (count > 0) std::memcpy(out, bytes_.data() + begin_, count);
    return Drop(count);
  }

  // Takes up to count waiting bytes away unread.
  std::size_t Drop(std::size_t count) {
    count = std::min(count, size());
    begin_ += count;
    if (begin_ == end_) begin_ = end_ = 0;
    return count;
  }

  // True when count more bytes fit without growing (the waiting ones are moved to the front
  // when that makes the room).
  bool MakeRoom(std::size_t count) {
    if (bytes_.size() - end_ >= count) return true;
    if (begin_ > 0) {
      std::memmove(bytes_.data(), bytes_.data() + begin_, size());
      end_ -= begin_;
      begin_ = 0;
    }
    return bytes_.size() - end_ >= count;
  }

  // Adds count bytes at the end, growing when they do not fit.
  void Append(const char* data, std::size_t count) {
    if (!MakeRoom(count)) bytes_.resize(std::max(end_ + count, first_capacity_));
    std::memcpy(bytes_.data() + end_, data, count);
    end_ += count;
  }

 private:
  std::vector<char> bytes_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t first_capacity_;
};

}  // namespace rariduze
