// A list that grows in chunks that never move: nothing it holds is copied
// or moved as it grows, where a vector that doubles holds up to three times
// its elements while it moves them. Chunks double from 16 elements up to
// 4096 and then stay at 4096, so a short list stays small and a long one
// leaves at most one chunk unused.
#pragma once

#include <bit>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "core/index_iterator.hpp"

namespace zelq {

template <class T>
class ChunkedList {
 public:
  ChunkedList() = default;
  ChunkedList(const ChunkedList& o) {
    for (const T& e : o) push_back(e);
  }
  ChunkedList(ChunkedList&& o) noexcept : chunks_(std::move(o.chunks_)), size_(std::exchange(o.size_, 0)) {
    o.chunks_.clear();
  }
  ChunkedList& operator=(const ChunkedList& o) {
    if (this != &o) *this = ChunkedList(o);
    return *this;
  }
  ChunkedList& operator=(ChunkedList&& o) noexcept {
    if (this == &o) return *this;
    chunks_ = std::move(o.chunks_);
    size_ = std::exchange(o.size_, 0);
    o.chunks_.clear();
    return *this;
  }
  ~ChunkedList() = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  const T& operator[](std::size_t i) const {
    const Slot at = slot(i);
    return chunks_[at.chunk][at.offset];
  }
  T& operator[](std::size_t i) {
    const Slot at = slot(i);
    return chunks_[at.chunk][at.offset];
  }

  void push_back(T value) {
    const Slot at = slot(size_);
    if (at.chunk == chunks_.size()) chunks_.push_back(std::make_unique_for_overwrite<T[]>(chunk_size(at.chunk)));
    chunks_[at.chunk][at.offset] = std::move(value);
    ++size_;
  }

  using const_iterator = IndexIterator<ChunkedList, const T&>;

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  static constexpr std::size_t kFirst = 16;
  static constexpr std::size_t kDoublings = 8;  // up to 16 << 8 = 4096
  static constexpr std::size_t kLast = kFirst << kDoublings;
  // Elements held by the chunks that double: 16 + 32 + ... + 4096.
  static constexpr std::size_t kDoubled = (kLast << 1) - kFirst;
  struct Slot {
    std::size_t chunk, offset;
  };
  static Slot slot(std::size_t i) {
    if (i >= kDoubled) return {kDoublings + 1 + (i - kDoubled) / kLast, (i - kDoubled) % kLast};
    const std::size_t j = i + kFirst;
    const auto width = static_cast<std::size_t>(std::bit_width(j));
    return {width - std::bit_width(kFirst), j - (std::size_t{1} << (width - 1))};
  }
  static std::size_t chunk_size(std::size_t chunk) { return chunk <= kDoublings ? kFirst << chunk : kLast; }

  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace zelq
