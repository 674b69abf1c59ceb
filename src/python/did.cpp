// ZelqDid: stateless did:web string helpers.
#include "did/did_web.hpp"
#include "python/binding.hpp"

namespace zelq::py {

namespace {

PyObject* web_to_url(PyObject*, const Args& a) {
  auto url = did::web_to_url(a.str(0));
  if (!url) return raise_with_reason(url.error().message, url.error().code());
  return to_str(*url);
}

PyObject* strip_fragment(PyObject*, const Args& a) { return to_str(did::strip_fragment(a.str(0))); }

constexpr Param kDid[] = {{"did", PType::Str}};
constexpr Param kDidUrl[] = {{"did_url", PType::Str}};

constexpr MethodSpec kWebToUrl{
    "ZelqDid", "web_to_url", Kind::Static, kDid, web_to_url,
    "web_to_url(did)\n--\n\n"
    "Translate a `did:web` DID into the HTTPS URL of its DID document.\n\n"
    "`did:web:example.com` maps to `https://example.com/.well-known/did.json`;\n"
    "`did:web:example.com:user:alice` to `https://example.com/user/alice/did.json`.\n"
    "A percent-encoded port (`example.com%3A3000`) becomes `example.com:3000`.\n\n"
    "Raises `DidResolutionError` (reason `not_did_web`) for anything that is not a\n"
    "`did:web` DID, and for an authority that is empty, is not UTF-8 once decoded,\n"
    "or would carry a path, query, fragment or user info into the URL."};

constexpr MethodSpec kStripFragment{
    "ZelqDid", "strip_fragment", Kind::Static, kDidUrl, strip_fragment,
    "strip_fragment(did_url)\n--\n\n"
    "Drop the `#fragment` of a DID URL: the text before the first `#`, or the\n"
    "text unchanged when it has none."};

PyMethodDef g_methods[] = {method_def<kWebToUrl>(), method_def<kStripFragment>(), kMethodsEnd};

}  // namespace

PyType_Spec* did_spec() {
  static ClassSpec c{"builtins.ZelqDid", "Stateless did:web string helpers. All methods are static.", g_methods};
  return &c.spec;
}

}  // namespace zelq::py
