// The five vocabularies of the publish records. Four are closed sets read by
// name (or in the one-member object form {"name": null}); ContextType is open:
// five known names plus any namespaced custom name, kept as written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/json/value.hpp"
#include "core/json/record.hpp"

namespace zelq::wire {

enum class DataRefRole : std::uint8_t { PrimaryResult, RawData, SupportingInfo, DerivedData };
enum class EmbeddedEncoding : std::uint8_t { Json, Utf8, Base64 };
enum class Visibility : std::uint8_t { Public, Restricted, Private };
enum class TrustClass : std::uint8_t { ProducerSigned, RegistryAttested };

// Wire names in declaration order (also the order of "expected" lists).
template <class E>
struct EnumNames;
template <>
struct EnumNames<DataRefRole> {
  static constexpr std::array<const char*, 4> wire = {"primary_result", "raw_data", "supporting_info",
                                                      "derived_data"};
};
template <>
struct EnumNames<EmbeddedEncoding> {
  static constexpr std::array<const char*, 3> wire = {"json", "utf8", "base64"};
  static constexpr std::array<const char*, 3> debug = {"Json", "Utf8", "Base64"};
};
template <>
struct EnumNames<Visibility> {
  static constexpr std::array<const char*, 3> wire = {"public", "restricted", "private"};
};
template <>
struct EnumNames<TrustClass> {
  static constexpr std::array<const char*, 2> wire = {"producer_signed", "registry_attested"};
};

template <class E>
std::string_view wire_name(E e) {
  return EnumNames<E>::wire[static_cast<std::size_t>(e)];
}

// The index of the variant read at the cursor.
json::PResult<std::size_t> read_variant(json::Reader& r, std::span<const char* const> names);

template <class E>
json::PResult<E> read_enum(json::Reader& r) {
  auto i = read_variant(r, EnumNames<E>::wire);
  if (!i) return fail(std::move(i).error());
  return static_cast<E>(*i);
}

template <class E>
json::Value enum_value(E e) {
  return json::Value(std::string(wire_name(e)));
}

struct ContextType {
  enum class Kind : std::uint8_t { DataSnapshot, Analysis, Prediction, Alert, KeyRevocation, Custom };
  Kind kind = Kind::DataSnapshot;
  std::string custom;  // the text exactly as read, for Custom only

  // The known name or the custom text.
  std::string_view name() const;
  friend bool operator==(const ContextType&, const ContextType&) = default;
};

// The known names first, then the custom pattern; anything else fails with
// the "context_type '...' is not a known ZELQ type" message.
json::PResult<ContextType> read_context_type(json::Reader& r);
// The same rule for a text given on its own (the producer's argument).
std::optional<ContextType> context_type_from(std::string_view text);
// Why `text` is no context type; both the reader and the argument parser say it.
std::string unknown_context_type_message(std::string_view text);
json::Value context_type_value(const ContextType& t);

}  // namespace zelq::wire
