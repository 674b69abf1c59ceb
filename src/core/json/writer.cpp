#include "core/json/writer.hpp"

#include <charconv>
#include <cmath>

#include "core/ascii.hpp"
#include "core/error.hpp"
#include "core/json/string_bytes.hpp"

namespace zelq::json {

// ---- writer ----------------------------------------------------------------

char* write_escape(unsigned char c, char* out, bool short_bf) {
  *out++ = '\\';
  switch (c) {
    case '"': *out++ = '"'; return out;
    case '\\': *out++ = '\\'; return out;
    case '\n': *out++ = 'n'; return out;
    case '\r': *out++ = 'r'; return out;
    case '\t': *out++ = 't'; return out;
    case '\b':
      if (short_bf) { *out++ = 'b'; return out; }
      break;
    case '\f':
      if (short_bf) { *out++ = 'f'; return out; }
      break;
    default:
      break;
  }
  const char esc[5] = {'u', '0', '0', ascii::kLowerHexDigits[c >> 4], ascii::kLowerHexDigits[c & 15]};
  for (char e : esc) *out++ = e;
  return out;
}

void write_escaped_string(std::string_view s, std::string& out, bool short_bf) {
  out.push_back('"');
  const char* p = s.data();
  const char* const end = p + s.size();
  for (;;) {
    const char* run_end = find_plain_end(p, end);
    out.append(p, run_end);
    if (run_end == end) break;
    char esc[6];
    out.append(esc, write_escape(static_cast<unsigned char>(*run_end), esc, short_bf));
    p = run_end + 1;
  }
  out.push_back('"');
}

void write_string(std::string_view s, std::string& out) { write_escaped_string(s, out, true); }

// Shortest round-trip digits and decimal exponent: value = 0.d1d2.. x 10^point.
ShortestDigits shortest_digits(double d) {
  // The library's shortest round-trip form, closest to the value.
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  ShortestDigits dec{};
  const char* p = buf;
  int exp = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p != '.') dec.digits[dec.len++] = *p;
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
  const ShortestDigits dec = shortest_digits(d < 0 ? -d : d);
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

// Left-out parts are written as they were read, in their place: their
// elements or members without the brackets that hold them.
static void write_unread_inner(const Unread& u, std::string& out) {
  out.append(std::string_view(u.text).substr(1, u.text.size() - 2));
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
        if (e.is_unread()) write_unread_inner(e.as_unread(), out);
        else write_compact(e, out);
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
        if (m.value.is_unread()) {
          write_unread_inner(m.value.as_unread(), out);
          continue;
        }
        write_string(m.key, out);
        out.push_back(':');
        write_compact(m.value, out);
      }
      out.push_back('}');
      break;
    }
    case Type::Unread: out.append(v.as_unread().text); break;
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
    case Type::Unread:
      out.append("Unread(").append(std::to_string(v.as_unread().count)).append(", ");
      out.append(zelq::debug_quote(v.as_unread().text)).push_back(')');
      break;
  }
}

std::string debug_string(const Value& v) {
  std::string out;
  debug_into(v, out);
  return out;
}

}  // namespace zelq::json
