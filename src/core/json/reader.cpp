#include "core/json/reader.hpp"

#include "core/ascii.hpp"
#include "core/error.hpp"
#include "core/json/string_bytes.hpp"
#include "core/json/writer.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
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

using ascii::is_digit;

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

PResult<Reader::NumberText> Reader::scan_number(bool check_range) {
  NumberText n{i_, false, true};
  if (peek() == '-') {
    ++i_;
    n.negative = true;
  }
  if (i_ >= s_.size()) return fail(error(kEofValue));
  const char lead = s_[i_++];
  bool nonzero = lead != '0';
  if (lead == '0') {
    if (is_digit(peek())) return fail(peek_error(kInvalidNumber));
  } else if (is_digit(lead)) {
    while (is_digit(peek())) ++i_;
  } else {
    return fail(error(kInvalidNumber));
  }
  if (peek() == '.') {
    ++i_;
    n.integer = false;
    if (!is_digit(peek())) return fail(peek() < 0 ? peek_error(kEofValue) : peek_error(kInvalidNumber));
    while (is_digit(peek())) nonzero |= s_[i_++] != '0';
  }
  if (peek() == 'e' || peek() == 'E') {
    ++i_;
    n.integer = false;
    bool positive_exp = true;
    if (peek() == '+' || peek() == '-') positive_exp = s_[i_++] == '+';
    if (i_ >= s_.size()) return fail(error(kEofValue));
    if (!is_digit(peek())) {
      ++i_;
      return fail(error(kInvalidNumber));
    }
    // An exponent past the 32-bit range makes a non-zero number with a
    // positive exponent too large at once; anything else is zero.
    std::int64_t exp = 0;
    bool overflowed = false;
    while (is_digit(peek())) {
      exp = overflowed ? exp : exp * 10 + (s_[i_] - '0');
      ++i_;
      if (!overflowed && exp > INT32_MAX) {
        overflowed = true;
        if (check_range && nonzero && positive_exp) return fail(error(kOutOfRange));
      }
    }
  }
  return n;
}

PResult<Value> Reader::parse_number() {
  auto scanned = scan_number(true);
  if (!scanned) return fail(std::move(scanned).error());
  const NumberText n = *scanned;
  const char* first = s_.data() + n.start + (n.negative ? 1 : 0);
  const char* last = s_.data() + i_;
  if (n.integer) {
    std::uint64_t sig = 0;
    auto r = std::from_chars(first, last, sig);
    if (r.ec == std::errc()) {  // else too large for 64 bits: read as a float
      if (!n.negative) return Value::from_u64(sig);
      // -0 and integers below the signed range are floats.
      if (sig == 0 || sig > (std::uint64_t{1} << 63)) return Value::from_double(-static_cast<double>(sig));
      return Value::from_i64(static_cast<std::int64_t>(~sig + 1));
    }
  }
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
  return Value::from_double(n.negative ? -d : d);
}

// ---- the container grammar ---------------------------------------------------

PResult<bool> SeqCursor::next() {
  int c = r_.peek_ws();
  if (c == ']') return false;
  if (c == ',' && !first_) {
    r_.eat();
    c = r_.peek_ws();
    if (trailing_ == Trailing::AsElement) return true;
    if (c == ']') return fail(r_.peek_error(kTrailingComma));
  } else if (c < 0) {
    return fail(r_.peek_error(kEofList));
  } else if (!first_) {
    return fail(r_.peek_error(kListCommaOrEnd));
  }
  first_ = false;
  if (c < 0) return fail(r_.peek_error(kEofValue));
  return true;
}

PResult<bool> MapCursor::next() {
  int c = r_.peek_ws();
  if (c == '}') return false;
  bool after_comma = false;
  if (c == ',' && !first_) {
    r_.eat();
    c = r_.peek_ws();
    after_comma = true;
  } else if (c < 0) {
    return fail(r_.peek_error(kEofObject));
  } else if (!first_) {
    return fail(r_.peek_error(kObjectCommaOrEnd));
  }
  first_ = false;
  if (after_comma && trailing_ == Trailing::AsElement) {
    // The key that should follow reports what stands there instead.
    if (c < 0) return fail(r_.peek_error(kEofObject));
  } else {
    if (c == '}') return fail(r_.peek_error(kTrailingComma));
    if (c < 0) return fail(r_.peek_error(kEofValue));
  }
  if (c != '"') return fail(r_.peek_error(kKeyMustBeString));
  return true;
}

PResult<std::string_view> MapCursor::key(bool& escaped) {
  r_.eat();  // the opening quote
  return r_.parse_string_view(escaped);
}

PResult<void> MapCursor::colon() {
  int c = r_.peek_ws();
  if (c != ':') return fail(c < 0 ? r_.peek_error(kEofObject) : r_.peek_error(kExpectedColon));
  r_.eat();
  return {};
}

