// A list of texts kept compactly: their bytes one after another in one
// buffer, and where each ends. A list of short texts read from a large
// argument costs a few bytes per entry beyond its own bytes, where a vector
// of strings costs a whole string object per entry (and up to three times
// that while it grows).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/chunked_list.hpp"
#include "core/index_iterator.hpp"

namespace zelq::json {

class StringList {
 public:
  StringList() = default;
  StringList(std::initializer_list<std::string_view> entries) {
    for (std::string_view e : entries) push_back(e);
  }

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }

  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }

  void push_back(std::string_view s) {
    bytes_.append(s);
    ends_.push_back(bytes_.size());
  }

  using const_iterator = IndexIterator<StringList, std::string_view>;

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // The same texts in the same order.
  friend bool operator==(const StringList& a, const StringList& b) {
    if (a.size() != b.size() || a.bytes_ != b.bytes_) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a.ends_[i] != b.ends_[i]) return false;
    return true;
  }

 private:
  std::string bytes_;
  ChunkedList<std::size_t> ends_;
};

}  // namespace zelq::json
