#include "core/json/record.hpp"

#include "core/error.hpp"

#include <algorithm>

namespace zelq::json {

std::string one_of(std::span<const char* const> names, bool variants) {
  if (names.empty()) return variants ? "there are no variants" : "there are no fields";
  if (names.size() == 1) return std::string("`") + names[0] + "`";
  if (names.size() == 2) return std::string("`") + names[0] + "` or `" + names[1] + "`";
  std::string s = "one of ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) s += ", ";
    s += '`';
    s += names[i];
    s += '`';
  }
  return s;
}

ParseError missing_field(std::string_view name) { return {"missing field `" + std::string(name) + "`"}; }
ParseError duplicate_field(std::string_view name) { return {"duplicate field `" + std::string(name) + "`"}; }

ParseError unknown_field(std::string_view name, std::span<const char* const> expected) {
  return {"unknown field `" + std::string(name) + "`, expected " + one_of(expected, false)};
}

ParseError unknown_variant(std::string_view name, std::span<const char* const> expected) {
  return {"unknown variant `" + std::string(name) + "`, expected " + one_of(expected, true)};
}

ParseError invalid_type(const Value& found, std::string_view expected) {
  return {"invalid type: " + unexpected_desc(found) + ", expected " + std::string(expected)};
}

ParseError invalid_value(const Value& found, std::string_view expected) {
  return {"invalid value: " + unexpected_desc(found) + ", expected " + std::string(expected)};
}

ParseError invalid_length(std::size_t n, std::string_view expected) {
  return {"invalid length " + std::to_string(n) + ", expected " + std::string(expected)};
}

ParseError untagged_mismatch(std::string_view enum_name) {
  return {"data did not match any variant of untagged enum " + std::string(enum_name)};
}

ParseError peek_invalid_type(Reader& r, std::string_view expected) {
  int c = r.peek();
  Value found;
  switch (c) {
    case 'n': case 't': case 'f': case '"': case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      // Scalars are read first, so a malformed one reports its own failure.
      auto v = r.parse_value();
      if (!v) return std::move(v).error();
      found = std::move(*v);
      break;
    }
    case '[': found = Value(Array{}); break;
    case '{': found = Value(Object{}); break;
    default: return r.peek_error("expected value");
  }
  return r.fix(invalid_type(found, expected));
}

PResult<std::string_view> read_string_view(Reader& r, bool& escaped) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c != '"') return fail(peek_invalid_type(r, "a string"));
  r.eat();
  return r.parse_string_view(escaped);
}

PResult<std::string> read_string(Reader& r) {
  bool escaped = false;
  auto s = read_string_view(r, escaped);
  if (!s) return fail(std::move(s).error());
  return std::string(*s);
}

PResult<std::optional<std::string>> read_opt_string(Reader& r) {
  if (r.peek_ws() == 'n') {
    auto v = r.parse_value();  // "null", or the reader's failure on a bad ident
    if (!v) return fail(std::move(v).error());
    return std::optional<std::string>();
  }
  auto s = read_string(r);
  if (!s) return fail(std::move(s).error());
  return std::optional<std::string>(std::move(*s));
}

PResult<std::optional<Value>> read_opt_value(Reader& r) {
  auto v = r.parse_value();
  if (!v) return fail(std::move(v).error());
  if (v->is_null()) return std::optional<Value>();
  return std::optional<Value>(std::move(*v));
}

PResult<std::optional<Value>> read_opt_value_unkept(Reader& r) {
  ZELQ_TRY(read_value_text(r));
  return std::optional<Value>();
}

PResult<std::uint64_t> read_unsigned(Reader& r, std::uint64_t max, std::string_view expected) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c != '-' && (c < '0' || c > '9')) return fail(peek_invalid_type(r, expected));
  auto n = r.parse_number();
  if (!n) return fail(std::move(n).error());
  if (n->type() == Type::UInt && n->as_u64() <= max) return n->as_u64();
  if (n->type() == Type::Float) return fail(r.fix(invalid_type(*n, expected)));
  return fail(r.fix(invalid_value(*n, expected)));
}

PResult<void> end_map(Reader& r) {
  int c = r.peek_ws();
  if (c == '}') {
    r.eat();
    return {};
  }
  if (c == ',') return fail(r.peek_error("trailing comma"));
  if (c < 0) return fail(r.peek_error("EOF while parsing an object"));
  return fail(r.peek_error("trailing characters"));
}