namespace {

// Builds a Value from the reader's events, leaving out what a Prune says.
class ValueBuilder {
 public:
  ValueBuilder(const Prune* root, const Reader& reader) : root_prune_(root), reader_(reader) {}
  void null() {
    if (!left_out([](std::string& out) { out += "null"; })) put(Value());
  }
  void boolean(bool b) {
    if (!left_out([b](std::string& out) { out += b ? "true" : "false"; })) put(Value(b));
  }
  // A number left out keeps its text as written, which reads back the same.
  void number(Value v, std::string_view text) {
    if (!left_out([text](std::string& out) { out += text; })) put(std::move(v));
  }
  void string(std::string_view s, bool) {
    if (!left_out([s](std::string& out) { write_string(s, out); })) put(Value(std::string(s)));
  }
  void begin_array() { begin(false); }
  void end_array() {
    if (skip_depth_) return end_skipped(']');
    Frame& f = frames_.back();
    if (f.later_count) f.elements.push_back(Value::unread(f.later_count, elements_text(f)));
    Array elements = std::move(f.elements);
    frames_.pop_back();
    put(Value(std::move(elements)));
  }
  void begin_object() { begin(true); }
  void key(std::string_view k, bool) {
    if (skip_depth_) {
      if (out_) {
        separate();
        write_string(k, *out_);
        *out_ += ':';
      }
      return;
    }
    frames_.back().key.assign(k);
  }
  void end_object() {
    if (skip_depth_) return end_skipped('}');
    Frame& f = frames_.back();
    std::vector<Member> members = std::move(f.members);
    if (f.later_count) members[f.later_at].value = Value::unread(f.later_count, std::move(f.later) + '}');
    frames_.pop_back();
    Object obj;
    obj.adopt(std::move(members));
    put(Value(std::move(obj)));
  }
  Value take() { return std::move(root_); }

 private:
  // Each open container gathers its elements or members where they will
  // stay: a large one is built once, never copied out of a stack.
  struct Frame {
    bool object = false;
    const Prune* prune = nullptr;  // of this container
    Array elements;
    std::vector<Member> members;
    std::string key;  // of the member whose value is being read
    // The members left out but kept, as an object's text without its
    // closing brace; their Unread takes the place of the first of them.
    std::string later;
    std::size_t later_count = 0;  // members or elements left out but kept
    std::size_t later_at = 0;
    // Where in the text the last element built ends (or the "[" does): the
    // elements left out are the text that follows, which is taken as it
    // stands once the array closes, never written out piece by piece.
    std::size_t built_end = 0;
  };
  enum class Skip : std::uint8_t { No, Later, Dropped };

  // The Prune of the value that starts now, and how it is left out.
  const Prune* child_prune(Skip& skip) const {
    skip = Skip::No;
    if (frames_.empty()) return root_prune_;
    const Frame& f = frames_.back();
    const Prune* p = f.prune;
    if (!p) return nullptr;
    if (!f.object && p->elements_unread) {
      skip = Skip::Later;
      return nullptr;
    }
    if (p->each) return p->each;
    if (f.object) {
      for (std::size_t i = 0; i < p->names.size(); ++i)
        if (p->names[i] == f.key) return p->nested[i];
      switch (p->unnamed) {
        case Unnamed::Build: break;
        case Unnamed::Refuse: skip = Skip::Later; break;
        case Unnamed::Drop: skip = Skip::Dropped; break;
      }
      return nullptr;
    }
    if (p->positional && f.elements.size() < p->names.size()) return p->nested[f.elements.size()];
    // A record refuses an array by its kind alone unless it may be written
    // as one, and then past its fields by their count.
    skip = p->unnamed == Unnamed::Drop && !p->positional ? Skip::Dropped : Skip::Later;
    return nullptr;
  }
  bool start_skip() {
    Skip skip = Skip::No;
    child_prune(skip);
    switch (skip) {
      case Skip::No: return false;
      case Skip::Later: {
        Frame& f = frames_.back();
        ++f.later_count;
        if (!f.object) {
          out_ = nullptr;
          break;
        }
        if (f.later_count == 1) {
          f.later = '{';
          f.later_at = f.members.size();
          f.members.push_back(Member{f.key, Value()});
        }
        separate_in(f.later);
        write_string(f.key, f.later);
        f.later += ':';
        out_ = &f.later;
        break;
      }
      case Skip::Dropped: out_ = nullptr; break;
    }
    return true;
  }
  // A scalar that is left out, written by `write` where it goes; false when
  // it is to be built.
  template <class W>
  bool left_out(W write) {
    if (!skip_depth_ && (!root_prune_ || !start_skip())) return false;
    if (out_) {
      separate();
      write(*out_);
    }
    if (!skip_depth_) out_ = nullptr;
    return true;
  }
  void begin(bool object) {
    if (skip_depth_ || (root_prune_ && start_skip())) {
      if (out_) {
        separate();
        *out_ += object ? '{' : '[';
      }
      ++skip_depth_;
      return;
    }
    Skip skip = Skip::No;
    const Prune* p = child_prune(skip);
    frames_.emplace_back();
    frames_.back().object = object;
    frames_.back().prune = p;
    frames_.back().built_end = reader_.index();
  }
  void end_skipped(char close) {
    if (out_) *out_ += close;
    if (--skip_depth_ == 0) out_ = nullptr;
  }
  // A comma before every element or member of a text but the first.
  static void separate_in(std::string& out) {
    const char last = out.back();
    if (last != '[' && last != '{' && last != ':') out += ',';
  }
  void separate() { separate_in(*out_); }
  void put(Value v) {
    if (frames_.empty()) {
      root_ = std::move(v);
      return;
    }
    Frame& f = frames_.back();
    if (f.object) {
      f.members.push_back(Member{std::move(f.key), std::move(v)});
      return;
    }
    f.elements.push_back(std::move(v));
    f.built_end = reader_.index();
  }
  // The text of the elements left out, once their array has closed (the
  // reader just past its "]"): as they stand in the text, as an array.
  std::string elements_text(const Frame& f) const {
    std::string_view rest = reader_.text().substr(f.built_end, reader_.index() - 1 - f.built_end);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\n' || rest.front() == '\t' ||
                             rest.front() == '\r' || rest.front() == ','))
      rest.remove_prefix(1);
    std::string text;
    text.reserve(rest.size() + 2);
    text.append(1, '[').append(rest).append(1, ']');
    return text;
  }
  const Prune* root_prune_;
  const Reader& reader_;
  std::vector<Frame> frames_;
  Value root_;
  std::string* out_ = nullptr;  // where the value being left out is written; nullptr: nowhere
  int skip_depth_ = 0;          // open containers inside it
};

}  // namespace

