// JSON text reader. Its messages and positions are part of the system's
// observable behaviour: "{message} at line {l} column {c}", where the column
// counts bytes from the start of the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.hpp"
#include "core/error.hpp"
#include "core/json/value.hpp"
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

class Reader;

// What a reading looks at in a value, for building only that. A record
// refuses or ignores a member it does not name by its key alone, so such a
// member's value is read for its form only (the same failures at the same
// places): a dense array in a member that a record refuses or ignores costs
// no more than its own text.
enum class Unnamed : std::uint8_t {
  Build,   // the reading keeps such members: built whole
  Refuse,  // all of them are kept together as one Unread, in the place of the
           // first, which so still names the refusal; the value as read can
           // be compared (`same_value`) and written out
  Drop,    // never looked at: not kept
};

struct Prune {
  // Object members by name, and with `positional` array elements by place,
  // each read with its own Prune (nullptr: built whole). Other members are
  // treated as `unnamed` says; other elements are kept as one Unread when
  // `positional` or Refuse, else dropped.
  std::vector<std::string_view> names;
  std::vector<const Prune*> nested;
  bool positional = false;
  Unnamed unnamed = Unnamed::Refuse;
  // When set, every member of an object and every element of an array is
  // read with it, and the names play no part.
  const Prune* each = nullptr;
  // A list that its record reads an element at a time, each with `each`,
  // from its text: all its elements are kept as one Unread and none is
  // built here, so a long list costs no more than its text.
  bool elements_unread = false;
};

// Whether a value read with a Prune holds parts it left out.
bool holds_unread(const Value& v);
// The number of elements of an array as read, with those a Prune left out.
std::size_t array_length(const Array& a);

// What a comma just before a closing bracket means. Refuse: "trailing comma"
// at the bracket. AsElement: nothing special; the element or key that should
// follow reports the bracket, as the skipper of unwanted values does.
enum class Trailing : std::uint8_t { Refuse, AsElement };

// Steps through an array whose "[" has been consumed: next() gives true with
// the cursor on the next element, false at the "]" (not consumed). The one
// place the array grammar (commas, closing bracket, end of input) is read.
class SeqCursor {
 public:
  explicit SeqCursor(Reader& r, Trailing t = Trailing::Refuse) : r_(r), trailing_(t) {}
  PResult<bool> next();

 private:
  Reader& r_;
  Trailing trailing_;
  bool first_ = true;
};

// Steps through an object whose "{" has been consumed: next() gives true
// with the cursor on a member's key, false at the "}" (not consumed); key()
// reads the key, colon() the ":" after it. The one place the object grammar
// is read.
class MapCursor {
 public:
  explicit MapCursor(Reader& r, Trailing t = Trailing::Refuse) : r_(r), trailing_(t) {}
  PResult<bool> next();
  // A view into the text, or (escaped true) into a buffer valid until the
  // next string is read.
  PResult<std::string_view> key(bool& escaped);
  PResult<void> colon();
  // Every member up to the "}" (not consumed): its key read and handed to
  // `member(key, escaped)`, which reads the colon and the value.
  template <class F>
  PResult<void> each(F member);

 private:
  Reader& r_;
  Trailing trailing_;
  bool first_ = true;
};

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
  // The whole text being read (for re-reading a span that was captured).
  std::string_view text() const { return s_; }

  // Errors at the current index, or one byte further (the "peek" position).
  ParseError error(std::string message) const;
  ParseError peek_error(std::string message) const;
  // Attaches the current position to an error that has none.
  ParseError fix(ParseError e) const;

  // One value at the cursor; with a Prune, only what it names is built.
  PResult<Value> parse_value(const Prune* prune = nullptr);
  // A string whose opening quote has been consumed.
  PResult<std::string> parse_string_body();
  // The same, as a view: into the text when the string holds no escape
  // (`escaped` false), else into a buffer valid until the next string.
  PResult<std::string_view> parse_string_view(bool& escaped);

  // One value at the cursor, reported to `h` as events: null(), boolean(b),
  // number(value, text), string(text, escaped), begin_array(), end_array(),
  // begin_object(), key(text, escaped), end_object(). On failure the events
  // stop where the failure was found.
  template <class H>
  PResult<void> parse_events(H& h);
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
  // The extent of a number at the cursor, read for its form. With
  // `check_range`, a positive exponent beyond the 32-bit range on a non-zero
  // significand stops the reading at the digit that overflows.
  struct NumberText {
    std::size_t start;
    bool negative;
    bool integer;  // no fraction, no exponent
  };
  PResult<NumberText> scan_number(bool check_range);
  PResult<void> parse_ident(const char* rest);
  PResult<void> parse_unicode_escape(std::string& out);
  PResult<unsigned> decode_hex_escape();

  std::string_view s_;
  std::size_t i_ = 0;
  std::string scratch_;  // the decoded text of the last escaped string
  int remaining_depth_ = kRecursionLimit;
};

// The whole text as exactly one value.
PResult<Value> parse(std::string_view text, const Prune* prune = nullptr);

// One JSON value given as a method argument: "invalid {role} JSON: {reader
// message}" otherwise.
Result<Value, ArgumentError> parse_argument(std::string_view text, std::string_view role,
                                            const Prune* prune = nullptr);

// Description of a value for "invalid type" messages ("string \"a\"",
// "integer `5`", "map", ...).
std::string unexpected_desc(const Value& v);

template <class F>
PResult<void> MapCursor::each(F member) {
  for (;;) {
    auto more = next();
    if (!more) return fail(std::move(more).error());
    if (!*more) return {};
    bool escaped = false;
    auto k = key(escaped);
    if (!k) return fail(std::move(k).error());
    ZELQ_TRY(member(*k, escaped));
  }
}

template <class H>
PResult<void> Reader::parse_events(H& h) {
  int c = peek_ws();
  switch (c) {
    case -1:
      return fail(peek_error("EOF while parsing a value"));
    case 'n':
      ++i_;
      ZELQ_TRY(parse_ident("ull"));
      h.null();
      return {};
    case 't':
      ++i_;
      ZELQ_TRY(parse_ident("rue"));
      h.boolean(true);
      return {};
    case 'f':
      ++i_;
      ZELQ_TRY(parse_ident("alse"));
      h.boolean(false);
      return {};
    case '"': {
      ++i_;
      bool escaped = false;
      auto s = parse_string_view(escaped);
      if (!s) return fail(std::move(s).error());
      h.string(*s, escaped);
      return {};
    }
    case '[': {
      ZELQ_TRY(enter());
      ++i_;
      h.begin_array();
      SeqCursor seq(*this);
      for (;;) {
        auto more = seq.next();
        if (!more) return fail(std::move(more).error());
        if (!*more) break;
        ZELQ_TRY(parse_events(h));
      }
      ++i_;
      leave();
      h.end_array();
      return {};
    }
    case '{': {
      ZELQ_TRY(enter());
      ++i_;
      h.begin_object();
      MapCursor map(*this);
      auto read = map.each([&](std::string_view key, bool escaped) -> PResult<void> {
        h.key(key, escaped);
        ZELQ_TRY(map.colon());
        return parse_events(h);
      });
      if (!read) return fail(std::move(read).error());
      ++i_;
      leave();
      h.end_object();
      return {};
    }
    default:
      if (c == '-' || ascii::is_digit(c)) {
        const std::size_t start = i_;
        auto n = parse_number();
        if (!n) return fail(std::move(n).error());
        h.number(std::move(*n), s_.substr(start, i_ - start));
        return {};
      }
      return fail(peek_error("expected value"));
  }
}

}  // namespace zelq::json
