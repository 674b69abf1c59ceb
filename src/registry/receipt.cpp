#include "registry/receipt.hpp"

#include "core/content_hash.hpp"
#include "core/json/record.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "did/did_web.hpp"
#include "did/key_select.hpp"

namespace zelq::registry {

namespace {

using R = RegistryReceipt;

constexpr json::Field<R> kFields[] = {
    json::string_field<R, &R::registry_did>("registry_did"),
    json::string_field<R, &R::ctx_id>("ctx_id"),
    json::string_field<R, &R::lineage_id>("lineage_id"),
    json::string_field<R, &R::origin_registry>("origin_registry"),
    json::utc_time_field<R, &R::created_at>("created_at"),
    json::string_field<R, &R::content_hash>("content_hash"),
    json::string_field<R, &R::key_fingerprint>("key_fingerprint"),
    json::nested_field<R, wire::Signature, &R::signature, wire::kSignatureRecord>("signature"),
};

constexpr json::Record<R> kReceiptRecord{"RegistryReceipt", kFields, json::Unknown::Deny, true};

}  // namespace

ZelqError invalid_receipt(std::string message) { return ZelqError::text(ErrorKind::InvalidReceipt, std::move(message)); }

ZResult<void> receipt_created_at(const json::Value& raw) {
  return check_canonical_time_member(&raw, "created_at", "receipt created_at", "RFC-ZELQ-0010 \u00a7" "8 step 6",
                                     ErrorKind::InvalidReceipt);
}

ZResult<RegistryReceipt> parse_registry_receipt(const json::Value& raw) {
  auto r = json::read_record(raw, kReceiptRecord);
  if (!r) return fail(invalid_receipt("registry_receipt does not parse: " + r.error().display()));
  return std::move(*r);
}

ZResult<void> cross_check(const RegistryReceipt& receipt, std::string_view expected_ctx_id,
                          std::string_view recomputed_body_hash,
                          std::optional<std::string_view> producer_key_fingerprint) {
  if (receipt.ctx_id != expected_ctx_id) {
    return fail(invalid_receipt("receipt ctx_id " + quoted(receipt.ctx_id) + " \u2260 requested " +
                                quoted(expected_ctx_id)));
  }
  if (receipt.content_hash != recomputed_body_hash) {
    return fail(invalid_receipt("receipt content_hash " + quoted(receipt.content_hash) +
                                " \u2260 recomputed body hash " + quoted(recomputed_body_hash)));
  }
  // A producer key that could not be resolved matches no fingerprint: the
  // check fails rather than being skipped.
  if (!producer_key_fingerprint || receipt.key_fingerprint != *producer_key_fingerprint) {
    return fail(invalid_receipt("receipt key_fingerprint " + quoted(receipt.key_fingerprint) +
                                " \u2260 resolved producer key " +
                                quoted(producer_key_fingerprint ? *producer_key_fingerprint : "None")));
  }
  ZELQ_TRY(check_millisecond_truncated(receipt.created_at, "receipt created_at", ErrorKind::InvalidReceipt));
  const std::string did = did::did_web_from_authority(receipt.origin_registry);
  if (receipt.registry_did != did) {
    return fail(invalid_receipt("receipt registry_did " + quoted(receipt.registry_did) +
                                " \u2260 did:web form of origin_registry (" + quoted(did) + ")"));
  }
  return {};
}

ZResult<void> check_receipt_against_body(const RegistryReceipt& receipt, const BodyBinding& body) {
  if (receipt.lineage_id != body.lineage_id) {
    return fail(invalid_receipt("receipt lineage_id " + quoted(receipt.lineage_id) + " \u2260 body lineage_id " +
                                quoted(body.lineage_id)));
  }
  if (receipt.origin_registry != body.origin_registry) {
    return fail(invalid_receipt("receipt origin_registry " + quoted(receipt.origin_registry) +
                                " \u2260 body origin_registry " + quoted(body.origin_registry)));
  }
  if (receipt.created_at != body.created_at) {
    return fail(invalid_receipt("receipt created_at " + quoted(format_utc_display(receipt.created_at)) +
                                " \u2260 body created_at " + quoted(format_utc_display(body.created_at))));
  }
  return {};
}

ZResult<std::string> receipt_signing_digest(const json::Value& raw, std::string_view label) {
  return artefact_signing_digest(raw, label, ErrorKind::InvalidReceipt);
}

ZResult<RegistryReceipt> read_registry_receipt(const json::Value& raw) {
  ZELQ_TRY(receipt_created_at(raw));
  return parse_registry_receipt(raw);
}

ZResult<void> verify_receipt(const json::Value& raw, const RegistryReceipt& receipt, const wire::Body& body,
                             const crypto::Ed25519PublicKey& registry_key, const wire::CtxId& expected_ctx_id,
                             const ContentHash& recomputed_body_hash,
                             std::optional<std::string_view> producer_key_fingerprint) {
  ZELQ_TRY(cross_check(receipt, expected_ctx_id, recomputed_body_hash, producer_key_fingerprint));
  ZELQ_TRY(check_receipt_against_body(receipt, {body.lineage_id, body.origin_registry, body.created_at}));
  auto digest = receipt_signing_digest(raw, "receipt");
  if (!digest) return fail(std::move(digest).error());
  // The registry's receipt key is Ed25519 only on this road.
  return verify_receipt_signature(receipt.signature, *digest, crypto::PublicKey(registry_key));
}

ZResult<void> verify_receipt_signature(const wire::Signature& signature, std::string_view message,
                                       const crypto::PublicKey& key) {
  return verify_artefact_signature(signature, message, key, "receipt", ErrorKind::InvalidReceipt);
}

const json::Prune* registry_receipt_prune() { return json::prune_of<R, kReceiptRecord>(); }

}  // namespace zelq::registry
