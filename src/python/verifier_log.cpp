// ZelqVerifier: the transparency-log road. Checkpoints, inclusion and
// consistency proofs answer with verdict objects; leaf building raises.
#include <span>

#include "core/verdict.hpp"
#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/checkpoint.hpp"
#include "registry/log_leaf.hpp"
#include "registry/log_proof.hpp"
#include "registry/receipt.hpp"

namespace zelq::py {

namespace {

PyObject* verify_log_checkpoint(PyObject*, const Args& a) {
  auto cp = json::parse_argument(a.str(0), "checkpoint", registry::log_checkpoint_prune());
  if (!cp) return a.fail(cp.error());
  auto clock = registry::consumer_clock_arguments(a.opt_str(3), a.opt_int(4), "max_skew_secs");
  if (!clock) return a.fail(clock.error());
  auto s = registry::verify_log_checkpoint(*cp, a.str(1), a.opt_str(2), *clock);
  return to_str(s ? registry::checkpoint_summary_json(*s) : failure_verdict_json(s.error()));
}

PyObject* verify_log_inclusion(PyObject*, const Args& a) {
  auto h = registry::verify_log_inclusion_arguments(a.str(0), a.str(1), a.str(2));
  if (!h) return a.fail(h.error());
  return to_str(*h ? registry::inclusion_success_json(**h) : failure_verdict_json(h->error()));
}

PyObject* verify_log_consistency(PyObject*, const Args& a) {
  auto ok = registry::verify_log_consistency_arguments(a.str(0), a.str(1), a.str(2));
  if (!ok) return a.fail(ok.error());
  return to_str(*ok ? std::string("{\"valid\":true}") : failure_verdict_json(ok->error()));
}

PyObject* build_log_leaf(PyObject*, const Args& a) {
  auto receipt = json::parse_argument(a.str(0), "receipt", registry::registry_receipt_prune());
  if (!receipt) return a.fail(receipt.error());
  auto leaf = registry::log_leaf_from_receipt(*receipt);
  if (!leaf) return a.fail(leaf.error());
  return to_str(registry::write_log_leaf(*leaf));
}

constexpr Param kCheckpointParams[] = {{"checkpoint_json", PType::Str},
                                       {"registry_did_doc_json", PType::Str},
                                       {"expected_log_id", PType::Str, Need::Optional},
                                       {"now_rfc3339", PType::Str, Need::Optional},
                                       {"max_skew_secs", PType::Int, Need::Optional}};
constexpr Param kInclusionParams[] = {
    {"inclusion_json", PType::Str}, {"checkpoint_json", PType::Str}, {"reconstructed_leaf_json", PType::Str}};
constexpr Param kConsistencyParams[] = {
    {"consistency_json", PType::Str}, {"checkpoint_json", PType::Str}, {"first_root_hash", PType::Str}};
constexpr Param kReceiptParams[] = {{"receipt_json", PType::Str}};

constexpr MethodSpec kBuildLogLeaf{
    "ZelqVerifier", "build_log_leaf", Kind::Static, kReceiptParams, build_log_leaf,
    "build_log_leaf(receipt_json)\n--\n\n"
    "Build the canonical RFC-ZELQ-0012 \xc2\xa7" "4 log leaf from a VERIFIED RFC-ZELQ-0010\n"
    "receipt (\xc2\xa7" "9.1 step 1).\n\n"
    "Every leaf field other than `receipt_hash` duplicates a receipt field;\n"
    "`receipt_hash` is the receipt's \xc2\xa7" "5 preimage hash, computed over the RAW wire\n"
    "JSON as received. Returns the leaf as a JSON string, ready for\n"
    "`verify_log_inclusion` and `ZelqMerkle.leaf_hash`.\n\n"
    "Run `verify_receipt` on the receipt FIRST: a leaf reconstructed from an\n"
    "unverified receipt proves membership of a claim that nobody has verified.\n\n"
    "Raises on a malformed receipt."};

constexpr MethodSpec kVerifyLogCheckpoint{
    "ZelqVerifier", "verify_log_checkpoint", Kind::Static, kCheckpointParams, verify_log_checkpoint,
    "verify_log_checkpoint(checkpoint_json, registry_did_doc_json, expected_log_id=None, now_rfc3339=None, "
    "max_skew_secs=None)\n--\n\n"
    "Verify a registry's signed transparency-log checkpoint offline (RFC-ZELQ-0012\n"
    "\xc2\xa7" "9.3): closed shape, checkpoint_version \"zelq-log/1\", the log_id form\n"
    "'<registry_did>/log/<instance>', an optional pin of the log_id (\xc2\xa7" "7.4: a new\n"
    "log_id is an explicit history reset), a signature.key_id under the log_id's\n"
    "registry DID, a canonical millisecond timestamp no further than `max_skew_secs`\n"
    "(default 120) ahead of the consumer clock (`now_rfc3339`, default the system\n"
    "clock), and the registry signature over the checkpoint's signing digest with the\n"
    "key that `registry_did_doc_json` names for signature.key_id.\n\n"
    "The host must still confirm that the registry DID inside log_id is the authority\n"
    "it fetched the checkpoint from.\n\n"
    "Returns JSON text: {\"valid\":true,\"log_id\",\"tree_size\",\"root_hash\",\"age_secs\",\n"
    "\"historical\"} (historical: the key is no longer referenced by assertionMethod),\n"
    "or a FailureVerdict {\"valid\":false,\"code\",\"error\"}. Raises `ValueError` for\n"
    "checkpoint text that is not JSON, an unparsable `now_rfc3339`, or a\n"
    "`max_skew_secs` that puts the limit outside the representable time range."};

constexpr MethodSpec kVerifyLogInclusion{
    "ZelqVerifier", "verify_log_inclusion", Kind::Static, kInclusionParams, verify_log_inclusion,
    "verify_log_inclusion(inclusion_json, checkpoint_json, reconstructed_leaf_json)\n--\n\n"
    "Prove that a leaf the consumer rebuilt (`build_log_leaf`) sits in the tree of a\n"
    "checkpoint it verified with `verify_log_checkpoint` (RFC-ZELQ-0012 \xc2\xa7" "9.1): the\n"
    "proof must embed that same checkpoint (or none, and it is inserted), its log_id\n"
    "and tree_size must match it, and the inclusion_path (RFC 9162 \xc2\xa7" "2.1.3.2) must\n"
    "fold the leaf hash to its root_hash. The checkpoint's signature is not checked\n"
    "here.\n\n"
    "Returns JSON text {\"valid\":true,\"leaf_hash\":\"sha256:...\"} or a FailureVerdict.\n"
    "Raises `ValueError` when an argument is not JSON text."};

constexpr MethodSpec kVerifyLogConsistency{
    "ZelqVerifier", "verify_log_consistency", Kind::Static, kConsistencyParams, verify_log_consistency,
    "verify_log_consistency(consistency_json, checkpoint_json, first_root_hash)\n--\n\n"
    "Prove that the tree whose root the consumer kept (`first_root_hash` at the\n"
    "proof's first_tree_size) is a prefix of the tree of a later checkpoint of the\n"
    "same log (RFC-ZELQ-0012 \xc2\xa7" "9.2, RFC 9162 \xc2\xa7" "2.1.4.2). A failing proof between\n"
    "two signature-valid checkpoints of one log_id is evidence of a rewritten logged\n"
    "history: keep both checkpoints and the path. The checkpoint's signature, clock\n"
    "and pin are not checked here.\n\n"
    "Returns JSON text {\"valid\":true} or a FailureVerdict. Raises `ValueError` when\n"
    "`consistency_json` or `checkpoint_json` is not JSON text."};

const PyMethodDef g_methods[] = {
    method_def<kBuildLogLeaf>(),
    method_def<kVerifyLogCheckpoint>(),
    method_def<kVerifyLogInclusion>(),
    method_def<kVerifyLogConsistency>(),
};

}  // namespace

std::span<const PyMethodDef> verifier_log_methods() { return g_methods; }

}  // namespace zelq::py
