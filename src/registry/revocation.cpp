#include "registry/revocation.hpp"

#include <algorithm>

#include "core/content_hash.hpp"
#include "core/json/record.hpp"
#include "core/json/writer.hpp"
#include "core/utf8.hpp"
#include "crypto/fingerprint.hpp"
#include "did/did_key.hpp"
#include "did/did_url.hpp"
#include "wire/data_ref.hpp"
#include "wire/validators.hpp"

namespace zelq::registry {

namespace {

constexpr std::string_view kInterimType = "zelq:key-revocation";

// ---- the revocation body ----------------------------------------------------

ZelqError schema(std::string message) { return ZelqError::schema(std::move(message)); }

ZResult<std::string> required_str(const json::Value& metadata, std::string_view name) {
  const json::Value* v = metadata.get(name);
  if (!v || !v->is_string()) {
    return fail(schema("key-revocation metadata." + std::string(name) +
                       " is REQUIRED and must be a string (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  return v->as_string();
}

// Absent only when the key is missing: a present null is a shape violation.
ZResult<std::optional<std::string>> optional_str(const json::Value& metadata, std::string_view name) {
  const json::Value* v = metadata.get(name);
  if (!v) return std::optional<std::string>();
  if (!v->is_string()) {
    return fail(schema("key-revocation metadata." + std::string(name) +
                       " must be a string when present (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  return std::optional<std::string>(v->as_string());
}

ZelqError self_revoked(std::string_view fingerprint) {
  return ZelqError::text(ErrorKind::KeyNotAuthorized,
                         "revocation of key " + std::string(fingerprint) +
                             " is signed by that same key \u2014 a key is not authorized to attest its own compromise; "
                             "treat as unverified (RFC-ZELQ-0014 \u00a7" "5 step 2)");
}

// The fingerprint of a did:key signing key, when the key id is one that
// resolves; anything else says nothing here.
std::optional<std::string> did_key_fingerprint(std::string_view key_id) {
  if (!did::is_did_key(key_id)) return std::nullopt;
  auto key = did::resolve_did_key_url(key_id);
  if (!key) return std::nullopt;
  auto alg = crypto::algorithm_from_name(key->algorithm());
  if (!alg) return std::nullopt;
  auto fp = crypto::public_key_fingerprint(*alg, key->bytes());
  if (!fp) return std::nullopt;
  return std::move(*fp);
}

ZResult<void> check_not_self_revoked(const KeyRevocation& r, std::string_view signer_fingerprint) {
  if (signer_fingerprint == r.revoked_key_fingerprint) return fail(self_revoked(r.revoked_key_fingerprint));
  return {};
}

// ---- the revocation list ----------------------------------------------------

using K = KeyRevocation;
using json::Presence;

// One table reads the records back (text road only) and writes them.
constexpr json::Field<K> kFields[] = {
    json::member<&K::revoked_key_fingerprint, json::read_string, json::string_value>("revoked_key_fingerprint"),
    json::member<&K::compromised_since, wire::read_date_time, json::rfc3339_millis_value>("compromised_since"),
    json::member<&K::reason, json::read_opt_string, json::string_value>("reason", Presence::Optional),
    json::member<&K::revoked_key_id, json::read_opt_string, json::string_value>("revoked_key_id", Presence::Optional),
    json::member<&K::revoked_key_controller, json::read_string, json::string_value>("revoked_key_controller"),
    json::member<&K::publisher, json::read_string, json::string_value>("publisher"),
    json::member<&K::trust_class, wire::read_enum<wire::TrustClass>, wire::enum_value<wire::TrustClass>>("trust_class"),
};

constexpr json::Record<K> kRevocationRecord{"KeyRevocation", kFields, json::Unknown::Ignore, true};

json::PResult<K> read_revocation(json::Reader& r) { return json::read_record(r, kRevocationRecord); }

std::string classification(std::string_view authorization, const std::string* boundary, const std::string* error) {
  std::string out = "{\"authorization\":";
  json::write_string(authorization, out);
  if (boundary) {
    out += ",\"boundary\":";
    json::write_string(*boundary, out);
  }
  if (error) {
    out += ",\"error\":";
    json::write_string(*error, out);
  }
  out += '}';
  return out;
}

}  // namespace

ZResult<KeyRevocation> parse_key_revocation(const wire::Body& body, std::optional<std::string_view> signer_fingerprint) {
  const bool revocation_type = body.type.kind == wire::ContextType::Kind::KeyRevocation ||
                               (body.type.kind == wire::ContextType::Kind::Custom && body.type.custom == kInterimType);
  if (!revocation_type) {
    return fail(schema("not a key-revocation context: type is '" + std::string(body.type.name()) +
                       "' (RFC-ZELQ-0014 \u00a7" "4 requires 'key-revocation', or 'zelq:key-revocation' in the "
                       "pre-0.3.0 interim form)"));
  }
  if (body.visibility != wire::Visibility::Public) {
    return fail(schema("a key-revocation context MUST be visibility 'public' \u2014 it is a safety broadcast; an "
                       "audience-restricted revocation protects nobody outside the audience (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  if (!body.metadata || !body.metadata->is_object()) {
    return fail(schema("key-revocation body has no metadata object; metadata.revoked_key_fingerprint and "
                       "metadata.compromised_since are REQUIRED (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  const json::Value& metadata = *body.metadata;
  KeyRevocation r;

  auto fingerprint = required_str(metadata, "revoked_key_fingerprint");
  if (!fingerprint) return fail(std::move(fingerprint).error());
  if (!ContentHash::parse(*fingerprint)) {
    return fail(schema("metadata.revoked_key_fingerprint '" + *fingerprint +
                       "' is not in the RFC-ZELQ-0010 \u00a7" "6 form 'sha256:' + 64 lowercase hex (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  r.revoked_key_fingerprint = std::move(*fingerprint);

  auto since = required_str(metadata, "compromised_since");
  if (!since) return fail(std::move(since).error());
  auto boundary = parse_canonical_ms_timestamp(*since);
  if (!boundary) {
    return fail(schema(not_canonical_ms_message("metadata.compromised_since", *since,
                                                "RFC-ZELQ-0001 \u00a7" "5.3, RFC-ZELQ-0014 \u00a7" "4",
                                                /*show_shape=*/false)));
  }
  r.compromised_since = *boundary;

  auto reason = optional_str(metadata, "reason");
  if (!reason) return fail(std::move(reason).error());
  if (*reason && utf8_char_count(**reason) > kRevocationReasonMaxChars) {
    return fail(schema("metadata.reason exceeds " + std::to_string(kRevocationReasonMaxChars) +
                       " characters (RFC-ZELQ-0014 \u00a7" "4)"));
  }
  r.reason = std::move(*reason);

  auto key_id = optional_str(metadata, "revoked_key_id");
  if (!key_id) return fail(std::move(key_id).error());
  r.revoked_key_id = std::move(*key_id);

  auto controller = optional_str(metadata, "revoked_key_controller");
  if (!controller) return fail(std::move(controller).error());
  if (*controller) ZELQ_TRY(wire::validate_did(**controller));

  // Who published the revocation decides how far it is trusted: the key's own
  // controller, or a registry attesting on the controller's behalf.
  r.publisher = body.agent_id;
  if (*controller) {
    r.trust_class = **controller == r.publisher ? wire::TrustClass::ProducerSigned : wire::TrustClass::RegistryAttested;
    r.revoked_key_controller = std::move(**controller);
  } else {
    r.trust_class = wire::TrustClass::ProducerSigned;
    r.revoked_key_controller = r.publisher;
  }

  if (auto fp = did_key_fingerprint(body.signature.key_id)) ZELQ_TRY(check_not_self_revoked(r, *fp));
  if (signer_fingerprint) ZELQ_TRY(check_not_self_revoked(r, *signer_fingerprint));
  return r;
}

std::string key_revocation_json(const KeyRevocation& r) {
  return json::to_string(json::record_value(r, kRevocationRecord));
}

json::PResult<std::vector<KeyRevocation>> read_revocation_list(std::string_view text) {
  json::Reader r(text);
  auto list = json::read_seq<KeyRevocation>(r, &read_revocation);
  if (!list) return list;
  ZELQ_TRY(r.end());
  return list;
}

Result<std::string, ArgumentError> classify_under_revocation(std::string_view revocations_json,
                                                             std::string_view signer_fingerprint,
                                                             std::optional<std::string_view> receipt_created_at) {
  auto list = read_revocation_list(revocations_json);
  if (!list) return fail(ArgumentError{"invalid revocations JSON (array): " + list.error().display()});
  // A fingerprint in another spelling would match no revocation and report a
  // revoked key as unrevoked: refuse it instead.
  if (auto fp = ContentHash::parse(signer_fingerprint); !fp) {
    return fail(ArgumentError{"invalid signer_fingerprint: " + fp.error().display()});
  }
  std::optional<UtcTime> receipt_time;
  if (receipt_created_at) {
    auto t = parse_rfc3339(*receipt_created_at);
    if (!t) {
      return fail(ArgumentError{"invalid receipt_created_at_rfc3339 '" + std::string(*receipt_created_at) +
                                "': " + std::string(time_parse_message(t.error()))});
    }
    receipt_time = *t;
  }

  // The earliest boundary among every revocation of the key: a later
  // revocation can widen the compromise window, never shrink it.
  std::optional<UtcTime> boundary;
  for (const KeyRevocation& k : *list) {
    if (k.revoked_key_fingerprint == signer_fingerprint && (!boundary || k.compromised_since < *boundary)) {
      boundary = k.compromised_since;
    }
  }
  if (!boundary) return classification("none", nullptr, nullptr);
  const std::string b = format_rfc3339_millis(*boundary);
  const std::string fp(signer_fingerprint);
  if (!receipt_time) {
    const std::string error = "signing key " + fp + " is revoked (compromise boundary " + b +
                              ") and the context has no verified registry receipt, so its publish time cannot be "
                              "placed relative to the boundary \u2014 fail closed (RFC-ZELQ-0014 \u00a7" "7 step 4)";
    return classification("none", &b, &error);
  }
  if (*receipt_time < *boundary) return classification("historically_authorized_pre_compromise", &b, nullptr);
  const std::string error = "signing key " + fp + " is revoked with compromise boundary " + b +
                            "; the receipt-attested publish time " + format_rfc3339_millis(*receipt_time) +
                            " is at/after the boundary, so the signature is not attributable to the producer \u2014 "
                            "fail closed regardless of DID-document state or receipt validity (RFC-ZELQ-0014 \u00a7" "7 step 3)";
  return classification("none", &b, &error);
}

}  // namespace zelq::registry
