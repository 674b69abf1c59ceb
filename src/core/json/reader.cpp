#include "core/json/reader.hpp"

#include "core/ascii.hpp"
#include "core/error.hpp"
#include "core/json/string_bytes.hpp"
#include "core/json/writer.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace zelq::json {

namespace {

constexpr const char* kEofValue = "EOF while parsing a value";
constexpr const char* kEofList = "EOF while parsing a list";
constexpr const char* kEofObject = "EOF while parsing an object";
constexpr const char* kEofString = "EOF while parsing a string";
constexpr const char* kExpectedColon = "expected `:`";
constexpr const char* kListCommaOrEnd = "expected `,` or `]`";
constexpr const char* kObjectCommaOrEnd = "expected `,` or `}`";
constexpr const char* kExpectedIdent = "expected ident";
constexpr const char* kExpectedValue = "expected value";
constexpr const char* kInvalidEscape = "invalid escape";
constexpr const char* kInvalidNumber = "invalid number";
constexpr const char* kOutOfRange = "number out of range";
constexpr const char* kControlChar = "control character (\\u0000-\\u001F) found while parsing a string";
constexpr const char* kKeyMustBeString = "key must be a string";
constexpr const char* kLoneSurrogate = "lone leading surrogate in hex escape";
constexpr const char* kTrailingComma = "trailing comma";
constexpr const char* kTrailingChars = "trailing characters";
constexpr const char* kEndOfHexEscape = "unexpected end of hex escape";
constexpr const char* kRecursion = "recursion limit exceeded";

bool is_digit(int c) { return c >= '0' && c <= '9'; }

void push_utf8(unsigned cp, std::string& out) {
  char bytes[4];
  out.append(bytes, encode_utf8(cp, bytes));
}

}  // namespace

std::string ParseError::display() const {
  if (line == 0) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

int Reader::peek_ws() {
  while (i_ < s_.size()) {
    char c = s_[i_];
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
      ++i_;
    } else {
      return static_cast<unsigned char>(c);
    }
  }
  return -1;
}

static ParseError at_index(std::string_view s, std::size_t i, std::string message) {
  std::size_t line = 1, line_start = 0;
  for (std::size_t k = 0; k < i; ++k) {
    if (s[k] == '\n') {
      ++line;
      line_start = k + 1;
    }
  }
  return ParseError{std::move(message), line, i - line_start};
}

ParseError Reader::error(std::string message) const { return at_index(s_, i_, std::move(message)); }

ParseError Reader::peek_error(std::string message) const {
  return at_index(s_, i_ + 1 < s_.size() ? i_ + 1 : s_.size(), std::move(message));
}

ParseError Reader::fix(ParseError e) const {
  if (e.line != 0) return e;
  return error(std::move(e.message));
}

PResult<void> Reader::enter() {
  if (--remaining_depth_ == 0) return fail(peek_error(kRecursion));
  return {};
}

PResult<void> Reader::parse_ident(const char* rest) {
  for (const char* p = rest; *p; ++p) {
    if (i_ >= s_.size()) return fail(error(kEofValue));
    char c = s_[i_++];
    if (c != *p) return fail(error(kExpectedIdent));
  }
  return {};
}

PResult<unsigned> Reader::decode_hex_escape() {
  if (s_.size() - i_ < 4) {
    i_ = s_.size();
    return fail(error(kEofString));
  }
  unsigned v = 0;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    int h = ascii::hex_value(static_cast<unsigned char>(s_[i_ + static_cast<std::size_t>(k)]));
    if (h < 0) ok = false;
    v = (v << 4) | static_cast<unsigned>(h < 0 ? 0 : h);
  }
  i_ += 4;
  if (!ok) return fail(error(kInvalidEscape));
  return v;
}

