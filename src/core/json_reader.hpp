// JSON text reader. Its messages and positions are part of the system's
// observable behaviour: "{message} at line {l} column {c}", where the column
// counts bytes from the start of the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zelq::json {

struct ParseError {
  std::string message;
  std::size_t line = 0;  // 0: no position attached (yet)
  std::size_t column = 0;
  std::string display() const;
};

template <class T>
using PResult = Result<T, ParseError>;

// Arrays and objects nest at most this many levels minus one.
inline constexpr int kRecursionLimit = 128;

// A cursor over one text; the record readers drive it directly so that their
// errors carry the same positions as the value reader's.
class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  // Skips white space; returns the next byte, or -1 at the end.
  int peek_ws();
  int peek() const { return i_ < s_.size() ? static_cast<unsigned char>(s_[i_]) : -1; }
  void eat() { ++i_; }
  std::size_t index() const { return i_; }

  // Errors at the current index, or one byte further (the "peek" position).
  ParseError error(std::string message) const;
  ParseError peek_error(std::string message) const;
  // Attaches the current position to an error that has none.
  ParseError fix(ParseError e) const;

  // One value at the cursor.
  PResult<Value> parse_value();
  // A string whose opening quote has been consumed.
  PResult<std::string> parse_string_body();
  // Skips a value at the cursor without building it.
  PResult<void> skip_value();
  // Nothing but white space may follow the top-level value.
  PResult<void> end();

  // Nesting guard around a container whose opening byte is at the cursor.
  PResult<void> enter();
  void leave() { ++remaining_depth_; }

  // A number at the cursor (first byte is '-' or a digit); kept as the
  // reader would keep it.
  PResult<Value> parse_number();

 private:
  PResult<Value> parse_integer(bool positive, std::size_t start);
  PResult<Value> parse_float_tail(bool positive, std::size_t start);
  PResult<void> parse_ident(const char* rest);
  PResult<void> skip_number();
  PResult<void> parse_unicode_escape(std::string& out);
  PResult<unsigned> decode_hex_escape();

  std::string_view s_;
  std::size_t i_ = 0;
  int remaining_depth_ = kRecursionLimit;
};

// The whole text as exactly one value.
PResult<Value> parse(std::string_view text);

// Description of a value for "invalid type" messages ("string \"a\"",
// "integer `5`", "map", ...).
std::string unexpected_desc(const Value& v);

}  // namespace zelq::json
