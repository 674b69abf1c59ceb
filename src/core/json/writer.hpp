// Compact JSON text and the structured debug form of a value.
#pragma once

#include <string>
#include <string_view>

#include "core/json/value.hpp"

namespace zelq::json {

// Compact text: no whitespace; '"', '\\', \b \f \n \r \t in their two-character
// forms, other controls as \u00XX, everything else as it stands.
std::string to_string(const Value& v);
void write_compact(const Value& v, std::string& out);
void write_string(std::string_view s, std::string& out);
// The escaping shared with canonical JSON, which has no two-character forms
// for backspace and form feed (short_bf false).
void write_escaped_string(std::string_view s, std::string& out, bool short_bf);
// The escape of one byte that ends a plain run ('"', '\\' or a control):
// at most 6 bytes at out; returns their end.
char* write_escape(unsigned char c, char* out, bool short_bf);
// Shortest round-trip float text: a float always shows a fraction or an
// exponent ("1.0", "1e100"), so it reads back as a float.
void write_float(double d, std::string& out);

// The shortest decimal digits that read back as `d` (finite, above zero),
// the closest to it of that length: d = 0.digits x 10^point, no trailing
// zero digit. Both number writers form their text from these.
struct ShortestDigits {
  char digits[24];
  int len;
  int point;
};
ShortestDigits shortest_digits(double d);

// Structured debug form: Null, Bool(true), Number(1), String("a"), Array [..], Object {..}.
std::string debug_string(const Value& v);

}  // namespace zelq::json
