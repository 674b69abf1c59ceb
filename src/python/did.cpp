// ZelqDid: stateless did:web string helpers.
#include "python/binding.hpp"

namespace zelq::py {

namespace {
PyMethodDef g_methods[] = {kMethodsEnd};
}  // namespace

PyType_Spec* did_spec() {
  static ClassSpec c{"builtins.ZelqDid", "Stateless did:web string helpers. All methods are static.", g_methods};
  return &c.spec;
}

}  // namespace zelq::py
