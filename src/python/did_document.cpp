// ZelqDidDocument: a parsed DID document, made only by `parse`.
#include "did/did_document.hpp"
#include "did/key_select.hpp"
#include "python/binding.hpp"

namespace zelq::py {

namespace {

using Payload = did::DidDocument;

// A dict of str values; nullptr with the exception set on failure.
PyObject* str_dict(std::initializer_list<std::pair<const char*, std::string_view>> entries) {
  Ref d(PyDict_New());
  if (!d) return nullptr;
  for (const auto& [key, value] : entries) {
    Ref v(to_str(value));
    if (!v || PyDict_SetItemString(d.get(), key, v.get()) != 0) return nullptr;
  }
  return d.release();
}

PyObject* parse(PyObject*, const Args& a) {
  auto doc = did::parse_pinned_did_document(a.str(0), a.str(1));
  if (!doc) return raise_with_reason(doc.error().message, doc.error().code());
  return make_instance(Cls::ZelqDidDocument, std::make_unique<Payload>(std::move(*doc)));
}

PyObject* id(PyObject* self) { return to_str(payload_of<Payload>(self).id); }

PyObject* key_for_algorithm(PyObject* self, const Args& a) {
  auto key = did::key_for_algorithm(payload_of<Payload>(self), a.str(0), a.str(1));
  if (!key) return raise_with_reason(key.error().message, key.error().code());
  return str_dict({{"key_id", key->key_id}, {"algorithm", a.str(1)}, {"public_key_b64", key->public_key_b64}});
}

PyObject* receipt_key_for_algorithm(PyObject* self, const Args& a) {
  auto key = did::receipt_key_for_algorithm(payload_of<Payload>(self), a.str(0), a.str(1));
  if (!key) return raise_with_reason(key.error().message, key.error().code());
  return str_dict({{"key_id", key->key.key_id},
                   {"algorithm", a.str(1)},
                   {"public_key_b64", key->key.public_key_b64},
                   {"historical", key->historical ? "true" : "false"}});
}

constexpr Param kParseParams[] = {{"json_str", PType::Str}, {"expected_did", PType::Str}};
constexpr Param kKeyParams[] = {{"requested_key_id", PType::Str}, {"requested_alg", PType::Str}};

constexpr MethodSpec kParse{
    "ZelqDidDocument", "parse", Kind::Static, kParseParams, parse,
    "parse(json_str, expected_did)\n--\n\n"
    "Parse a DID document and pin it to the DID the caller asked for.\n\n"
    "Raises `DidResolutionError` with reason `parse_failed` when the document cannot\n"
    "be read or its `id` is empty, and `id_mismatch` when its `id` is not exactly\n"
    "`expected_did`."};

constexpr MethodSpec kKeyForAlgorithm{
    "ZelqDidDocument", "key_for_algorithm", Kind::Instance, kKeyParams, key_for_algorithm,
    "key_for_algorithm($self, requested_key_id, requested_alg)\n--\n\n"
    "Resolve the verification method `requested_key_id` to its raw public key for\n"
    "`requested_alg` (\"ed25519\" or \"ecdsa-p256\"). The method must be referenced by\n"
    "`assertionMethod`.\n\n"
    "Returns a dict with \"key_id\", \"algorithm\" and \"public_key_b64\". Raises\n"
    "`DidResolutionError` with reason `unsupported_algorithm`, `key_not_found`,\n"
    "`alg_mismatch`, `malformed_key` or `key_not_authorized`."};

constexpr MethodSpec kReceiptKeyForAlgorithm{
    "ZelqDidDocument", "receipt_key_for_algorithm", Kind::Instance, kKeyParams, receipt_key_for_algorithm,
    "receipt_key_for_algorithm($self, requested_key_id, requested_alg)\n--\n\n"
    "Resolve a registry receipt key. A key retired from `assertionMethod` still\n"
    "resolves and is reported with \"historical\": \"true\"; a key removed from\n"
    "`verificationMethod` fails.\n\n"
    "Returns a dict with \"key_id\", \"algorithm\", \"public_key_b64\" and\n"
    "\"historical\" (\"true\" or \"false\"). Raises `DidResolutionError` with reason\n"
    "`unsupported_algorithm`, `key_not_found`, `alg_mismatch` or `malformed_key`."};

constexpr GetterSpec kId{"id", id, "The DID this document describes."};

PyMethodDef g_methods[] = {method_def<kParse>(), method_def<kKeyForAlgorithm>(),
                           method_def<kReceiptKeyForAlgorithm>(), kMethodsEnd};
PyGetSetDef g_getset[] = {getter_def<kId>(), {nullptr, nullptr, nullptr, nullptr, nullptr}};

}  // namespace

PyType_Spec* did_document_spec() {
  static ClassSpec c{"builtins.ZelqDidDocument",
                     "A parsed did:web DID document. Construct with `ZelqDidDocument.parse`,\n"
                     "then resolve a signing key with `key_for_algorithm`.",
                     g_methods, g_getset, sizeof(Instance<Payload>), dealloc_instance<Payload>};
  return &c.spec;
}

}  // namespace zelq::py
