// ZelqCanonicalizer: the canonical JSON text of a document and its hash.
#include "core/json/canonical.hpp"
#include "core/content_hash.hpp"
#include "python/binding.hpp"

namespace zelq::py {

namespace {

// The reader's nesting limit keeps every text inside the canonical depth
// limit, so reading is the only step that can fail.
PyObject* canonicalize(PyObject*, const Args& a) {
  auto c = canonicalize_argument(a.str(0));
  if (!c) return a.fail(c.error());
  return to_str(*c);
}

PyObject* content_hash(PyObject*, const Args& a) {
  auto c = canonicalize_argument(a.str(0));
  if (!c) return a.fail(c.error());
  return to_str(ContentHash::of(*c).text());
}

constexpr Param kJsonStr[] = {{"json_str", PType::Str}};

constexpr MethodSpec kCanonicalize{
    "ZelqCanonicalizer", "canonicalize", Kind::Static, kJsonStr, canonicalize,
    "canonicalize(json_str)\n--\n\n"
    "Canonicalize a JSON document to its RFC 8785 (JCS) form.\n\n"
    "`json_str` is any JSON document as a string. Returns the canonical UTF-8 JSON\n"
    "string: object keys sorted, no whitespace, `-0.0` normalised to `0`, numbers in\n"
    "ECMAScript form.\n\n"
    "Raises `ValueError` on malformed JSON and `RuntimeError` when the document nests\n"
    "past the canonicalizer's recursion ceiling."};

constexpr MethodSpec kContentHash{
    "ZelqCanonicalizer", "content_hash", Kind::Static, kJsonStr, content_hash,
    "content_hash(json_str)\n--\n\n"
    "SHA-256 over the canonical (JCS) form of a JSON document, returned as the\n"
    "envelope \"sha256:<64-lowercase-hex>\".\n\n"
    "This is the hashing primitive behind `content_hash` / `data_ref.content_hash`.\n"
    "It hashes the document as given and does not strip the RFC-ZELQ-0001 \xc2\xa7" "5.7\n"
    "exclusion set: to recompute a body's `content_hash`, pass the already\n"
    "producer-controlled object or use `ZelqVerifier.verify_content_hash`."};

PyMethodDef g_methods[] = {method_def<kCanonicalize>(), method_def<kContentHash>(), kMethodsEnd};

}  // namespace

PyType_Spec* canonicalizer_spec() {
  static ClassSpec c{"builtins.ZelqCanonicalizer", "RFC 8785 canonicalization utilities. All methods are static.",
                     g_methods};
  return &c.spec;
}

}  // namespace zelq::py
