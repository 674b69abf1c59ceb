// ZelqVerifier: lifecycle events, key revocations and the classification of
// a signature under the revocations the host knows.
#include <span>

#include "core/json/reader.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/lifecycle.hpp"

namespace zelq::py {

namespace {

PyObject* verify_lifecycle_event(PyObject*, const Args& a) {
  auto event = json::parse_argument(a.str(0), "event");
  if (!event) return a.fail(event.error());
  return to_str(registry::verify_lifecycle_event(*event, a.opt_str(1), a.str(2)));
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

const PyMethodDef kMethods[] = {method_def<kVerifyLifecycleEvent>()};

}  // namespace

std::span<const PyMethodDef> verifier_lifecycle_methods() { return kMethods; }

}  // namespace zelq::py