PResult<void> end_seq(Reader& r) {
  int c = r.peek_ws();
  if (c == ']') {
    r.eat();
    return {};
  }
  if (c == ',') {
    r.eat();
    if (r.peek_ws() == ']') return fail(r.peek_error("trailing comma"));
    return fail(r.peek_error("trailing characters"));
  }
  if (c < 0) return fail(r.peek_error("EOF while parsing a list"));
  return fail(r.peek_error("trailing characters"));
}

void MemberTexts::add(std::string_view key, std::string_view value) {
  entries_.push_back(Entry{keys_.size(), key.size(), value});
  keys_.append(key);
}

std::vector<std::size_t> MemberTexts::last_of_each() const {
  std::vector<std::size_t> order(entries_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  // Each run of one key ends with its last occurrence; those are kept in
  // place, in front.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < order.size(); ++i)
    if (i + 1 == order.size() || key(order[i]) != key(order[i + 1])) order[kept++] = order[i];
  order.resize(kept);
  return order;
}

Object MemberTexts::to_object() const { return subset({}, true, nullptr); }

Object MemberTexts::only(std::span<const std::string_view> names, const Prune* prune) const {
  return subset(names, false, prune);
}

Object MemberTexts::subset(std::span<const std::string_view> names, bool all, const Prune* prune) const {
  std::vector<bool> is_last(entries_.size(), false);
  for (std::size_t i : last_of_each()) is_last[i] = true;
  Object out;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!all && std::find(names.begin(), names.end(), key(i)) == names.end()) continue;
    // An earlier occurrence only holds the key's place; the last one's value
    // replaces its stand-in. The texts were read, so they read again.
    Value v;
    if (is_last[i]) {
      auto parsed = parse(value(i), prune);
      if (parsed) v = std::move(*parsed);
    }
    out.insert(std::string(key(i)), std::move(v));
  }
  return out;
}

namespace {

// Events that build nothing: the reading alone, for its failures.
struct NoEvents {
  void null() {}
  void boolean(bool) {}
  void number(const Value&, std::string_view) {}
  void string(std::string_view, bool) {}
  void begin_array() {}
  void end_array() {}
  void begin_object() {}
  void key(std::string_view, bool) {}
  void end_object() {}
};

}  // namespace

PResult<std::string_view> read_value_text(Reader& r) {
  r.peek_ws();
  const std::size_t start = r.index();
  NoEvents none;
  ZELQ_TRY(r.parse_events(none));
  return r.text().substr(start, r.index() - start);
}

PResult<MemberTexts> read_member_texts(Reader& r) {
  MemberTexts texts;
  ZELQ_TRY(read_object_members(r, [&](std::string_view key) -> PResult<void> {
    std::string k(key);  // the view lasts only until the next string
    auto v = read_value_text(r);
    if (!v) return fail(std::move(v).error());
    texts.add(k, *v);
    return {};
  }));
  return texts;
}

PResult<std::string> string_of(const Value& v) {
  if (!v.is_string()) return fail(invalid_type(v, "a string"));
  return v.as_string();
}

PResult<std::optional<std::string>> opt_string_of(const Value& v) {
  if (v.is_null()) return std::optional<std::string>();
  if (!v.is_string()) return fail(invalid_type(v, "a string"));
  return std::optional<std::string>(v.as_string());
}

PResult<std::uint64_t> u64_of(const Value& v) {
  if (v.type() == Type::UInt) return v.as_u64();
  if (v.type() == Type::Int) return fail(invalid_value(v, "u64"));
  return fail(invalid_type(v, "u64"));
}

namespace {

PResult<UtcTime> time_of(const Value& v, std::string_view expected) {
  if (!v.is_string()) return fail(invalid_type(v, expected));
  auto t = parse_rfc3339(v.as_string());
  if (!t) return fail(ParseError{std::string(time_parse_message(t.error()))});
  return *t;
}

}  // namespace

PResult<UtcTime> read_time_text(Reader& r, PResult<UtcTime> (*of)(const Value&), std::string& raw) {
  if (r.peek_ws() != '"') {
    // Not a string: `of` words the failure, at the place it would, from
    // the kind of what stands there.
    auto v = r.parse_value(kind_prune());
    if (!v) return fail(std::move(v).error());
    auto t = of(*v);
    if (!t) return fail(r.fix(std::move(t).error()));
    return *t;
  }
  r.eat();
  bool escaped = false;
  auto s = r.parse_string_view(escaped);
  if (!s) return fail(std::move(s).error());
  auto t = parse_rfc3339(*s);
  if (!t) return fail(r.fix(ParseError{std::string(time_parse_message(t.error()))}));
  raw.assign(*s);
  return *t;
}

