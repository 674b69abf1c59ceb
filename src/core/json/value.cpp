#include "core/json/value.hpp"

#include <functional>

namespace zelq::json {

namespace {

constexpr std::size_t kIndexThreshold = 12;
constexpr std::size_t npos = static_cast<std::size_t>(-1);

std::size_t hash_key(std::string_view k) { return std::hash<std::string_view>{}(k); }

}  // namespace

std::vector<Member>::const_iterator Object::begin() const { return members_.begin(); }
std::vector<Member>::const_iterator Object::end() const { return members_.end(); }

std::size_t Object::lookup(std::string_view key) const {
  if (index_.empty()) {
    for (std::size_t i = 0; i < members_.size(); ++i)
      if (members_[i].key == key) return i;
    return npos;
  }
  const std::size_t mask = index_.size() - 1;
  for (std::size_t slot = hash_key(key) & mask;; slot = (slot + 1) & mask) {
    std::uint32_t e = index_[slot];
    if (e == 0) return npos;
    if (members_[e - 1].key == key) return e - 1;
  }
}

void Object::rebuild_index() {
  index_.clear();
  if (members_.size() < kIndexThreshold) return;
  std::size_t cap = 32;
  while (cap < members_.size() * 2) cap <<= 1;
  index_.assign(cap, 0);
  const std::size_t mask = cap - 1;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    std::size_t slot = hash_key(members_[i].key) & mask;
    while (index_[slot] != 0) slot = (slot + 1) & mask;
    index_[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

const Value* Object::find(std::string_view key) const {
  std::size_t i = lookup(key);
  return i == npos ? nullptr : &members_[i].value;
}

Value* Object::find(std::string_view key) {
  std::size_t i = lookup(key);
  return i == npos ? nullptr : &members_[i].value;
}

bool Object::insert(std::string key, Value value) {
  std::size_t i = lookup(key);
  if (i != npos) {
    members_[i].value = std::move(value);
    return false;
  }
  members_.push_back(Member{std::move(key), std::move(value)});
  const std::size_t n = members_.size();
  if (n >= kIndexThreshold && (index_.empty() || n * 2 > index_.size())) {
    rebuild_index();
  } else if (!index_.empty()) {
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = hash_key(members_.back().key) & mask;
    while (index_[slot] != 0) slot = (slot + 1) & mask;
    index_[slot] = static_cast<std::uint32_t>(n);
  }
  return true;
}

bool Object::remove(std::string_view key) {
  std::size_t i = lookup(key);
  if (i == npos) return false;
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(i));
  rebuild_index();
  return true;
}

void Object::reserve(std::size_t n) { members_.reserve(n); }

void Object::assign(std::vector<Member>::iterator first, std::vector<Member>::iterator last) {
  members_.clear();
  index_.clear();
  const std::size_t n = static_cast<std::size_t>(last - first);
  members_.reserve(n);
  if (n < kIndexThreshold) {
    for (auto it = first; it != last; ++it) {
      bool repeated = false;
      for (Member& m : members_) {
        if (m.key == it->key) {
          m.value = std::move(it->value);
          repeated = true;
          break;
        }
      }
      if (!repeated) members_.push_back(std::move(*it));
    }
    return;
  }
  for (auto it = first; it != last; ++it) insert(std::move(it->key), std::move(it->value));
}

const Value* Value::get(std::string_view key) const {
  if (!is_object()) return nullptr;
  return as_object().find(key);
}

bool operator==(const Object& a, const Object& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const Member& x = a.members()[i];
    const Member& y = b.members()[i];
    if (x.key != y.key || !(x.value == y.value)) return false;
  }
  return true;
}

bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

}  // namespace zelq::json
