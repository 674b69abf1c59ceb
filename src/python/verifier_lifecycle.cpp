// ZelqVerifier: lifecycle events, key revocations and the classification of
// a signature under the revocations the host knows.
#include <span>

#include "core/json/reader.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/lifecycle.hpp"
#include "registry/revocation.hpp"
#include "wire/offline.hpp"

namespace zelq::py {

namespace {

PyObject* verify_lifecycle_event(PyObject*, const Args& a) {
  auto event = json::parse_argument(a.str(0), "event", registry::lifecycle_event_prune());
  if (!event) return a.fail(event.error());
  return to_str(registry::verify_lifecycle_event(*event, a.opt_str(1), a.str(2)));
}

PyObject* parse_key_revocation(PyObject*, const Args& a) {
  auto body = wire::body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto revocation = registry::parse_key_revocation(*body, a.opt_str(1));
  if (!revocation) return a.fail(revocation.error());
  return to_str(registry::key_revocation_json(*revocation));
}

PyObject* classify_under_revocation(PyObject*, const Args& a) {
  auto out = registry::classify_under_revocation(a.str(0), a.str(1), a.opt_str(2));
  if (!out) return a.fail(out.error());
  return to_str(*out);
}

constexpr Param kEventParams[] = {{"event_json", PType::Str},
                                  {"actor_did_doc_json", PType::Str, Need::OrNone},
                                  {"expected_ctx_id", PType::Str}};

constexpr MethodSpec kVerifyLifecycleEvent{
    "ZelqVerifier", "verify_lifecycle_event", Kind::Static, kEventParams, verify_lifecycle_event,
    "verify_lifecycle_event(event_json, actor_did_doc_json, expected_ctx_id)\n--\n\n"
    "Verify one signed lifecycle event (RFC-ZELQ-0013 \xc2\xa7" "4, \xc2\xa7" "5) offline: its closed\n"
    "shape and field rules, its binding to `expected_ctx_id` (the context whose\n"
    "registry state carries it), the binding of `signature.key_id` to `actor`, and the\n"
    "signature over the event exactly as received.\n\n"
    "- `actor_did_doc_json`: the actor's resolved DID document, or `None` for a did:key\n"
    "  actor (whose document is then not read). The key must be referenced by\n"
    "  assertionMethod.\n\n"
    "Two checks stay with the host: that `actor` is the context's `body.agent_id`\n"
    "(producer-initiated events) or the registry's `capabilities.registry_did`\n"
    "(registry-initiated events), which this method cannot see; and the retraction\n"
    "state, which follows the order of the event list (the last `retracted` or\n"
    "`republished` event wins). No clock is read: `occurred_at` is checked for form only.\n\n"
    "Returns JSON text: {\"valid\":true,\"event_id\":..,\"event_type\":..,\"actor\":..} or a\n"
    "FailureVerdict {\"valid\":false,\"code\":..,\"error\":..}. Raises `ValueError` only when\n"
    "`event_json` is not JSON."};

constexpr Param kRevocationParams[] = {{"body_json", PType::Str}, {"signer_fingerprint", PType::Str, Need::Optional}};

constexpr MethodSpec kParseKeyRevocation{
    "ZelqVerifier", "parse_key_revocation", Kind::Static, kRevocationParams, parse_key_revocation,
    "parse_key_revocation(body_json, signer_fingerprint=None)\n--\n\n"
    "Read a key-revocation context (RFC-ZELQ-0014 \xc2\xa7" "4) from its body as the registry\n"
    "serves it: check the shape of the body and its metadata, derive the trust class\n"
    "(\xc2\xa7" "5, \xc2\xa7" "6: producer_signed when the publisher controls the revoked key,\n"
    "registry_attested otherwise; the two are reported apart, never merged), and refuse\n"
    "a revocation signed by the very key it revokes (\xc2\xa7" "5 step 2).\n\n"
    "- `signer_fingerprint`: the fingerprint of the resolved key that signed the body.\n"
    "  For a did:key signer the check runs from the body alone; for a did:web signer the\n"
    "  host resolves the key (`ZelqDidDocument.key_for_algorithm`, then\n"
    "  `ZelqVerifier.fingerprint_ed25519_b64`) and passes its fingerprint here.\n\n"
    "Parsing does not verify the body: check its content hash and signature with\n"
    "`ZelqVerifier.verify_content_hash` and `ZelqVerifier.verify_signature` (or\n"
    "`ZelqVerifier.verify_body_offline` for a did:key producer) before trusting the result.\n\n"
    "Returns the `KeyRevocation` as compact JSON text. Raises `ValueError` for a body that\n"
    "does not read or breaks a shape rule, and `RuntimeError` for a self-revocation."};

constexpr Param kClassifyParams[] = {{"revocations_json", PType::Str},
                                     {"signer_fingerprint", PType::Str},
                                     {"receipt_created_at_rfc3339", PType::Str, Need::Optional}};

constexpr MethodSpec kClassifyUnderRevocation{
    "ZelqVerifier", "classify_under_revocation", Kind::Static, kClassifyParams, classify_under_revocation,
    "classify_under_revocation(revocations_json, signer_fingerprint, receipt_created_at_rfc3339=None)\n--\n\n"
    "Decide whether a signature can still be attributed to its producer under the key\n"
    "revocations the host holds (RFC-ZELQ-0014 \xc2\xa7" "7, fail closed).\n\n"
    "- `revocations_json`: a JSON array of verified revocations as `parse_key_revocation`\n"
    "  returns them; feed in the whole revocation lineage, superseded revocations\n"
    "  included. Every record takes part, whatever its trust class: choosing which\n"
    "  classes to act on is the host's \xc2\xa7" "6 policy. The boundary is the earliest\n"
    "  `compromised_since` among the revocations of the key.\n"
    "- `signer_fingerprint`: the fingerprint of the key that signed the context,\n"
    "  \"sha256:\" + 64 lowercase hex; any other spelling is refused.\n"
    "- `receipt_created_at_rfc3339`: the `created_at` of a verified registry receipt\n"
    "  (never the body's own `created_at`, which a producer can backdate), or `None`\n"
    "  when there is no verified receipt.\n\n"
    "Returns JSON text {\"authorization\": \"none\" | \"historically_authorized_pre_compromise\",\n"
    "\"boundary\": .., \"error\": ..}; \"none\" with an \"error\" means fail closed. A historical\n"
    "authorisation is no verdict on the signature itself, which the host still\n"
    "verifies. Raises `ValueError` for unreadable arguments."};

const PyMethodDef kMethods[] = {method_def<kVerifyLifecycleEvent>(), method_def<kParseKeyRevocation>(),
                                method_def<kClassifyUnderRevocation>()};

}  // namespace

std::span<const PyMethodDef> verifier_lifecycle_methods() { return kMethods; }

}  // namespace zelq::py
