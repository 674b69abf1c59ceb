// A forward iterator over a list that is read by place, `list[i]`: for the
// compact lists, whose elements are not laid out one after another.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <type_traits>

namespace zelq {

template <class List, class Ref>
class IndexIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::remove_cvref_t<Ref>;
  using difference_type = std::ptrdiff_t;
  using reference = Ref;
  using pointer = void;

  IndexIterator() = default;
  IndexIterator(const List* list, std::size_t i) : list_(list), i_(i) {}
  Ref operator*() const { return (*list_)[i_]; }
  auto operator->() const
    requires std::is_reference_v<Ref>
  {
    return std::addressof((*list_)[i_]);
  }
  IndexIterator& operator++() {
    ++i_;
    return *this;
  }
  IndexIterator operator++(int) {
    IndexIterator old = *this;
    ++i_;
    return old;
  }
  friend bool operator==(const IndexIterator& a, const IndexIterator& b) { return a.i_ == b.i_; }

 private:
  const List* list_ = nullptr;
  std::size_t i_ = 0;
};

}  // namespace zelq