PResult<UtcTime> utc_time_of(const Value& v) { return time_of(v, "a string"); }

PResult<UtcTime> date_time_of(const Value& v) { return time_of(v, "an RFC 3339 formatted date and time string"); }

Value rfc3339_millis_value(const UtcTime& t) { return Value(format_rfc3339_millis(t)); }

// Recursion is bounded by the depth of the value, which the JSON reader caps.
Value truncate_timestamps_ms(const Value& v) {
  switch (v.type()) {
    case Type::Object: {
      Object out;
      out.reserve(v.as_object().size());
      for (const auto& m : v.as_object()) out.insert(m.key, truncate_timestamps_ms(m.value));
      return Value(std::move(out));
    }
    case Type::Array: {
      Array out;
      out.reserve(v.as_array().size());
      for (const auto& e : v.as_array()) out.push_back(truncate_timestamps_ms(e));
      return Value(std::move(out));
    }
    case Type::String: {
      // A string that needs no rewrite is copied, not rendered again.
      auto truncated = truncated_timestamp(v.as_string());
      return truncated ? rfc3339_millis_value(*truncated) : v;
    }
    default:
      return v;
  }
}

}  // namespace zelq::json

namespace zelq::json {

namespace {

bool equal_values(const Value& a, const Value& b);

bool equal_members(const Object& x, const Object& y) {
  if (x.size() != y.size()) return false;
  for (const Member& m : x) {
    const Value* other = y.find(m.key);
    if (!other || !equal_values(m.value, *other)) return false;
  }
  return true;
}

bool equal_values(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Type::Array: {
      const Array& x = a.as_array();
      const Array& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i)
        if (!equal_values(x[i], y[i])) return false;
      return true;
    }
    case Type::Object: return equal_members(a.as_object(), b.as_object());
    default:
      return a == b;  // scalars of one kind compare by value
  }
}

// The same comparison on two texts that read (this module wrote them), in
// step: arrays element by element, objects by the last value of each key
// (as a value read from the text holds it), scalars as values. Only one
// level of members is held at a time; the depth is that of texts the reader
// took, so it is bounded.
bool equal_texts(Reader& a, Reader& b) {
  const int ca = a.peek_ws();
  const int cb = b.peek_ws();
  if (ca == '[' || cb == '[') {
    if (ca != cb) return false;
    a.eat();
    b.eat();
    SeqCursor sa(a), sb(b);
    for (;;) {
      auto ma = sa.next();
      auto mb = sb.next();
      if (!ma || !mb || *ma != *mb) return false;
      if (!*ma) break;
      if (!equal_texts(a, b)) return false;
    }
    a.eat();
    b.eat();
    return true;
  }
  if (ca == '{' || cb == '{') {
    if (ca != cb) return false;
    auto ma = read_member_texts(a);
    auto mb = read_member_texts(b);
    if (!ma || !mb) return false;
    // Each distinct key by its last occurrence, in key order on both sides.
    const std::vector<std::size_t> ka = ma->last_of_each();
    const std::vector<std::size_t> kb = mb->last_of_each();
    if (ka.size() != kb.size()) return false;
    for (std::size_t i = 0; i < ka.size(); ++i) {
      if (ma->key(ka[i]) != mb->key(kb[i])) return false;
      Reader va(ma->value(ka[i]));
      Reader vb(mb->value(kb[i]));
      if (!equal_texts(va, vb)) return false;
    }
    return true;
  }
  auto va = a.parse_value();
  auto vb = b.parse_value();
  return va && vb && *va == *vb;
}

}  // namespace

bool same_members(const Object& a, const Object& b) {
  for (const Object* o : {&a, &b})
    for (const Member& m : *o)
      if (holds_unread(m.value)) return same_value(Value(a), Value(b));
  return equal_members(a, b);
}

bool same_value(const Value& a, const Value& b) {
  if (!holds_unread(a) && !holds_unread(b)) return equal_values(a, b);
  const std::string ta = to_string(a);
  const std::string tb = to_string(b);
  Reader ra(ta), rb(tb);
  return equal_texts(ra, rb);
}

}  // namespace zelq::json
