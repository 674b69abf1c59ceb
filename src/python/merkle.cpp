// ZelqMerkle: transparency-log Merkle helpers.
#include "python/binding.hpp"

namespace zelq::py {

namespace {
PyMethodDef g_methods[] = {kMethodsEnd};
}  // namespace

PyType_Spec* merkle_spec() {
  static ClassSpec c{"builtins.ZelqMerkle", "RFC-ZELQ-0012 \xc2\xa7" "5 Merkle helpers. All methods are static.",
                     g_methods};
  return &c.spec;
}

}  // namespace zelq::py
