#include "core/json/canonical.hpp"
#include "core/json/writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace zelq {

namespace {

bool key_less(const json::Member* a, const json::Member* b) {
  // std::string compares as unsigned bytes (char_traits<char>::compare uses
  // memcmp), which is code-point order for UTF-8.
  return a->key < b->key;
}

// A value read with parts left out is not the value as written: writing it
// would give another text, and a digest of something nobody sent.
ZResult<void> unread_error() {
  return fail(ZelqError::canonicalization("a JSON value read with parts left out has no canonical form"));
}

ZResult<void> depth_error() {
  return fail(ZelqError::canonicalization("JSON nesting depth exceeds " + std::to_string(kJcsMaxDepth)));
}

}  // namespace

void write_canonical_string(std::string_view s, std::string& out) { json::write_escaped_string(s, out, false); }

char* write_ecmascript_decimal(const char* digits, int k, int n, char* out) {
  const auto put = [&](const char* from, int count) {
    std::memcpy(out, from, static_cast<std::size_t>(count));
    out += count;
  };
  const auto zeros = [&](int count) {
    std::memset(out, '0', static_cast<std::size_t>(count));
    out += count;
  };
  if (k <= n && n <= 21) {
    put(digits, k);
    zeros(n - k);
  } else if (0 < n && n <= 21) {
    put(digits, n);
    *out++ = '.';
    put(digits + n, k - n);
  } else if (-6 < n && n <= 0) {
    *out++ = '0';
    *out++ = '.';
    zeros(-n);
    put(digits, k);
  } else {
    *out++ = digits[0];
    if (k > 1) {
      *out++ = '.';
      put(digits + 1, k - 1);
    }
    *out++ = 'e';
    *out++ = n - 1 >= 0 ? '+' : '-';
    out = std::to_chars(out, out + 8, n - 1 >= 0 ? n - 1 : 1 - n).ptr;
  }
  return out;
}

char* write_canonical_float(double d, char* out) {
  if (d < 0) {
    *out++ = '-';
    d = -d;
  }
  const json::ShortestDigits dec = json::shortest_digits(d);
  return write_ecmascript_decimal(dec.digits, dec.len, dec.point, out);
}

void write_canonical_float(double d, std::string& out) {
  char text[kCanonicalNumberMax];
  out.append(text, write_canonical_float(d, text));
}

ZResult<void> write_canonical_value(const json::Value& v, std::string& out, unsigned depth) {
  if (depth > kJcsMaxDepth) return depth_error();
  char nb[24];
  switch (v.type()) {
    case json::Type::Null: out.append("null"); break;
    case json::Type::Bool: out.append(v.as_bool() ? "true" : "false"); break;
    case json::Type::UInt: {
      auto r = std::to_chars(nb, nb + sizeof nb, v.as_u64());
      out.append(nb, r.ptr);
      break;
    }
    case json::Type::Int: {
      auto r = std::to_chars(nb, nb + sizeof nb, v.as_i64());
      out.append(nb, r.ptr);
      break;
    }
    case json::Type::Float: {
      double d = v.as_double();
      if (d == 0) out.push_back('0');
      else write_canonical_float(d, out);
      break;
    }
    case json::Type::String: write_canonical_string(v.as_string(), out); break;
    case json::Type::Array: {
      out.push_back('[');
      bool first = true;
      for (const json::Value& e : v.as_array()) {
        if (!first) out.push_back(',');
        first = false;
        ZELQ_TRY(write_canonical_value(e, out, depth + 1));
      }
      out.push_back(']');
      break;
    }
    case json::Type::Object: {
      const auto& members = v.as_object().members();
      std::vector<const json::Member*> sorted;
      sorted.reserve(members.size());
      for (const json::Member& m : members) sorted.push_back(&m);
      std::sort(sorted.begin(), sorted.end(), key_less);
      out.push_back('{');
      bool first = true;
      for (const json::Member* m : sorted) {
        if (!first) out.push_back(',');
        first = false;
        write_canonical_string(m->key, out);
        out.push_back(':');
        ZELQ_TRY(write_canonical_value(m->value, out, depth + 1));
      }
      out.push_back('}');
      break;
    }
    case json::Type::Unread: return unread_error();
  }
  return {};
}

ZResult<std::string> jcs_canonicalize(const json::Value& v) {
  std::string out;
  out.reserve(256);
  ZELQ_TRY(write_canonical_value(v, out, 0));
  return out;
}

}  // namespace zelq
