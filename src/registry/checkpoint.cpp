#include "registry/checkpoint.hpp"

#include "core/ascii.hpp"
#include "core/json/writer.hpp"
#include "core/json/reader.hpp"
#include "did/did_url.hpp"
#include "registry/merkle.hpp"

namespace zelq::registry {

namespace {

constexpr json::Field<LogCheckpoint> kFields[] = {
    json::string_field<LogCheckpoint, &LogCheckpoint::checkpoint_version>("checkpoint_version"),
    json::string_field<LogCheckpoint, &LogCheckpoint::log_id>("log_id"),
    json::u64_field<LogCheckpoint, &LogCheckpoint::tree_size>("tree_size"),
    json::string_field<LogCheckpoint, &LogCheckpoint::root_hash>("root_hash"),
    json::date_time_field<LogCheckpoint, &LogCheckpoint::timestamp>("timestamp"),
    json::nested_field<LogCheckpoint, wire::Signature, &LogCheckpoint::signature, wire::kSignatureRecord>(
        "signature"),
};

constexpr std::string_view kLabel = "log_checkpoint";

ZelqError proof_error(std::string text) { return ZelqError::text(ErrorKind::InvalidLogProof, std::move(text)); }

}  // namespace

const json::Record<LogCheckpoint> kLogCheckpointRecord{"LogCheckpoint", kFields, json::Unknown::Deny, true};

namespace {

using CheckpointText = json::WithRawTime<LogCheckpoint>;
constexpr auto kTextFields =
    json::rows_with_raw_time<LogCheckpoint, kFields, 4, &LogCheckpoint::timestamp, &json::date_time_of>(
        std::make_index_sequence<std::size(kFields)>());

}  // namespace

const json::Record<CheckpointText> kLogCheckpointTextRecord{"LogCheckpoint", kTextFields, json::Unknown::Deny, false};

ZResult<LogIdParts> check_log_id(std::string_view log_id) {
  auto refuse = [&](std::string_view rule) {
    return fail(proof_error("log_id '" + std::string(log_id) + "' " + std::string(rule)));
  };
  const std::size_t at = log_id.find("/log/");
  if (at == std::string_view::npos) {
    return refuse("is not '<registry_did>/log/<instance>' (RFC-ZELQ-0012 \u00a7" "6)");
  }
  const LogIdParts parts{log_id.substr(0, at), log_id.substr(at + 5)};
  if (!did::is_did_web(parts.registry_did)) {
    return refuse("registry DID must be did:web (RFC-ZELQ-0012 \u00a7" "6)");
  }
  const std::string_view msid = parts.registry_did.substr(did::kDidWebPrefix.size());
  if (msid.empty() ||
      !ascii::all_of(msid, [](int c) { return ascii::is_alnum(c) || c == '%' || c == '-' || c == '.' || c == ':'; })) {
    return refuse("has a malformed did:web method-specific identifier");
  }
  const std::string_view inst = parts.instance;
  if (inst.empty() || inst.size() > 32 ||
      !ascii::all_of(inst, [](int c) { return ascii::is_lower_alnum(c) || c == '-'; })) {
    return refuse("instance component must match [a-z0-9-]{1,32} (RFC-ZELQ-0012 \u00a7" "6)");
  }
  return parts;
}

namespace {

// The key binding once the log_id has been split.
ZResult<std::string_view> check_key_id_under(const LogCheckpoint& cp, const LogIdParts& parts) {
  if (!did::is_key_id_under_did(cp.signature.key_id, parts.registry_did)) {
    return fail(proof_error("log_checkpoint signature.key_id '" + cp.signature.key_id +
                            "' is not a DID URL under the log_id's registry DID '" +
                            std::string(parts.registry_did) + "' (RFC-ZELQ-0012 \u00a7" "6)"));
  }
  return parts.registry_did;
}

}  // namespace

ZResult<std::string_view> check_checkpoint_key_id(const LogCheckpoint& cp) {
  auto parts = check_log_id(cp.log_id);
  if (!parts) return fail(std::move(parts).error());
  return check_key_id_under(cp, *parts);
}

ZResult<LogCheckpoint> parse_log_checkpoint(const json::Value& v) {
  auto cp = json::read_record(v, kLogCheckpointRecord);
  if (!cp) return fail(proof_error("log_checkpoint does not parse: " + cp.error().display()));
  ZELQ_TRY(check_log_checkpoint(*cp, raw_string_member(v, "timestamp")));
  return std::move(*cp);
}

ZResult<void> check_log_checkpoint(const LogCheckpoint& cp, const std::string* raw) {
  if (cp.checkpoint_version != kCheckpointVersion) {
    return fail(proof_error("log_checkpoint checkpoint_version '" + cp.checkpoint_version + "' \u2260 '" +
                            std::string(kCheckpointVersion) + "' (RFC-ZELQ-0012 \u00a7" "9.3 step 1)"));
  }
  auto parts = check_log_id(cp.log_id);
  if (!parts) return fail(std::move(parts).error());
  if (auto root = parse_sha256_hash(cp.root_hash); !root) return fail(std::move(root).error());
  ZELQ_TRY(check_canonical_time_text(raw, "log_checkpoint timestamp", "RFC-ZELQ-0012 \u00a7" "9.3 step 4",
                                     ErrorKind::InvalidLogProof));
  // The key binding under the log_id just split, not split again.
  if (auto did = check_key_id_under(cp, *parts); !did) return fail(std::move(did).error());
  return {};
}

ZResult<void> check_checkpoint_timestamp_fresh(const LogCheckpoint& cp, const ConsumerClock& clock) {
  ZELQ_TRY(check_millisecond_truncated(cp.timestamp, "log_checkpoint timestamp", ErrorKind::InvalidLogProof));
  if (beyond_skew(cp.timestamp, clock)) {
    return fail(proof_error("log_checkpoint timestamp '" + format_rfc3339_millis(cp.timestamp) +
                            "' is in the future beyond the " + std::to_string(clock.skew_secs) +
                            "s clock-skew allowance (consumer clock '" + format_rfc3339_millis(clock.now) +
                            "') (RFC-ZELQ-0012 \u00a7" "9.3 step 4)"));
  }
  return {};
}

ZResult<std::string> checkpoint_signing_digest(const json::Value& raw) {
  return artefact_signing_digest(raw, kLabel, ErrorKind::InvalidLogProof);
}

ZResult<void> verify_checkpoint_signature(const LogCheckpoint& cp, std::string_view digest,
                                          const did::ResolvedSigningKey& key) {
  return verify_artefact_signature(cp.signature, digest, key, kLabel, ErrorKind::InvalidLogProof);
}

ZResult<CheckpointSummary> verify_log_checkpoint(const json::Value& raw, std::string_view registry_did_doc_json,
                                                 std::optional<std::string_view> expected_log_id,
                                                 const ConsumerClock& clock) {
  auto cp = parse_log_checkpoint(raw);
  if (!cp) return fail(std::move(cp).error());
  if (expected_log_id && *expected_log_id != cp->log_id) {
    return fail(proof_error("log_checkpoint log_id '" + cp->log_id + "' \u2260 expected '" +
                            std::string(*expected_log_id) +
                            "' \u2014 a new log_id is an explicit, detectable history reset "
                            "(RFC-ZELQ-0012 \u00a7" "7.4)"));
  }
  auto registry_did = check_checkpoint_key_id(*cp);
  if (!registry_did) return fail(std::move(registry_did).error());
  ZELQ_TRY(check_checkpoint_timestamp_fresh(*cp, clock));
  auto key = did::resolve_signature_key(registry_did_doc_json, *registry_did, cp->signature.key_id,
                                        cp->signature.algorithm, false);
  if (!key) return fail(std::move(key).error());
  auto digest = checkpoint_signing_digest(raw);
  if (!digest) return fail(std::move(digest).error());
  ZELQ_TRY(verify_checkpoint_signature(*cp, *digest, *key));
  return CheckpointSummary{cp->log_id, cp->tree_size, cp->root_hash, whole_seconds_between(clock.now, cp->timestamp),
                           key->historical};
}

std::string checkpoint_summary_json(const CheckpointSummary& s) {
  json::Object o;
  o.insert("valid", json::Value(true));
  o.insert("log_id", json::Value(s.log_id));
  o.insert("tree_size", json::Value::from_u64(s.tree_size));
  o.insert("root_hash", json::Value(s.root_hash));
  o.insert("age_secs", json::Value::from_i64(s.age_secs));
  o.insert("historical", json::Value(s.historical));
  return json::to_string(json::Value(std::move(o)));
}

const json::Prune* log_checkpoint_prune() { return json::prune_of<LogCheckpoint, kLogCheckpointRecord>(); }

}  // namespace zelq::registry
