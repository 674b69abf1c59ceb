#include "registry/cosignature_record.hpp"

#include <utility>


namespace zelq::registry {

namespace {

using json::Value;

json::PResult<void> value_signature(const Value& v, LogCosignature& c) {
  auto s = wire::signature_from_value(v);
  if (!s) return fail(std::move(s).error());
  c.signature = std::move(*s);
  return {};
}

json::PResult<void> text_signature(json::Reader& r, LogCosignature& c) {
  auto s = wire::read_signature(r);
  if (!s) return fail(std::move(s).error());
  c.signature = std::move(*s);
  return {};
}

constexpr json::Field<WitnessedCheckpoint> kWitnessedCheckpointFields[] = {
    json::string_field<WitnessedCheckpoint, &WitnessedCheckpoint::log_id>("log_id"),
    json::u64_field<WitnessedCheckpoint, &WitnessedCheckpoint::tree_size>("tree_size"),
    json::string_field<WitnessedCheckpoint, &WitnessedCheckpoint::root_hash>("root_hash"),
    json::utc_time_field<WitnessedCheckpoint, &WitnessedCheckpoint::timestamp>("timestamp"),
};

}  // namespace

const json::Record<WitnessedCheckpoint> kWitnessedCheckpointRecord{"WitnessedCheckpoint", kWitnessedCheckpointFields,
                                                                   json::Unknown::Deny, true};

namespace {

constexpr json::Field<LogCosignature> kLogCosignatureFields[] = {
    json::string_field<LogCosignature, &LogCosignature::cosignature_version>("cosignature_version"),
    json::string_field<LogCosignature, &LogCosignature::witness_id>("witness_id"),
    json::nested_field<LogCosignature, WitnessedCheckpoint, &LogCosignature::witnessed_checkpoint,
                       kWitnessedCheckpointRecord>("witnessed_checkpoint"),
    json::utc_time_field<LogCosignature, &LogCosignature::witnessed_at>("witnessed_at"),
    {"signature", json::Presence::Required, &text_signature, &value_signature, nullptr, nullptr, &json::prune_of<wire::Signature, wire::kSignatureRecord>},
};

}  // namespace

const json::Record<LogCosignature> kLogCosignatureRecord{"LogCosignature", kLogCosignatureFields, json::Unknown::Deny,
                                                         true};

ZelqError cosignature_error(std::string message) {
  return ZelqError::text(ErrorKind::InvalidWitnessCosignature, std::move(message));
}

ZResult<std::string> cosignature_signing_digest(const Value& raw) {
  return artefact_signing_digest(raw, "log_cosignature", ErrorKind::InvalidWitnessCosignature);
}

const json::Prune* log_cosignature_prune() { return json::prune_of<LogCosignature, kLogCosignatureRecord>(); }

const json::Prune* witnessed_checkpoint_prune() {
  return json::prune_of<WitnessedCheckpoint, kWitnessedCheckpointRecord>();
}

}  // namespace zelq::registry
