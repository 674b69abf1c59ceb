#include "wire/signature.hpp"
#include "core/json/writer.hpp"

namespace zelq::wire {

namespace {

constexpr json::Field<Signature> kFields[] = {
    json::string_field<Signature, &Signature::algorithm>("algorithm"),
    json::string_field<Signature, &Signature::key_id>("key_id"),
    json::string_field<Signature, &Signature::value>("value"),
};

}  // namespace

const json::Record<Signature> kSignatureRecord{"Signature", kFields, json::Unknown::Deny, true};

json::PResult<Signature> read_signature(json::Reader& r) { return json::read_record(r, kSignatureRecord); }

json::PResult<Signature> signature_from_value(const json::Value& v) { return json::read_record(v, kSignatureRecord); }

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
