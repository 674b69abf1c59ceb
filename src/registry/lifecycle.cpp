#include "registry/lifecycle.hpp"

#include "core/json/record.hpp"
#include "core/json/writer.hpp"
#include "core/utf8.hpp"
#include "core/verdict.hpp"
#include "crypto/verify.hpp"
#include "did/did_url.hpp"
#include "did/key_select.hpp"
#include "registry/artefact.hpp"
#include "wire/did_key_verify.hpp"
#include "wire/validators.hpp"

namespace zelq::registry {

namespace {

using E = LifecycleEvent;

json::PResult<void> value_event_type(const json::Value& v, E& e) {
  if (!v.is_string()) return fail(json::invalid_type(v, "a string"));
  const std::string& t = v.as_string();
  if (!wire::is_open_vocabulary_word(t)) {
    return fail(json::ParseError{
        ZelqError::schema("event_type '" + t +
                          "' does not match the open-vocabulary pattern ^[a-z][a-z0-9_]*$ (length 1..=64, "
                          "RFC-ZELQ-0013 \u00a7" "4)")
            .display()});
  }
  e.event_type = t;
  return {};
}

json::PResult<void> value_occurred_at(const json::Value& v, E& e) {
  if (!v.is_string()) return fail(json::invalid_type(v, "a string"));
  auto at = parse_canonical_ms_timestamp(v.as_string());
  if (!at) {
    return fail(json::ParseError{not_canonical_ms_message(
        "occurred_at", v.as_string(), "RFC-ZELQ-0001 \u00a7" "5.3 / RFC-ZELQ-0013 \u00a7" "4")});
  }
  e.occurred_at = *at;
  return {};
}

// Present members must hold their kind; JSON null is a type error, not absence.
json::PResult<void> value_reason(const json::Value& v, E& e) {
  auto s = json::string_of(v);
  if (!s) return fail(std::move(s).error());
  e.reason = std::move(*s);
  return {};
}

json::PResult<void> value_signature(const json::Value& v, E& e) {
  auto s = wire::signature_from_value(v);
  if (!s) return fail(std::move(s).error());
  e.signature = std::move(*s);
  return {};
}

constexpr json::Field<E> kFields[] = {
    json::string_field<E, &E::event_id>("event_id"),
    json::string_field<E, &E::ctx_id>("ctx_id"),
    {"event_type", json::Presence::Required, nullptr, &value_event_type, nullptr, nullptr, &json::scalar_prune},
    {"occurred_at", json::Presence::Required, nullptr, &value_occurred_at, nullptr, nullptr, &json::scalar_prune},
    json::string_field<E, &E::actor>("actor"),
    {"reason", json::Presence::Defaulted, nullptr, &value_reason, nullptr, nullptr, &json::scalar_prune},
    {"signature", json::Presence::Defaulted, nullptr, &value_signature, nullptr, nullptr, &json::prune_of<wire::Signature, wire::kSignatureRecord>},
};

constexpr json::Record<E> kEventRecord{"LifecycleEvent", kFields, json::Unknown::Deny, true};

ZResult<void> check_fields(const LifecycleEvent& e, std::string_view expected_ctx_id) {
  if (!wire::is_lowercase_uuid(e.event_id)) {
    return fail(ZelqError::schema("lifecycle event_id '" + e.event_id +
                                  "' is not a canonical lowercase RFC 9562 UUID (RFC-ZELQ-0013 \u00a7" "4)"));
  }
  ZELQ_TRY(wire::validate_ctx_id(e.ctx_id));
  ZELQ_TRY(wire::validate_did(e.actor));
  if (e.reason && utf8_char_count(*e.reason) > kLifecycleReasonMaxChars) {
    return fail(ZelqError::schema("lifecycle event reason exceeds " + std::to_string(kLifecycleReasonMaxChars) +
                                  " characters (RFC-ZELQ-0013 \u00a7" "4)"));
  }
  if (e.ctx_id != expected_ctx_id) {
    return fail(ZelqError::schema("lifecycle event ctx_id '" + e.ctx_id + "' \u2260 expected ctx_id '" +
                                  std::string(expected_ctx_id) +
                                  "' (RFC-ZELQ-0013 \u00a7" "4: a signed event binds to exactly one context and "
                                  "cannot be replayed against another)"));
  }
  return {};
}

ZResult<void> check_event_signer(const LifecycleEvent& e) {
  if (!e.signature) {
    return fail(ZelqError::schema(
        "lifecycle event has no signature (producer-initiated events MUST be signed, RFC-ZELQ-0013 \u00a7" "5)"));
  }
  const std::string_view key_id = e.signature->key_id;
  if (!did::is_key_id_under_did(key_id, e.actor)) {
    return fail(ZelqError::invalid_signature("lifecycle event signature.key_id '" + std::string(key_id) +
                                             "' is not a DID URL under actor '" + e.actor +
                                             "' (RFC-ZELQ-0013 \u00a7" "5 actor binding)"));
  }
  return {};
}

ZResult<void> verify_event_signature(const LifecycleEvent& e, std::string_view message,
                                     std::optional<std::string_view> actor_did_doc_json) {
  const wire::Signature& sig = *e.signature;
  if (did::is_did_key(e.actor)) return wire::verify_signature_by_did_key(sig, message);
  if (!actor_did_doc_json) {
    return fail(ZelqError::text(ErrorKind::KeyResolution,
                                "actor '" + e.actor +
                                    "' is not did:key \u2014 supply the actor's resolved DID document "
                                    "(actor_did_doc_json); DID resolution stays in the host language"));
  }
  auto key = did::resolve_signature_key(*actor_did_doc_json, e.actor, sig.key_id, sig.algorithm, true);
  if (!key) return fail(std::move(key).error());
  return crypto::verify_signature(key->key, sig.value, message);
}

ZResult<LifecycleEvent> check_lifecycle_event(const json::Value& raw,
                                              std::optional<std::string_view> actor_did_doc_json,
                                              std::string_view expected_ctx_id) {
  auto e = parse_lifecycle_event(raw);
  if (!e) return e;
  ZELQ_TRY(check_fields(*e, expected_ctx_id));
  ZELQ_TRY(check_event_signer(*e));
  auto digest = artefact_signing_digest(raw, "lifecycle event", ErrorKind::SchemaViolation);
  if (!digest) return fail(std::move(digest).error());
  ZELQ_TRY(verify_event_signature(*e, *digest, actor_did_doc_json));
  return e;
}

}  // namespace

ZResult<LifecycleEvent> parse_lifecycle_event(const json::Value& raw) {
  auto e = json::read_record(raw, kEventRecord);
  if (!e) return fail(ZelqError::schema("lifecycle event does not parse: " + e.error().display()));
  return std::move(*e);
}

std::string verify_lifecycle_event(const json::Value& raw, std::optional<std::string_view> actor_did_doc_json,
                                   std::string_view expected_ctx_id) {
  auto e = check_lifecycle_event(raw, actor_did_doc_json, expected_ctx_id);
  if (!e) return failure_verdict_json(e.error());
  json::Object o;
  o.insert("valid", json::Value(true));
  o.insert("event_id", json::Value(e->event_id));
  o.insert("event_type", json::Value(e->event_type));
  o.insert("actor", json::Value(e->actor));
  return json::to_string(json::Value(std::move(o)));
}

const json::Prune* lifecycle_event_prune() { return json::prune_of<E, kEventRecord>(); }

}  // namespace zelq::registry
