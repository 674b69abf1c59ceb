// Canonical JSON: the byte form every hash and signature is taken over.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace zelq