PResult<void> Reader::parse_unicode_escape(std::string& out) {
  auto first = decode_hex_escape();
  if (!first) return fail(std::move(first).error());
  unsigned n = *first;
  if (n >= 0xDC00 && n <= 0xDFFF) return fail(error(kLoneSurrogate));
  if (n < 0xD800 || n > 0xDBFF) {
    push_utf8(n, out);
    return {};
  }
  // A leading surrogate must be followed by an escaped trailing one.
  if (i_ >= s_.size()) return fail(error(kEofString));
  if (s_[i_] != '\\') {
    ++i_;
    return fail(error(kEndOfHexEscape));
  }
  ++i_;
  if (i_ >= s_.size()) return fail(error(kEofString));
  if (s_[i_] != 'u') {
    ++i_;
    return fail(error(kEndOfHexEscape));
  }
  ++i_;
  auto second = decode_hex_escape();
  if (!second) return fail(std::move(second).error());
  unsigned n2 = *second;
  if (n2 < 0xDC00 || n2 > 0xDFFF) return fail(error(kLoneSurrogate));
  push_utf8((((n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000, out);
  return {};
}

PResult<std::string_view> Reader::parse_string_view(bool& escaped) {
  const std::size_t begin = i_;
  const char* const end = s_.data() + s_.size();
  i_ = static_cast<std::size_t>(find_plain_end(s_.data() + i_, end) - s_.data());
  if (i_ < s_.size() && s_[i_] == '"') {
    escaped = false;
    return s_.substr(begin, i_++ - begin);
  }
  escaped = true;
  scratch_.assign(s_.data() + begin, i_ - begin);
  for (;;) {
    if (i_ == s_.size()) return fail(error(kEofString));
    char c = s_[i_++];
    if (c == '"') return std::string_view(scratch_);
    if (c != '\\') return fail(error(kControlChar));
    if (i_ >= s_.size()) return fail(error(kEofString));
    char e = s_[i_++];
    switch (e) {
      case '"': scratch_.push_back('"'); break;
      case '\\': scratch_.push_back('\\'); break;
      case '/': scratch_.push_back('/'); break;
      case 'b': scratch_.push_back('\b'); break;
      case 'f': scratch_.push_back('\f'); break;
      case 'n': scratch_.push_back('\n'); break;
      case 'r': scratch_.push_back('\r'); break;
      case 't': scratch_.push_back('\t'); break;
      case 'u': {
        auto r = parse_unicode_escape(scratch_);
        if (!r) return fail(std::move(r).error());
        break;
      }
      default:
        return fail(error(kInvalidEscape));
    }
    const char* run = s_.data() + i_;
    const char* run_end = find_plain_end(run, end);
    scratch_.append(run, run_end);
    i_ = static_cast<std::size_t>(run_end - s_.data());
  }
}

PResult<std::string> Reader::parse_string_body() {
  bool escaped = false;
  auto v = parse_string_view(escaped);
  if (!v) return fail(std::move(v).error());
  return std::string(*v);
}

PResult<Value> Reader::parse_number() {
  std::size_t start = i_;
  bool positive = true;
  if (peek() == '-') {
    ++i_;
    positive = false;
  }
  return parse_integer(positive, start);
}

PResult<Value> Reader::parse_integer(bool positive, std::size_t start) {
  if (i_ >= s_.size()) return fail(error(kEofValue));
  char c = s_[i_++];
  std::uint64_t sig = 0;
  if (c == '0') {
    if (is_digit(peek())) return fail(peek_error(kInvalidNumber));
  } else if (c >= '1' && c <= '9') {
    sig = static_cast<std::uint64_t>(c - '0');
    while (is_digit(peek())) {
      std::uint64_t d = static_cast<std::uint64_t>(s_[i_] - '0');
      if (sig > (UINT64_MAX - d) / 10) {
        // Too large for 64 bits: the rest is read as a float.
        while (is_digit(peek())) ++i_;
        return parse_float_tail(positive, start);
      }
      sig = sig * 10 + d;
      ++i_;
    }
  } else {
    return fail(error(kInvalidNumber));
  }
  int p = peek();
  if (p == '.' || p == 'e' || p == 'E') return parse_float_tail(positive, start);
  if (positive) return Value::from_u64(sig);
  if (sig == 0 || sig > (std::uint64_t{1} << 63)) {
    // -0 and integers below the signed range are floats.
    return Value::from_double(-static_cast<double>(sig));
  }
  return Value::from_i64(static_cast<std::int64_t>(~sig + 1));
}

PResult<Value> Reader::parse_float_tail(bool positive, std::size_t start) {
  if (peek() == '.') {
    ++i_;
    if (!is_digit(peek())) {
      if (peek() < 0) return fail(peek_error(kEofValue));
      return fail(peek_error(kInvalidNumber));
    }
    while (is_digit(peek())) ++i_;
  }
  if (peek() == 'e' || peek() == 'E') {
    ++i_;
    if (peek() == '+' || peek() == '-') ++i_;
    if (i_ >= s_.size()) return fail(error(kEofValue));
    char c = s_[i_++];
    if (!is_digit(c)) return fail(error(kInvalidNumber));
    while (is_digit(peek())) ++i_;
  }
  const char* first = s_.data() + start + (positive ? 0 : 1);
  const char* last = s_.data() + i_;
  double d = 0;
  auto r = std::from_chars(first, last, d, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Tell overflow from underflow by the decimal exponent of the first
    // significant digit.
    long long int_digits = 0;
    long long lead_zeros = 0;
    bool seen = false, in_frac = false;
    const char* p = first;
    for (; p < last && *p != 'e' && *p != 'E'; ++p) {
      if (*p == '.') { in_frac = true; continue; }
      if (!seen && *p == '0') { if (in_frac) ++lead_zeros; continue; }
      seen = true;
      if (!in_frac) ++int_digits;
    }
    long long exp = 0;
    if (p < last) {
      ++p;
      bool neg = false;
      if (*p == '+' || *p == '-') neg = (*p++ == '-');
      for (; p < last; ++p) {
        if (exp < 1000000000) exp = exp * 10 + (*p - '0');
      }
      if (neg) exp = -exp;
    }
    long long magnitude = (int_digits > 0 ? int_digits : -lead_zeros) + exp;
    if (seen && magnitude > 0) return fail(error(kOutOfRange));
    d = 0.0;
  } else if (r.ec != std::errc() || r.ptr != last) {
    return fail(error(kInvalidNumber));
  }
  if (std::isinf(d)) return fail(error(kOutOfRange));
  return Value::from_double(positive ? d : -d);
}

namespace {

// Builds a Value from the reader's events. Completed values wait on one
// stack, member names on another, until their container closes; each
// container is then built once, at its final size.
class ValueBuilder {
 public:
  void null() { values_.emplace_back(); }
  void boolean(bool b) { values_.emplace_back(b); }
  void number(Value v, std::string_view) { values_.push_back(std::move(v)); }
  void string(std::string_view s, bool) { values_.emplace_back(std::string(s)); }
  void begin_array() { frames_.push_back({values_.size(), keys_.size()}); }
  void end_array() {
    Frame f = frames_.back();
    frames_.pop_back();
    Array arr(std::make_move_iterator(values_.begin() + static_cast<std::ptrdiff_t>(f.values)),
              std::make_move_iterator(values_.end()));
    values_.resize(f.values);
    values_.emplace_back(std::move(arr));
  }
  void begin_object() { frames_.push_back({values_.size(), keys_.size()}); }
  void key(std::string_view k, bool) { keys_.emplace_back(k); }
  void end_object() {
    Frame f = frames_.back();
    frames_.pop_back();
    std::vector<Member> members;
    members.reserve(values_.size() - f.values);
    for (std::size_t k = 0; f.values + k < values_.size(); ++k)
      members.push_back(Member{std::move(keys_[f.keys + k]), std::move(values_[f.values + k])});
    values_.resize(f.values);
    keys_.resize(f.keys);
    Object obj;
    obj.assign(members.begin(), members.end());
    values_.emplace_back(std::move(obj));
  }
  Value take() { return std::move(values_.back()); }

 private:
  struct Frame {
    std::size_t values;
    std::size_t keys;
  };
  std::vector<Value> values_;
  std::vector<std::string> keys_;
  std::vector<Frame> frames_;
};

}  // namespace

PResult<Value> Reader::parse_value() {
  ValueBuilder b;
  auto r = parse_events(b);
  if (!r) return fail(std::move(r).error());
  return b.take();
}

PResult<void> Reader::skip_number() {
  if (peek() == '-') ++i_;
  if (i_ >= s_.size()) return fail(error(kEofValue));
  char c = s_[i_++];
  if (c == '0') {
    if (is_digit(peek())) return fail(peek_error(kInvalidNumber));
  } else if (c >= '1' && c <= '9') {
    while (is_digit(peek())) ++i_;
  } else {
    return fail(error(kInvalidNumber));
  }
  if (peek() == '.') {
    ++i_;
    if (!is_digit(peek())) return fail(peek() < 0 ? peek_error(kEofValue) : peek_error(kInvalidNumber));
    while (is_digit(peek())) ++i_;
  }
  if (peek() == 'e' || peek() == 'E') {
    ++i_;
    if (peek() == '+' || peek() == '-') ++i_;
    if (i_ >= s_.size()) return fail(error(kEofValue));
    if (!is_digit(s_[i_++])) return fail(error(kInvalidNumber));
    while (is_digit(peek())) ++i_;
  }
  return {};
}

// Skips one value without building it. Its messages differ from
// parse_value's in places (a comma before a closing bracket is "expected
// value" here), as the reference reader's skipping does; numbers are only
// checked for form, not range.
PResult<void> Reader::skip_value() {
  std::string frames;  // open brackets, innermost last
  for (;;) {
    int c = peek_ws();
    bool opened = false;
    switch (c) {
      case -1: return fail(peek_error(kEofValue));
      case 'n': ++i_; ZELQ_TRY(parse_ident("ull")); break;
      case 't': ++i_; ZELQ_TRY(parse_ident("rue")); break;
      case 'f': ++i_; ZELQ_TRY(parse_ident("alse")); break;
      case '"': {
        ++i_;
        auto str = parse_string_body();
        if (!str) return fail(std::move(str).error());
        break;
      }
      case '[': case '{':
        ZELQ_TRY(enter());
        ++i_;
        frames.push_back(static_cast<char>(c));
        opened = true;
        break;
      default:
        if (c == '-' || is_digit(c)) {
          ZELQ_TRY(skip_number());
          break;
        }
        return fail(peek_error(kExpectedValue));
    }
    bool accept_comma = !opened;
    if (!opened && frames.empty()) return {};
    // Close every container that ends here; stop at a comma or a new element.
    for (;;) {
      int p = peek_ws();
      char frame = frames.back();
      if (p == ',' && accept_comma) {
        ++i_;
        break;
      }
      if ((p == ']' && frame == '[') || (p == '}' && frame == '{')) {
        ++i_;
        leave();
        frames.pop_back();
        if (frames.empty()) return {};
        accept_comma = true;
        continue;
      }
      if (p < 0) return fail(peek_error(frame == '[' ? kEofList : kEofObject));
      if (accept_comma) return fail(peek_error(frame == '[' ? kListCommaOrEnd : kObjectCommaOrEnd));
      break;
    }
    if (frames.back() == '{') {
      int p = peek_ws();
      if (p < 0) return fail(peek_error(kEofObject));
      if (p != '"') return fail(peek_error(kKeyMustBeString));
      ++i_;
      auto key = parse_string_body();
      if (!key) return fail(std::move(key).error());
      p = peek_ws();
      if (p < 0) return fail(peek_error(kEofObject));
      if (p != ':') return fail(peek_error(kExpectedColon));
      ++i_;
    }
  }
}

PResult<void> Reader::end() {
  if (peek_ws() >= 0) return fail(peek_error(kTrailingChars));
  return {};
}

PResult<Value> parse(std::string_view text) {
  Reader r(text);
  auto v = r.parse_value();
  if (!v) return v;
  auto e = r.end();
  if (!e) return fail(std::move(e).error());
  return v;
}

Result<Value, ArgumentError> parse_argument(std::string_view text, std::string_view role) {
  auto v = parse(text);
  if (!v) {
    std::string msg = "invalid ";
    msg.append(role).append(" JSON: ").append(v.error().display());
    return fail(ArgumentError{std::move(msg)});
  }
  return std::move(*v);
}

std::string unexpected_desc(const Value& v) {
  switch (v.type()) {
    case Type::Null: return "null";
    case Type::Bool: return v.as_bool() ? "boolean `true`" : "boolean `false`";
    case Type::UInt: return "integer `" + std::to_string(v.as_u64()) + "`";
    case Type::Int: return "integer `" + std::to_string(v.as_i64()) + "`";
    case Type::Float: {
      std::string f;
      write_float(v.as_double(), f);
      return "floating point `" + f + "`";
    }
    case Type::String: {
      std::string s = "string " + zelq::debug_quote(v.as_string());
      return s;
    }
    case Type::Array: return "sequence";
    case Type::Object: return "map";
  }
  return "value";
}

}  // namespace zelq::json
