#include "wire/signature.hpp"

#include <array>
#include <string_view>

#include "core/error.hpp"

namespace zelq::wire {

namespace {

constexpr std::array<std::string_view, 3> kMembers = {"algorithm", "key_id", "value"};

// The JSON library's description of a value that has the wrong type.
std::string unexpected(const json::Value& v) {
  switch (v.type()) {
    case json::Type::Null: return "null";
    case json::Type::Bool: return v.as_bool() ? "boolean `true`" : "boolean `false`";
    case json::Type::UInt: return "integer `" + std::to_string(v.as_u64()) + "`";
    case json::Type::Int: return "integer `" + std::to_string(v.as_i64()) + "`";
    case json::Type::Float: {
      std::string out = "floating point `";
      json::write_float(v.as_double(), out);
      return out + "`";
    }
    case json::Type::String: return "string " + debug_quote(v.as_string());
    case json::Type::Array: return "sequence";
    case json::Type::Object: return "map";
  }
  return "value";
}

std::string invalid_type(const json::Value& v, std::string_view expected) {
  return "invalid type: " + unexpected(v) + ", expected " + std::string(expected);
}

}  // namespace

Result<Signature, std::string> signature_from_value(const json::Value& v) {
  Signature sig;
  std::string* slots[3] = {&sig.algorithm, &sig.key_id, &sig.value};
  if (v.is_object()) {
    bool seen[3] = {false, false, false};
    for (const auto& m : v.as_object()) {
      std::size_t i = 0;
      while (i < kMembers.size() && m.key != kMembers[i]) ++i;
      if (i == kMembers.size()) {
        return fail("unknown field `" + m.key + "`, expected one of `algorithm`, `key_id`, `value`");
      }
      if (!m.value.is_string()) return fail(invalid_type(m.value, "a string"));
      *slots[i] = m.value.as_string();
      seen[i] = true;
    }
    for (std::size_t i = 0; i < kMembers.size(); ++i) {
      if (!seen[i]) return fail("missing field `" + std::string(kMembers[i]) + "`");
    }
    return sig;
  }
  if (v.is_array()) {
    const auto& a = v.as_array();
    for (std::size_t i = 0; i < kMembers.size(); ++i) {
      if (i == a.size()) {
        return fail("invalid length " + std::to_string(i) + ", expected struct Signature with 3 elements");
      }
      if (!a[i].is_string()) return fail(invalid_type(a[i], "a string"));
      *slots[i] = a[i].as_string();
    }
    if (a.size() > kMembers.size()) {
      return fail("invalid length " + std::to_string(a.size()) + ", expected fewer elements in array");
    }
    return sig;
  }
  return fail(invalid_type(v, "struct Signature"));
}

void write_signature_member(std::string& out, const Signature& sig, bool first_member) {
  if (!first_member) out += ',';
  out += "\"signature\":{\"algorithm\":";
  json::write_string(sig.algorithm, out);
  out += ",\"key_id\":";
  json::write_string(sig.key_id, out);
  out += ",\"value\":";
  json::write_string(sig.value, out);
  out += '}';
}

}  // namespace zelq::wire
