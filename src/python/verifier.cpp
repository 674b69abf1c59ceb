// ZelqVerifier: consumer-side checks. Its methods live with their
// capabilities; this file gathers them into one table, in the class's
// documented method order.
#include <string_view>
#include <vector>

#include "python/binding.hpp"
#include "python/verifier_methods.hpp"

namespace zelq::py {

namespace {

// Every method of the class, in the order the class lists them. A method
// that no group provides yet is left out; a provided method missing here
// would come last.
constexpr std::string_view kMethodOrder[] = {
    "verify_content_hash",
    "verify_ctx_id_binding",
    "verify_signature",
    "verify_signature_p256",
    "verify_body_offline",
    "verify_publish_request_offline",
    "explain_hash_mismatch",
    "canonical_preimage",
    "fingerprint_ed25519_b64",
    "verify_receipt",
    "verify_lineage_head_receipt",
    "verify_log_checkpoint",
    "verify_log_inclusion",
    "verify_log_consistency",
    "build_log_leaf",
    "verify_lifecycle_event",
    "parse_key_revocation",
    "classify_under_revocation",
    "build_witness_cosignature",
    "verify_witness_cosignature",
    "evaluate_witness_quorum",
};

// The capability groups; a new capability file adds its group here.
std::vector<PyMethodDef> provided_methods() {
  std::vector<PyMethodDef> all;
  for (auto group : {verifier_hash_methods(), verifier_signature_methods(), verifier_record_methods(),
                     verifier_receipt_methods(), verifier_log_methods(), verifier_witness_methods(),
                     verifier_lifecycle_methods()})
    all.insert(all.end(), group.begin(), group.end());
  return all;
}

std::vector<PyMethodDef> ordered_methods() {
  std::vector<PyMethodDef> provided = provided_methods();
  std::vector<PyMethodDef> out;
  for (std::string_view name : kMethodOrder) {
    for (auto it = provided.begin(); it != provided.end(); ++it) {
      if (name == it->ml_name) {
        out.push_back(*it);
        provided.erase(it);
        break;
      }
    }
  }
  out.insert(out.end(), provided.begin(), provided.end());
  out.push_back(kMethodsEnd);
  return out;
}

}  // namespace

PyType_Spec* verifier_spec() {
  static std::vector<PyMethodDef> methods = ordered_methods();
  static ClassSpec c{"builtins.ZelqVerifier", "Consumer-side verification utilities. All methods are static.",
                     methods.data()};
  return &c.spec;
}

}  // namespace zelq::py
