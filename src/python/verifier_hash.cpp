// ZelqVerifier: content-hash checks, the canonical preimage and the
// diagnosis of a hash that another implementation computes differently.
#include <string>

#include "core/content_hash.hpp"
#include "core/hash_mismatch.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"

namespace zelq::py {

namespace {

// The body is hashed on the text road: it is never built as a value, so a
// call needs a few times the memory of its text, whatever the text's shape.
PyObject* verify_content_hash(PyObject*, const Args& a) {
  auto body = canonical_body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto expected = content_hash_argument(a.str(1));
  if (!expected) return a.fail(expected.error());
  auto r = verify_body_content_hash(*body, *expected);
  if (!r) return a.fail(r.error());
  return true_();
}

PyObject* canonical_preimage(PyObject*, const Args& a) {
  auto body = canonical_body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto h = body_content_hash(*body);
  if (!h) return a.fail(h.error());
  return to_str(h->canonical);
}

PyObject* explain(PyObject*, const Args& a) {
  auto body = canonical_body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto expected = content_hash_argument(a.str(1));
  if (!expected) return a.fail(expected.error());
  auto report = explain_hash_mismatch(a.str(0), *body, *expected);
  if (!report) return a.fail(report.error());
  return to_str(*report);
}

constexpr Param kBodyAndHash[] = {{"body_json", PType::Str}, {"expected_hash", PType::Str}};
constexpr Param kBody[] = {{"body_json", PType::Str}};

constexpr MethodSpec kVerifyContentHash{
    "ZelqVerifier", "verify_content_hash", Kind::Static, kBodyAndHash, verify_content_hash,
    "verify_content_hash(body_json, expected_hash)\n--\n\n"
    "Recompute a body's `content_hash` and compare it with `expected_hash`.\n\n"
    "`body_json` is the body object (or a publish request) as JSON text; the members\n"
    "content_hash, signature, ctx_id, lineage_id, origin_registry and created_at are\n"
    "left out before the RFC 8785 canonical form is hashed. `expected_hash` is\n"
    "\"sha256:<64-lowercase-hex>\".\n\n"
    "Returns `True` on success. Raises `RuntimeError` on a mismatch and `ValueError`\n"
    "on malformed JSON or a malformed `expected_hash`.",
    ErrorMap{Raise::ValueError, Raise::RuntimeError, "content_hash mismatch: "}};

constexpr MethodSpec kExplainHashMismatch{
    "ZelqVerifier", "explain_hash_mismatch", Kind::Static, kBodyAndHash, explain,
    "explain_hash_mismatch(body_json, expected_hash)\n--\n\n"
    "Explain why `expected_hash` (computed by another implementation) differs from\n"
    "this body's `content_hash`.\n\n"
    "Returns a human-readable report: that the hashes match, the known divergence\n"
    "pattern (zelq_version omitted or in another form, null-valued optional fields\n"
    "omitted, millisecond-truncated timestamps, or a combination) that reproduces\n"
    "the expected hash, or the canonical preimage to diff against the other side's\n"
    "`canonical_preimage()` output. A mismatch is reported, never raised.\n\n"
    "Raises `ValueError` on malformed JSON or a malformed `expected_hash`.",
    ErrorMap{Raise::ValueError, Raise::RuntimeError}};

constexpr MethodSpec kCanonicalPreimage{
    "ZelqVerifier", "canonical_preimage", Kind::Static, kBody, canonical_preimage,
    "canonical_preimage(body_json)\n--\n\n"
    "Return the exact canonical text that a body's `content_hash` is taken over.\n\n"
    "The result is a string (the canonical bytes are always valid UTF-8 JSON): the\n"
    "body without content_hash, signature, ctx_id, lineage_id, origin_registry and\n"
    "created_at, in RFC 8785 form. Diff it against another implementation's\n"
    "preimage to find where two hashes part.\n\n"
    "Raises `ValueError` on malformed JSON and `RuntimeError` when the body is not a\n"
    "JSON object.",
    ErrorMap{Raise::ValueError, Raise::RuntimeError}};

const PyMethodDef g_methods[] = {
    method_def<kVerifyContentHash>(),
    method_def<kExplainHashMismatch>(),
    method_def<kCanonicalPreimage>(),
};

}  // namespace

std::span<const PyMethodDef> verifier_hash_methods() { return g_methods; }

}  // namespace zelq::py
