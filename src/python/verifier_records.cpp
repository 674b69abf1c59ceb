// ZelqVerifier: offline verification of did:key bodies and publish requests,
// and the binding of a served body to the context identifier asked for.
#include <span>
#include <string>

#include "core/content_hash.hpp"
#include "core/json/reader.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "wire/offline.hpp"

namespace zelq::py {

namespace {

PyObject* verify_body_offline(PyObject*, const Args& a) {
  auto body = wire::body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto ok = wire::verify_body(*body);
  if (!ok) return a.fail(ok.error());
  return true_();
}

PyObject* verify_publish_request_offline(PyObject*, const Args& a) {
  auto request = wire::request_argument(a.str(0));
  if (!request) return a.fail(request.error());
  auto text = canonical_body_argument(a.str(0), "request");
  if (!text) return a.fail(text.error());
  auto ok = wire::verify_request(*request, *text);
  if (!ok) return a.fail(ok.error());
  return true_();
}

PyObject* verify_ctx_id_binding(PyObject*, const Args& a) {
  auto body = wire::body_argument(a.str(0));
  if (!body) return a.fail(body.error());
  auto ok = wire::verify_ctx_id_binding(*body, a.str(1));
  if (!ok) return a.fail(ok.error());
  return true_();
}

// Every failed check of the two offline verifiers is a RuntimeError, schema
// violations included; the binding check maps by kind.
constexpr ErrorMap kOfflineErrors{Raise::ValueError, Raise::RuntimeError};

constexpr Param kBody[] = {{"body_json", PType::Str}};
constexpr Param kRequest[] = {{"request_json", PType::Str}};
constexpr Param kBinding[] = {{"body_json", PType::Str}, {"expected_ctx_id", PType::Str}};

constexpr MethodSpec kVerifyBodyOffline{
    "ZelqVerifier", "verify_body_offline", Kind::Static, kBody, verify_body_offline,
    "verify_body_offline(body_json)\n--\n\n"
    "Fully verify a `did:key` body offline (ZELQ 0.2) \xe2\x80\x94 structural\n"
    "validation, `content_hash` recomputation, key_id/agent_id\n"
    "consistency, and signature verification against the key embedded\n"
    "in the DID itself. No resolution, no network, no key argument.\n\n"
    "* `body_json` \xe2\x80\x94 the `body` object from a `FullContext` retrieval.\n\n"
    "Returns `True` on success. Raises `ValueError` on malformed JSON\n"
    "or `RuntimeError` on any verification failure (including a\n"
    "non-`did:key` producer \xe2\x80\x94 `did:web` bodies need DID resolution,\n"
    "which stays in the host language by design).",
    kOfflineErrors};

constexpr MethodSpec kVerifyPublishRequestOffline{
    "ZelqVerifier", "verify_publish_request_offline", Kind::Static, kRequest, verify_publish_request_offline,
    "verify_publish_request_offline(request_json)\n--\n\n"
    "Fully verify a `did:key` PublishRequest offline (ZELQ 0.2):\n"
    "recompute and check `content_hash`, then verify the signature\n"
    "against the key embedded in the producer's `did:key` DID.\n\n"
    "* `request_json` \xe2\x80\x94 the wire PublishRequest JSON (e.g. the output\n"
    "  of `ZelqProducer.build_publish_request` on a did:key producer).\n\n"
    "Returns `True` on success. Raises `ValueError` on malformed JSON\n"
    "or `RuntimeError` on hash mismatch, key/agent inconsistency, a\n"
    "non-`did:key` producer, or a bad signature.",
    kOfflineErrors};

constexpr MethodSpec kVerifyCtxIdBinding{
    "ZelqVerifier", "verify_ctx_id_binding", Kind::Static, kBinding, verify_ctx_id_binding,
    "verify_ctx_id_binding(body_json, expected_ctx_id)\n--\n\n"
    "Verify that a body's *served* `ctx_id` matches the `ctx_id` the\n"
    "caller *expected* (RFC-ZELQ-0006 \xc2\xa7" "4.1 step 7, NORMATIVE) \xe2\x80\x94 the\n"
    "context-identity binding check for the receipt-less retrieval\n"
    "path, since `ctx_id` is registry-assigned and outside\n"
    "`content_hash`/signature coverage.\n\n"
    "Argument order is `(body_json, expected_ctx_id)`: the body's own\n"
    "`ctx_id` is the *served* identity, `expected_ctx_id` is what the\n"
    "caller requested \xe2\x80\x94 the same `(served, expected)` order as\n"
    "`verify_ctx_id_binding` and `RegistryReceipt::cross_check`.\n\n"
    "* `body_json` \xe2\x80\x94 the `body` object from a `FullContext` retrieval.\n"
    "* `expected_ctx_id` \xe2\x80\x94 the `ctx_id` the caller requested.\n\n"
    "Returns `True` on success. Raises `ValueError` on malformed JSON\n"
    "or a malformed `ctx_id` on either side, or `RuntimeError` on\n"
    "mismatch."};

const PyMethodDef kMethods[] = {method_def<kVerifyBodyOffline>(), method_def<kVerifyPublishRequestOffline>(),
                                method_def<kVerifyCtxIdBinding>()};

}  // namespace

std::span<const PyMethodDef> verifier_record_methods() { return kMethods; }

}  // namespace zelq::py
