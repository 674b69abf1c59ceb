#include "core/json.hpp"

#include "core/error.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
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

// ---- writer ----------------------------------------------------------------

void write_string(std::string_view s, std::string& out) {
  static constexpr char hex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.data() + start, i - start);
    start = i + 1;
    switch (c) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\b': out.append("\\b"); break;
      case '\f': out.append("\\f"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default: {
        char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
        out.append(esc, 6);
      }
    }
  }
  out.append(s.data() + start, s.size() - start);
  out.push_back('"');
}

// Shortest round-trip digits and decimal exponent: value = 0.d1d2.. x 10^point.
struct Decimal {
  char digits[32];
  int len;
  int point;  // position of the decimal point relative to the digits
};

static Decimal shortest_decimal(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  Decimal dec{};
  const char* p = buf;
  int exp = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') dec.digits[dec.len++] = *p;
  }
  if (p < r.ptr) std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exp);
  while (dec.len > 1 && dec.digits[dec.len - 1] == '0') --dec.len;
  dec.point = exp + 1;
  return dec;
}

void write_float(double d, std::string& out) {
  if (d == 0) {
    out.append(std::signbit(d) ? "-0.0" : "0.0");
    return;
  }
  if (d < 0) out.push_back('-');
  Decimal dec = shortest_decimal(d < 0 ? -d : d);
  const int k = dec.len;
  const int kk = dec.point;       // 10^(kk-1) <= v < 10^kk
  const int exponent = kk - k;    // v = digits x 10^exponent
  if (exponent >= 0 && kk <= 16) {
    out.append(dec.digits, k);
    out.append(static_cast<std::size_t>(kk - k), '0');
    out.append(".0");
  } else if (kk > 0 && kk <= 16) {
    out.append(dec.digits, kk);
    out.push_back('.');
    out.append(dec.digits + kk, k - kk);
  } else if (kk > -5 && kk <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-kk), '0');
    out.append(dec.digits, k);
  } else {
    out.push_back(dec.digits[0]);
    if (k > 1) {
      out.push_back('.');
      out.append(dec.digits + 1, k - 1);
    }
    out.push_back('e');
    char eb[8];
    auto r = std::to_chars(eb, eb + sizeof eb, kk - 1);
    out.append(eb, r.ptr);
  }
}

static void append_u64(std::uint64_t u, std::string& out) {
  char b[24];
  auto r = std::to_chars(b, b + sizeof b, u);
  out.append(b, r.ptr);
}

static void append_i64(std::int64_t i, std::string& out) {
  char b[24];
  auto r = std::to_chars(b, b + sizeof b, i);
  out.append(b, r.ptr);
}

void write_compact(const Value& v, std::string& out) {
  switch (v.type()) {
    case Type::Null: out.append("null"); break;
    case Type::Bool: out.append(v.as_bool() ? "true" : "false"); break;
    case Type::UInt: append_u64(v.as_u64(), out); break;
    case Type::Int: append_i64(v.as_i64(), out); break;
    case Type::Float: write_float(v.as_double(), out); break;
    case Type::String: write_string(v.as_string(), out); break;
    case Type::Array: {
      out.push_back('[');
      bool first = true;
      for (const Value& e : v.as_array()) {
        if (!first) out.push_back(',');
        first = false;
        write_compact(e, out);
      }
      out.push_back(']');
      break;
    }
    case Type::Object: {
      out.push_back('{');
      bool first = true;
      for (const Member& m : v.as_object()) {
        if (!first) out.push_back(',');
        first = false;
        write_string(m.key, out);
        out.push_back(':');
        write_compact(m.value, out);
      }
      out.push_back('}');
      break;
    }
  }
}

std::string to_string(const Value& v) {
  std::string out;
  write_compact(v, out);
  return out;
}

// ---- debug form ------------------------------------------------------------

static void debug_into(const Value& v, std::string& out) {
  switch (v.type()) {
    case Type::Null: out.append("Null"); break;
    case Type::Bool: out.append(v.as_bool() ? "Bool(true)" : "Bool(false)"); break;
    case Type::UInt: out.append("Number("); append_u64(v.as_u64(), out); out.push_back(')'); break;
    case Type::Int: out.append("Number("); append_i64(v.as_i64(), out); out.push_back(')'); break;
    case Type::Float: out.append("Number("); write_float(v.as_double(), out); out.push_back(')'); break;
    case Type::String: out.append("String("); out.append(zelq::debug_quote(v.as_string())); out.push_back(')'); break;
    case Type::Array: {
      out.append("Array [");
      bool first = true;
      for (const Value& e : v.as_array()) {
        if (!first) out.append(", ");
        first = false;
        debug_into(e, out);
      }
      out.push_back(']');
      break;
    }
    case Type::Object: {
      out.append("Object {");
      bool first = true;
      for (const Member& m : v.as_object()) {
        if (!first) out.append(", ");
        first = false;
        out.append(zelq::debug_quote(m.key));
        out.append(": ");
        debug_into(m.value, out);
      }
      out.push_back('}');
      break;
    }
  }
}

std::string debug_string(const Value& v) {
  std::string out;
  debug_into(v, out);
  return out;
}

}  // namespace zelq::json