std::size_t array_length(const Array& a) {
  std::size_t n = 0;
  for (const Value& e : a) n += e.is_unread() ? e.as_unread().count : 1;
  return n;
}

bool holds_unread(const Value& v) {
  if (v.is_unread()) return true;
  if (v.is_array()) {
    for (const Value& e : v.as_array())
      if (holds_unread(e)) return true;
  } else if (v.is_object()) {
    for (const Member& m : v.as_object())
      if (holds_unread(m.value)) return true;
  }
  return false;
}

PResult<Value> Reader::parse_value(const Prune* prune) {
  ValueBuilder b(prune, *this);
  auto r = parse_events(b);
  if (!r) return fail(std::move(r).error());
  return b.take();
}

// Skips one value without building it, with an explicit stack instead of
// recursion. A comma before a closing bracket is "expected value" (or "key
// must be a string") here, since a skipped container's element is read as a
// value; numbers are only checked for form, not range.
PResult<void> Reader::skip_value() {
  struct Frame {
    bool object;
    SeqCursor seq;
    MapCursor map;
  };
  std::vector<Frame> frames;
  for (;;) {
    int c = peek_ws();
    switch (c) {
      case -1: return fail(peek_error(kEofValue));
      case 'n': ++i_; ZELQ_TRY(parse_ident("ull")); break;
      case 't': ++i_; ZELQ_TRY(parse_ident("rue")); break;
      case 'f': ++i_; ZELQ_TRY(parse_ident("alse")); break;
      case '"': {
        ++i_;
        bool escaped = false;
        auto str = parse_string_view(escaped);
        if (!str) return fail(std::move(str).error());
        break;
      }
      case '[': case '{':
        ZELQ_TRY(enter());
        ++i_;
        frames.push_back(Frame{c == '{', SeqCursor(*this, Trailing::AsElement), MapCursor(*this, Trailing::AsElement)});
        break;
      default:
        if (c == '-' || is_digit(c)) {
          auto n = scan_number(false);
          if (!n) return fail(std::move(n).error());
          break;
        }
        return fail(peek_error(kExpectedValue));
    }
    // Close every container that ends here; stop before the next element.
    for (;;) {
      if (frames.empty()) return {};
      Frame& top = frames.back();
      auto more = top.object ? top.map.next() : top.seq.next();
      if (!more) return fail(std::move(more).error());
      if (*more) break;
      ++i_;
      leave();
      frames.pop_back();
    }
    if (Frame& top = frames.back(); top.object) {
      bool escaped = false;
      auto key = top.map.key(escaped);
      if (!key) return fail(std::move(key).error());
      ZELQ_TRY(top.map.colon());
    }
  }
}

PResult<void> Reader::end() {
  if (peek_ws() >= 0) return fail(peek_error(kTrailingChars));
  return {};
}

PResult<Value> parse(std::string_view text, const Prune* prune) {
  Reader r(text);
  auto v = r.parse_value(prune);
  if (!v) return v;
  auto e = r.end();
  if (!e) return fail(std::move(e).error());
  return v;
}

Result<Value, ArgumentError> parse_argument(std::string_view text, std::string_view role, const Prune* prune) {
  auto v = parse(text, prune);
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
    case Type::Unread: return "value";  // never judged alone: it stands in a container
  }
  return "value";
}

}  // namespace zelq::json
