// ZelqDidDocument: a parsed DID document, made only by `parse`.
#include "python/binding.hpp"

namespace zelq::py {

namespace {

// The parsed document; filled in by the DID-document reader.
struct DidDocumentPayload {};

PyMethodDef g_methods[] = {kMethodsEnd};

}  // namespace

PyType_Spec* did_document_spec() {
  static ClassSpec c{"builtins.ZelqDidDocument",
                     "A parsed did:web DID document. Construct with `ZelqDidDocument.parse`,\n"
                     "then resolve a signing key with `key_for_algorithm`.",
                     g_methods, nullptr, sizeof(Instance<DidDocumentPayload>),
                     dealloc_instance<DidDocumentPayload>};
  return &c.spec;
}

}  // namespace zelq::py
