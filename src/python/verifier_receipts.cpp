// ZelqVerifier: registry receipts and lineage-head receipts.
#include <span>

#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/lineage_head.hpp"

namespace zelq::py {

namespace {

PyObject* verify_lineage_head_receipt(PyObject*, const Args& a) {
  auto receipt = json::parse_argument(a.str(0), "receipt");
  if (!receipt) return a.fail(receipt.error());
  auto expected_value = json::parse_argument(a.str(1), "expected");
  if (!expected_value) return a.fail(expected_value.error());
  auto expected = registry::parse_lineage_head_expectation(*expected_value);
  if (!expected) return a.fail(expected.error());
  auto now = now_or_rfc3339_argument(a.opt_str(3));
  if (!now) return a.fail(now.error());
  auto verdict = registry::verify_lineage_head_receipt(
      *receipt, *expected, a.str(2), *now, a.opt_int(4).value_or(registry::kDefaultHeadMaxSkewSecs),
      a.opt_int(5).value_or(registry::kDefaultHeadMaxAgeSecs));
  if (!verdict) return a.fail(verdict.error());
  return to_str(*verdict);
}

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

const PyMethodDef kMethods[] = {method_def<kVerifyLineageHeadReceipt>()};

}  // namespace

std::span<const PyMethodDef> verifier_receipt_methods() { return kMethods; }

}  // namespace zelq::py
