// ASCII character classes and hex digits: the one home for the small tests
// every reader of protocol text needs. Each takes any byte (char or int) and
// answers false (or -1) outside ASCII, so no locale and no sign extension
// can change an answer.
#pragma once

#include <string_view>

namespace zelq::ascii {

constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_lower(int c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_upper(int c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_alpha(int c) { return is_lower(c) || is_upper(c); }
constexpr bool is_alnum(int c) { return is_alpha(c) || is_digit(c); }
constexpr bool is_lower_alnum(int c) { return is_lower(c) || is_digit(c); }
constexpr bool is_lower_hex(int c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }
// ASCII upper case to lower case; every other byte unchanged.
constexpr char to_lower(int c) { return static_cast<char>(is_upper(c) ? c + ('a' - 'A') : c); }

// The value of a hex digit of either case, or -1.
constexpr int hex_value(int c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline constexpr char kLowerHexDigits[] = "0123456789abcdef";
inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// True when every byte of `s` satisfies `pred` (also for an empty `s`).
template <class Pred>
constexpr bool all_of(std::string_view s, Pred pred) {
  for (char c : s) {
    if (!pred(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace zelq::ascii
