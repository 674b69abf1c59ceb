#include "registry/receipt.hpp"

#include "core/json/record.hpp"

namespace zelq::registry {

namespace {

constexpr json::Field<RegistryReceipt> kFields[] = {
    json::string_field<RegistryReceipt, &RegistryReceipt::registry_did>("registry_did"),
    json::string_field<RegistryReceipt, &RegistryReceipt::ctx_id>("ctx_id"),
    json::string_field<RegistryReceipt, &RegistryReceipt::lineage_id>("lineage_id"),
    json::string_field<RegistryReceipt, &RegistryReceipt::origin_registry>("origin_registry"),
    json::utc_time_field<RegistryReceipt, &RegistryReceipt::created_at>("created_at"),
    json::string_field<RegistryReceipt, &RegistryReceipt::content_hash>("content_hash"),
    json::string_field<RegistryReceipt, &RegistryReceipt::key_fingerprint>("key_fingerprint"),
    json::nested_field<RegistryReceipt, wire::Signature, &RegistryReceipt::signature, wire::kSignatureRecord>(
        "signature"),
};

const json::Record<RegistryReceipt> kRecord{"RegistryReceipt", kFields, json::Unknown::Deny, true};

ZelqError receipt_error(std::string text) { return ZelqError::text(ErrorKind::InvalidReceipt, std::move(text)); }

}  // namespace

ZResult<void> receipt_created_at(const json::Value& raw) {
  const std::string* text = raw_string_member(raw, "created_at");
  if (!text) return fail(receipt_error("receipt created_at missing or not a string"));
  if (!is_canonical_ms_timestamp(*text)) {
    return fail(receipt_error("receipt created_at '" + *text +
                              "' is not canonical millisecond-precision RFC 3339 UTC (`YYYY-MM-DDTHH:MM:SS.mmmZ`, "
                              "RFC-ZELQ-0010 \u00a7" "8 step 6)"));
  }
  return {};
}

ZResult<RegistryReceipt> parse_registry_receipt(const json::Value& raw) {
  auto r = json::read_record(raw, kRecord);
  if (!r) return fail(receipt_error("registry_receipt does not parse: " + r.error().display()));
  return std::move(*r);
}

ZResult<std::string> receipt_signing_digest(const json::Value& raw, std::string_view label) {
  return artefact_signing_digest(raw, label, ErrorKind::InvalidReceipt);
}

}  // namespace zelq::registry
