#include "core/json/value.hpp"

#include <unistd.h>

#include <array>
#include <random>

namespace zelq::json {

namespace {

constexpr std::size_t kIndexThreshold = 12;
constexpr std::size_t npos = static_cast<std::size_t>(-1);

// SipHash-2-4: a keyed hash whose outputs cannot be predicted, nor made to
// collide, without its key.
struct SipKey {
  std::uint64_t k0, k1;
};

SipKey draw_key() {
  std::array<std::uint64_t, 2> k{};
  if (getentropy(k.data(), sizeof k) != 0) {
    std::random_device rd;  // the kernel's source by another road
    for (auto& w : k) w = (std::uint64_t{rd()} << 32) ^ rd();
  }
  return SipKey{k[0], k[1]};
}

const SipKey& process_key() {
  static const SipKey key = draw_key();
  return key;
}

constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
  }
  void absorb(std::uint64_t m) {
    v3 ^= m;
    round();
    round();
    v0 ^= m;
  }
};

std::uint64_t siphash(std::string_view s, const SipKey& key) {
  SipState st{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL, key.k0 ^ 0x6c7967656e657261ULL,
              key.k1 ^ 0x7465646279746573ULL};
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t m = 0;
    for (int b = 7; b >= 0; --b) m = (m << 8) | p[i + static_cast<std::size_t>(b)];
    st.absorb(m);
  }
  std::uint64_t last = static_cast<std::uint64_t>(n) << 56;
  for (std::size_t b = 0; i + b < n; ++b) last |= std::uint64_t{p[i + b]} << (8 * b);
  st.absorb(last);
  st.v2 ^= 0xff;
  for (int r = 0; r < 4; ++r) st.round();
  return st.v0 ^ st.v1 ^ st.v2 ^ st.v3;
}

std::size_t hash_key(std::string_view k) { return static_cast<std::size_t>(siphash(k, process_key())); }

}  // namespace

std::uint64_t keyed_hash_for_tests(std::string_view s, std::uint64_t k0, std::uint64_t k1) {
  return siphash(s, SipKey{k0, k1});
}

std::vector<Member>::const_iterator Object::begin() const { return members_.begin(); }
std::vector<Member>::const_iterator Object::end() const { return members_.end(); }

std::size_t Object::lookup(std::string_view key) const {
  if (!index_) {
    for (std::size_t i = 0; i < members_.size(); ++i)
      if (members_[i].key == key) return i;
    return npos;
  }
  const std::size_t mask = index_[0];
  const std::uint32_t* slots = index_.get() + 1;
  for (std::size_t slot = hash_key(key) & mask;; slot = (slot + 1) & mask) {
    std::uint32_t e = slots[slot];
    if (e == 0) return npos;
    if (members_[e - 1].key == key) return e - 1;
  }
}

void Object::index_insert(std::size_t position) {
  const std::size_t mask = index_[0];
  std::uint32_t* slots = index_.get() + 1;
  std::size_t slot = hash_key(members_[position].key) & mask;
  while (slots[slot] != 0) slot = (slot + 1) & mask;
  slots[slot] = static_cast<std::uint32_t>(position + 1);
}

void Object::rebuild_index() {
  index_.reset();
  if (members_.size() < kIndexThreshold) return;
  std::size_t cap = 32;
  while (cap < members_.size() * 2) cap <<= 1;
  index_ = std::make_unique<std::uint32_t[]>(cap + 1);  // zeroed
  index_[0] = static_cast<std::uint32_t>(cap - 1);
  for (std::size_t i = 0; i < members_.size(); ++i) index_insert(i);
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
  if (n >= kIndexThreshold && (!index_ || n * 2 > std::size_t{index_[0]} + 1)) {
    rebuild_index();
  } else if (index_) {
    index_insert(n - 1);
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

void Object::adopt(std::vector<Member> members) {
  members_ = std::move(members);
  index_.reset();
  const std::size_t n = members_.size();
  if (n >= kIndexThreshold) {
    std::size_t cap = 32;
    while (cap < n * 2) cap <<= 1;
    index_ = std::make_unique<std::uint32_t[]>(cap + 1);  // zeroed
    index_[0] = static_cast<std::uint32_t>(cap - 1);
  }
  // Members are kept in place, front to back; the index (or, for a small
  // object, a scan) covers those kept so far.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t earlier = npos;
    if (index_) {
      earlier = lookup(members_[i].key);
    } else {
      for (std::size_t j = 0; j < kept && earlier == npos; ++j)
        if (members_[j].key == members_[i].key) earlier = j;
    }
    if (earlier != npos) {
      members_[earlier].value = std::move(members_[i].value);
      continue;
    }
    if (kept != i) members_[kept] = std::move(members_[i]);
    if (index_) index_insert(kept);
    ++kept;
  }
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(kept), members_.end());
  if (kept < kIndexThreshold) index_.reset();
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
