// ZelqVerifier: content-hash checks, the canonical preimage and the
// diagnosis of a hash that another implementation computes differently.
#include <string>

#include "core/content_hash.hpp"
#include "core/hash_mismatch.hpp"
#include "core/utf8.hpp"
#include "python/args_services.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "wire/validators.hpp"

namespace zelq::py {

namespace {

// The caller's expected hash must have the content-hash form before any hashing.
bool check_expected_hash(std::string_view expected) {
  auto v = wire::validate_content_hash(expected);
  if (v) return true;
  raise_value_error("invalid content_hash: " + v.error().display());
  return false;
}

PyObject* verify_content_hash(PyObject*, const Args& a) {
  auto body = parse_json_arg(a.str(0), "body");
  if (!body || !check_expected_hash(a.str(1))) return nullptr;
  auto r = verify_body_content_hash(*body, a.str(1));
  if (!r) return raise_runtime_error("content_hash mismatch: " + r.error().display());
  return true_();
}

PyObject* canonical_preimage(PyObject*, const Args& a) {
  auto body = parse_json_arg(a.str(0), "body");
  if (!body) return nullptr;
  auto h = body_content_hash(*body);
  if (!h) return raise_runtime_error(h.error().display());
  if (auto n = utf8_valid_up_to(h->canonical); n != h->canonical.size()) {
    return raise_runtime_error("canonical bytes not UTF-8: invalid utf-8 sequence from index " + std::to_string(n));
  }
  return to_str(h->canonical);
}

PyObject* explain(PyObject*, const Args& a) {
  auto body = parse_json_arg(a.str(0), "body");
  if (!body || !check_expected_hash(a.str(1))) return nullptr;
  auto report = explain_hash_mismatch(*body, a.str(1));
  if (!report) return raise_runtime_error(report.error().display());
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
    "on malformed JSON or a malformed `expected_hash`."};

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
    "Raises `ValueError` on malformed JSON or a malformed `expected_hash`."};

constexpr MethodSpec kCanonicalPreimage{
    "ZelqVerifier", "canonical_preimage", Kind::Static, kBody, canonical_preimage,
    "canonical_preimage(body_json)\n--\n\n"
    "Return the exact canonical text that a body's `content_hash` is taken over.\n\n"
    "The result is a string (the canonical bytes are always valid UTF-8 JSON): the\n"
    "body without content_hash, signature, ctx_id, lineage_id, origin_registry and\n"
    "created_at, in RFC 8785 form. Diff it against another implementation's\n"
    "preimage to find where two hashes part.\n\n"
    "Raises `ValueError` on malformed JSON and `RuntimeError` when the body is not a\n"
    "JSON object."};

const PyMethodDef g_methods[] = {
    method_def<kVerifyContentHash>(),
    method_def<kExplainHashMismatch>(),
    method_def<kCanonicalPreimage>(),
};

}  // namespace

std::span<const PyMethodDef> verifier_hash_methods() { return g_methods; }

}  // namespace zelq::py
