// ZelqVerifier: witness cosignatures of log checkpoints — minting one as a
// witness, verifying one, and counting a quorum of trusted witnesses.
#include <string>

#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/artefact.hpp"
#include "registry/cosignature.hpp"
#include "registry/witness_mint.hpp"
#include "registry/witness_quorum.hpp"

namespace zelq::py {

namespace {

PyObject* build_witness_cosignature(PyObject*, const Args& a) {
  auto checkpoint = json::parse_argument(a.str(0), "witnessed_checkpoint", registry::witnessed_checkpoint_prune());
  if (!checkpoint) return a.fail(checkpoint.error());
  auto seed = registry::witness_seed_argument(a.str(2));
  if (!seed) return a.fail(seed.error());
  auto at = rfc3339_argument(a.str(3), "witnessed_at_rfc3339");
  if (!at) return a.fail(at.error());
  auto cosig = registry::build_witness_cosignature(*checkpoint, a.str(1), std::move(*seed), *at);
  if (!cosig) return a.fail(cosig.error());
  return to_str(*cosig);
}

PyObject* verify_witness_cosignature(PyObject*, const Args& a) {
  auto cosig = json::parse_argument(a.str(0), "cosignature", registry::log_cosignature_prune());
  if (!cosig) return a.fail(cosig.error());
  auto doc = json::parse_argument(a.str(1), "witness DID document", did::did_document_prune());
  if (!doc) return a.fail(doc.error());
  auto checkpoint = json::parse_argument(a.str(2), "checkpoint", registry::log_checkpoint_prune());
  if (!checkpoint) return a.fail(checkpoint.error());
  auto clock = registry::consumer_clock_arguments(a.opt_str(3), a.opt_int(4), "max_clock_skew_secs");
  if (!clock) return a.fail(clock.error());
  return to_str(registry::verify_witness_cosignature(*cosig, *doc, *checkpoint, *clock));
}

PyObject* evaluate_witness_quorum(PyObject*, const Args& a) {
  auto cosigs = registry::cosignatures_argument(a.str(0));
  if (!cosigs) return a.fail(cosigs.error());
  auto checkpoint = json::parse_argument(a.str(1), "checkpoint", registry::log_checkpoint_prune());
  if (!checkpoint) return a.fail(checkpoint.error());
  auto trusted = registry::trusted_witness_dids_argument(a.str(2));
  if (!trusted) return a.fail(trusted.error());
  auto docs = registry::witness_did_docs_argument(a.str(3));
  if (!docs) return a.fail(docs.error());
  auto policy = registry::witness_policy_argument(a.str(4));
  if (!policy) return a.fail(policy.error());
  auto now = now_or_rfc3339_argument(a.opt_str(5));
  if (!now) return a.fail(now.error());
  auto clock = registry::quorum_clock(*policy, *now);
  if (!clock) return a.fail(clock.error());
  auto report = registry::evaluate_witness_quorum(*cosigs, *checkpoint, *trusted, *docs, *policy, *clock);
  if (!report) return a.fail(report.error());
  return to_str(*report);
}

constexpr Param kBuildParams[] = {{"witnessed_checkpoint_json", PType::Str},
                                  {"witness_did", PType::Str},
                                  {"witness_seed_hex", PType::Str},
                                  {"witnessed_at_rfc3339", PType::Str}};
constexpr Param kVerifyParams[] = {{"cosig_json", PType::Str},
                                   {"witness_did_doc_json", PType::Str},
                                   {"expected_checkpoint_json", PType::Str},
                                   {"now_rfc3339", PType::Str, Need::Optional},
                                   {"max_clock_skew_secs", PType::Int, Need::Optional}};
constexpr Param kQuorumParams[] = {{"cosignatures_json", PType::Str},
                                   {"expected_checkpoint_json", PType::Str},
                                   {"trusted_witness_dids_json", PType::Str},
                                   {"witness_did_docs_json", PType::Str},
                                   {"policy_json", PType::Str},
                                   {"now_rfc3339", PType::Str, Need::Optional}};

constexpr MethodSpec kBuildWitnessCosignature{
    "ZelqVerifier", "build_witness_cosignature", Kind::Static, kBuildParams, build_witness_cosignature,
    "build_witness_cosignature(witnessed_checkpoint_json, witness_did, witness_seed_hex, witnessed_at_rfc3339)\n"
    "--\n\n"
    "Mint a witness cosignature (RFC-ZELQ-0015 \xc2\xa7" "4, \xc2\xa7" "5) over a checkpoint the\n"
    "witness has observed and checked itself.\n\n"
    "- `witnessed_checkpoint_json`: `{\"log_id\", \"tree_size\", \"root_hash\", \"timestamp\"}`\n"
    "  copied from the verified checkpoint; no other member is allowed.\n"
    "- `witness_did`: the witness's `did:web` or `did:key` DID; the key id signed\n"
    "  under is `<witness_did>#witness-key-1`.\n"
    "- `witness_seed_hex`: the witness's Ed25519 seed, 64 hexadecimal digits. It is\n"
    "  used for this call only and wiped afterwards.\n"
    "- `witnessed_at_rfc3339`: the witness-clock observation time (any RFC 3339\n"
    "  offset; written in UTC, cut to whole milliseconds).\n\n"
    "The signature covers the ASCII text of the cosignature's signing digest\n"
    "(RFC-ZELQ-0010 \xc2\xa7" "5). Equal inputs give byte-identical output. Returns the\n"
    "`zelq-cosig/1` object as compact JSON. Raises `ValueError` on any bad input.\n\n"
    "This is the raw mint: checking the checkpoint's own signature and its\n"
    "consistency with the witness's retained head is the caller's duty\n"
    "(RFC-ZELQ-0015 \xc2\xa7" "7)."};

constexpr MethodSpec kVerifyWitnessCosignature{
    "ZelqVerifier", "verify_witness_cosignature", Kind::Static, kVerifyParams, verify_witness_cosignature,
    "verify_witness_cosignature(cosig_json, witness_did_doc_json, expected_checkpoint_json, now_rfc3339=None, "
    "max_clock_skew_secs=None)\n--\n\n"
    "Verify one witness cosignature offline (RFC-ZELQ-0015 \xc2\xa7" "8 steps 1\xe2\x80\x93" "5).\n\n"
    "- `cosig_json`: the `log_cosignature` object as received.\n"
    "- `witness_did_doc_json`: the witness's DID document, resolved by the caller\n"
    "  (also for `did:key` witnesses). The signing key is looked up in\n"
    "  `verificationMethod`, so retired witness keys still verify (\xc2\xa7" "9).\n"
    "- `expected_checkpoint_json`: the checkpoint the caller holds and has verified\n"
    "  itself; the cosignature must name its `log_id`, `tree_size` and `root_hash`.\n"
    "- `now_rfc3339`: the consumer clock; default: the system clock.\n"
    "- `max_clock_skew_secs`: how far `witnessed_at` may lie ahead of now;\n"
    "  default 120.\n\n"
    "Returns JSON text: `{\"valid\":true,\"witness_id\",\"age_secs\",\"stale\"}` (stale:\n"
    "older than 300 s, reported and never failed, \xc2\xa7" "8.1) or a `FailureVerdict`\n"
    "`{\"valid\":false,\"code\",\"error\"}`. Only malformed arguments raise."};

constexpr MethodSpec kEvaluateWitnessQuorum{
    "ZelqVerifier", "evaluate_witness_quorum", Kind::Static, kQuorumParams, evaluate_witness_quorum,
    "evaluate_witness_quorum(cosignatures_json, expected_checkpoint_json, trusted_witness_dids_json, "
    "witness_did_docs_json, policy_json, now_rfc3339=None)\n--\n\n"
    "Evaluate the N-witnessed report of RFC-ZELQ-0015 \xc2\xa7" "8 for one checkpoint that\n"
    "the caller has verified itself.\n\n"
    "- `cosignatures_json`: JSON array of `log_cosignature` objects.\n"
    "- `expected_checkpoint_json`: the verified checkpoint.\n"
    "- `trusted_witness_dids_json`: JSON array of the witness DIDs the caller trusts.\n"
    "- `witness_did_docs_json`: JSON object mapping each witness DID to its DID document.\n"
    "- `policy_json`: `{\"min_witnesses\": 1, \"max_age_secs\": 300 | null,\n"
    "  \"max_clock_skew_secs\": 120}`; absent members take these defaults.\n"
    "- `now_rfc3339`: the consumer clock; default: the system clock.\n\n"
    "Cosignatures that do not parse, name another checkpoint or an untrusted witness\n"
    "are ignored; a trusted witness's failing cosignature is listed in `failures`.\n"
    "Each witness counts once. Returns JSON text:\n"
    "`{\"witnessed_count\",\"witnesses\",\"meets_quorum\",\"fresh_witnessed_count\",\n"
    "\"meets_fresh_quorum\",\"failures\"}`. Raises `ValueError` for malformed arguments\n"
    "(a `max_clock_skew_secs` that puts the time limit out of range included)\n"
    "and `InvalidLogProof` when the expected checkpoint is malformed."};

const PyMethodDef kMethods[] = {method_def<kBuildWitnessCosignature>(), method_def<kVerifyWitnessCosignature>(),
                                method_def<kEvaluateWitnessQuorum>()};

}  // namespace

std::span<const PyMethodDef> verifier_witness_methods() { return kMethods; }

}  // namespace zelq::py
