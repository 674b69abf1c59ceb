// Canonical JSON: the byte form every hash and signature is taken over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/value.hpp"

namespace zelq {

inline constexpr unsigned kJcsMaxDepth = 256;

ZResult<std::string> jcs_canonicalize(const json::Value& v);
ZResult<void> write_canonical_value(const json::Value& v, std::string& out, unsigned depth);
void write_canonical_string(std::string_view s, std::string& out);
// ECMAScript Number::toString of a finite, non-zero binary64.
void write_canonical_float(double d, std::string& out);
// The same at out, which has room for kCanonicalNumberMax bytes; returns the end.
inline constexpr std::size_t kCanonicalNumberMax = 32;
char* write_canonical_float(double d, char* out);
// ECMAScript's layout of the decimal 0.d1d2...dk x 10^n (k >= 1 digits, the
// last not zero), the part of Number::toString after the shortest digits
// are found; at most kCanonicalNumberMax bytes at out. Returns the end.
char* write_ecmascript_decimal(const char* digits, int k, int n, char* out);

}  // namespace zelq

#include "core/json/reader.hpp"

namespace zelq {

// The canonical form of a JSON text, read and written in one pass without
// building a value: the same bytes as jcs_canonicalize(parse(text)), and the
// reader's failures. The reader's nesting limit lies below the canonical
// depth limit, so no canonicalization failure can arise here.
json::PResult<std::string> canonicalize_text(std::string_view text);

// canonicalize_text's quick pass: the canonical form in `out` and true, or
// false for a text it leaves to the reader (every text that does not read,
// and a few rare ones that do).
bool canonicalize_fast(std::string_view text, std::string& out);

// The same for a method's JSON text argument: "invalid JSON: {reader
// message}" when it does not read.
Result<std::string, ArgumentError> canonicalize_argument(std::string_view text);

// The canonical form of a JSON text with the place of each top-level member
// in it, for the hashes that leave members out or put one in: a body's
// content hash and its rewritten forms, without building a value.
struct CanonicalMembers {
  std::string text;  // the canonical form of the whole value
  bool object = false;
  // For an object: each member's canonical text `"key":value` is
  // text[begin, end), in canonical order, one entry per distinct key.
  struct Span {
    std::size_t begin, end;
  };
  std::vector<Span> members;

  std::string_view member(const Span& s) const { return std::string_view(text).substr(s.begin, s.end - s.begin); }
};

// With `truncate_ms`, every string value (not a key) that is an RFC 3339
// date-time with a part below the millisecond is written as its canonical
// millisecond text in UTC, as truncate_timestamps_ms does on a value.
json::PResult<CanonicalMembers> canonicalize_members(std::string_view text, bool truncate_ms);

}  // namespace zelq
