// ZelqVerifier: consumer-side checks. Its methods live with their
// capabilities; this file only gathers them into one table.
#include <vector>

#include "python/binding.hpp"
#include "python/verifier_methods.hpp"

namespace zelq::py {

PyType_Spec* verifier_spec() {
  static std::vector<PyMethodDef> methods = [] {
    std::vector<PyMethodDef> all;
    for (auto part : {verifier_hash_methods(), verifier_signature_methods(), verifier_record_methods(),
                      verifier_receipt_methods(), verifier_witness_methods(), verifier_lifecycle_methods()})
      all.insert(all.end(), part.begin(), part.end());
    all.push_back(kMethodsEnd);
    return all;
  }();
  static ClassSpec c{"builtins.ZelqVerifier", "Consumer-side verification utilities. All methods are static.",
                     methods.data()};
  return &c.spec;
}

}  // namespace zelq::py

