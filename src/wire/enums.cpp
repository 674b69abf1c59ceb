#include "wire/enums.hpp"

#include "wire/validators.hpp"

namespace zelq::wire {

namespace {

json::PResult<std::size_t> match_variant(json::Reader& r, std::span<const char* const> names) {
  auto s = r.parse_string_body();
  if (!s) return fail(std::move(s).error());
  for (std::size_t i = 0; i < names.size(); ++i)
    if (*s == names[i]) return i;
  return fail(r.fix(json::unknown_variant(*s, names)));
}

constexpr std::array<const char*, 5> kKnownContextTypes = {"data_snapshot", "analysis", "prediction", "alert",
                                                           "key-revocation"};

}  // namespace

json::PResult<std::size_t> read_variant(json::Reader& r, std::span<const char* const> names) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c == '"') {
    r.eat();
    return match_variant(r, names);
  }
  if (c != '{') return fail(r.peek_error("expected value"));
  // The one-member object form: {"name": null}.
  if (auto e = r.enter(); !e) return fail(std::move(e).error());
  r.eat();
  int k = r.peek_ws();
  if (k < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (k != '"') return fail(json::peek_invalid_type(r, "variant identifier"));
  r.eat();
  auto i = match_variant(r, names);
  if (!i) return i;
  int colon = r.peek_ws();
  if (colon != ':') return fail(r.peek_error(colon < 0 ? "EOF while parsing an object" : "expected `:`"));
  r.eat();
  int u = r.peek_ws();
  if (u < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (u != 'n') return fail(json::peek_invalid_type(r, "unit"));
  auto null = r.parse_value();
  if (!null) return fail(std::move(null).error());
  r.leave();
  int end = r.peek_ws();
  if (end == '}') {
    r.eat();
    return i;
  }
  return fail(r.error(end < 0 ? "EOF while parsing an object" : "expected value"));
}

std::string_view ContextType::name() const {
  if (kind == Kind::Custom) return custom;
  return kKnownContextTypes[static_cast<std::size_t>(kind)];
}

std::optional<ContextType> context_type_from(std::string_view text) {
  for (std::size_t i = 0; i < kKnownContextTypes.size(); ++i)
    if (text == kKnownContextTypes[i]) return ContextType{static_cast<ContextType::Kind>(i), {}};
  if (is_custom_context_type(text)) return ContextType{ContextType::Kind::Custom, std::string(text)};
  return std::nullopt;
}

json::PResult<ContextType> read_context_type(json::Reader& r) {
  auto s = json::read_string(r);
  if (!s) return fail(std::move(s).error());
  if (auto t = context_type_from(*s)) return std::move(*t);
  // No position here: the enclosing record attaches where its reading stopped.
  return fail(json::ParseError{unknown_context_type_message(*s)});
}

std::string unknown_context_type_message(std::string_view text) {
  return "context_type '" + std::string(text) +
         "' is not a known ZELQ type and does not match the namespaced custom pattern "
         "^[a-z][a-z0-9_]*:[a-z][a-z0-9_-]*$";
}

json::Value context_type_value(const ContextType& t) { return json::Value(std::string(t.name())); }

}  // namespace zelq::wire
