// Record-toolkit members that the registry artefacts share: date-time
// members read from an already parsed value.
#pragma once

#include <string>
#include <string_view>

#include "core/json/record.hpp"
#include "core/timestamp.hpp"

namespace zelq::registry {

// A JSON string read as an RFC 3339 date-time at any offset, held in UTC; a
// value of another kind fails with the invalid-type text naming `Expected`,
// a text that does not read with the date-time reader's own message.
template <class T, UtcTime T::*M>
json::PResult<void> value_datetime(const json::Value& v, T& t) {
  if (!v.is_string()) return fail(json::invalid_type(v, "a string"));
  auto time = parse_rfc3339(v.as_string());
  if (!time) return fail(json::ParseError{std::string(time_parse_message(time.error()))});
  t.*M = *time;
  return {};
}

template <class T, UtcTime T::*M>
constexpr json::Field<T> value_datetime_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, nullptr, &value_datetime<T, M>};
}

// Date-time members start at the epoch until read.
inline UtcTime epoch() { return *UtcTime::from_unix(0, 0); }

}  // namespace zelq::registry
