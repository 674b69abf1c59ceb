// ZelqVerifier: registry receipts and lineage-head receipts.
#include <span>

#include "core/content_hash.hpp"
#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "crypto/ed25519.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/lineage_head.hpp"
#include "registry/receipt.hpp"
#include "wire/offline.hpp"

namespace zelq::py {

namespace {

PyObject* verify_receipt(PyObject*, const Args& a) {
  auto raw = json::parse_argument(a.str(0), "receipt", registry::registry_receipt_prune());
  if (!raw) return a.fail(raw.error());
  auto body = wire::body_argument(a.str(1));
  if (!body) return a.fail(body.error());
  auto receipt = registry::read_registry_receipt(*raw);
  if (!receipt) return a.fail(receipt.error());
  auto key = crypto::decode_public_key_b64(a.str(2));
  if (!key) return a.fail(key.error());
  auto hash = content_hash_argument(a.str(4));
  if (!hash) return a.fail(hash.error());
  auto ctx = wire::ctx_id_argument(a.str(3), "expected_ctx_id");
  if (!ctx) return a.fail(ctx.error());
  auto ok = registry::verify_receipt(*raw, *receipt, *body, *key, *ctx, *hash, a.opt_str(5));
  if (!ok) return a.fail(ok.error());
  return true_();
}

PyObject* verify_lineage_head_receipt(PyObject*, const Args& a) {
  auto receipt = json::parse_argument(a.str(0), "receipt", registry::lineage_head_receipt_prune());
  if (!receipt) return a.fail(receipt.error());
  auto expected_value = json::parse_argument(a.str(1), "expected", registry::lineage_head_expectation_prune());
  if (!expected_value) return a.fail(expected_value.error());
  auto expected = registry::parse_lineage_head_expectation(*expected_value);
  if (!expected) return a.fail(expected.error());
  auto clock = registry::consumer_clock_arguments(a.opt_str(3), a.opt_int(4), "max_skew_secs");
  if (!clock) return a.fail(clock.error());
  return to_str(registry::verify_lineage_head_receipt(*receipt, *expected, a.str(2), *clock,
                                                      a.opt_int(5).value_or(registry::kDefaultHeadMaxAgeSecs)));
}

constexpr Param kReceiptParams[] = {{"receipt_json", PType::Str},
                                    {"body_json", PType::Str},
                                    {"registry_public_key_b64", PType::Str},
                                    {"expected_ctx_id", PType::Str},
                                    {"recomputed_body_hash", PType::Str},
                                    {"producer_key_fingerprint", PType::Str, Need::OrNone}};

constexpr MethodSpec kVerifyReceipt{
    "ZelqVerifier", "verify_receipt", Kind::Static, kReceiptParams, verify_receipt,
    "verify_receipt(receipt_json, body_json, registry_public_key_b64, expected_ctx_id, recomputed_body_hash, "
    "producer_key_fingerprint)\n--\n\n"
    "Verify a registry receipt (ZELQ 0.2, RFC-ZELQ-0010) offline against the body served\n"
    "with it, the consumer's own request and the registry's receipt key. The signature\n"
    "covers the receipt's \xc2\xa7" "5 preimage hash, computed over the raw wire JSON as received.\n\n"
    "- `receipt_json`: the `registry_receipt` object of a FullContext retrieval, as received.\n"
    "- `body_json`: the `body` object of the same retrieval (RFC-ZELQ-0010 \xc2\xa7" "8 step 3\n"
    "  bindings: lineage_id, origin_registry, created_at).\n"
    "- `registry_public_key_b64`: standard base64 of the registry's raw 32-byte Ed25519\n"
    "  receipt key. The host resolves the registry's DID document itself.\n"
    "- `expected_ctx_id`: the ctx_id the consumer requested.\n"
    "- `recomputed_body_hash`: a body hash the host recomputed itself (for example with\n"
    "  `ZelqVerifier.verify_content_hash`), never the body's echoed `content_hash`.\n"
    "- `producer_key_fingerprint`: the fingerprint of the resolved producer key (as\n"
    "  `ZelqVerifier.fingerprint_ed25519_b64` returns it). `None` matches no fingerprint,\n"
    "  so the receipt fails its key_fingerprint check.\n\n"
    "The host must also bind `receipt.registry_did` to \"did:web:\" plus the authority the\n"
    "response was actually fetched from (its own request URL, never a field of the\n"
    "response); this method makes no network access and cannot see it.\n\n"
    "Returns `True`. Raises `ValueError` for malformed input (receipt or body text that is\n"
    "not JSON or not a body, a key that is not base64 of 32 bytes, a malformed\n"
    "`recomputed_body_hash` or `expected_ctx_id`) and `RuntimeError` for a receipt that\n"
    "does not read or fails a check or its signature.",
    {Raise::ValueError, Raise::RuntimeError, ""}};

constexpr Param kHeadParams[] = {{"receipt_json", PType::Str},
                                 {"expected_json", PType::Str},
                                 {"registry_did_doc_json", PType::Str},
                                 {"now_rfc3339", PType::Str, Need::Optional},
                                 {"max_skew_secs", PType::Int, Need::Optional},
                                 {"max_age_secs", PType::Int, Need::Optional}};

constexpr MethodSpec kVerifyLineageHeadReceipt{
    "ZelqVerifier", "verify_lineage_head_receipt", Kind::Static, kHeadParams, verify_lineage_head_receipt,
    "verify_lineage_head_receipt(receipt_json, expected_json, registry_did_doc_json, now_rfc3339=None, "
    "max_skew_secs=None, max_age_secs=None)\n--\n\n"
    "Verify a registry's signed lineage-head receipt (RFC-ZELQ-0011 \xc2\xa7" "4, \xc2\xa7" "7) offline.\n\n"
    "- `receipt_json`: the `lineage_head_receipt` object exactly as received.\n"
    "- `expected_json`: the consumer's own expectations, a JSON object with\n"
    "  \"authority\" (the authority the response was actually fetched from, taken\n"
    "  from the host's own request URL, never from a field of the response) and/or\n"
    "  \"registry_did\" (`capabilities.registry_did`; either derives the other),\n"
    "  \"lineage_id\" (the lineage requested), \"head_ctx_id\", \"head_version\" and\n"
    "  \"head_status\" (what the registry served alongside the receipt: the context's\n"
    "  ctx_id, its body.version and its registry_state.status), and optionally\n"
    "  \"on_current_endpoint\" (true for `GET /current`, the default; false for a\n"
    "  full retrieval).\n"
    "- `registry_did_doc_json`: the registry's DID document, resolved by the host\n"
    "  (for example with `ZelqDid.web_to_url` and its own web client). A receipt key\n"
    "  retired from assertionMethod still verifies and is reported as historical; a\n"
    "  key removed from verificationMethod fails closed.\n"
    "- `now_rfc3339`: the consumer clock (default: the system clock).\n"
    "- `max_skew_secs`: how far `as_of` may lie ahead of the clock (default 120).\n"
    "- `max_age_secs`: the freshness limit (default 300); an older receipt still\n"
    "  verifies, marked `\"stale\": true`.\n\n"
    "Returns JSON text: {\"valid\":true,\"stale\":..,\"age_secs\":..,\"historical\":..} or a\n"
    "FailureVerdict {\"valid\":false,\"code\":..,\"error\":..}. Raises `ValueError` only for\n"
    "malformed input: receipt or expected text that is not JSON, a malformed\n"
    "expected object, an unreadable `now_rfc3339`, or a `max_skew_secs` that puts the\n"
    "time limit out of range."};

const PyMethodDef kMethods[] = {method_def<kVerifyReceipt>(), method_def<kVerifyLineageHeadReceipt>()};

}  // namespace

std::span<const PyMethodDef> verifier_receipt_methods() { return kMethods; }

}  // namespace zelq::py
