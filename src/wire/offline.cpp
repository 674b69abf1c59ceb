#include "wire/offline.hpp"

#include "core/content_hash.hpp"
#include "did/did_url.hpp"
#include "wire/did_key_verify.hpp"
#include "wire/field_rules.hpp"
#include "wire/publish_checks.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

namespace {

// The signing key must be the producer's own.
ZResult<void> check_key_binding(const Signature& sig, std::string_view agent_id) {
  const std::string_view did = did::strip_fragment(sig.key_id);
  if (did != agent_id)
    return fail(ZelqError::text(ErrorKind::KeyNotAuthorized,
                                "key_id DID '" + std::string(did) + "' \xe2\x89\xa0 agent_id '" +
                                    std::string(agent_id) + "'"));
  return {};
}

}  // namespace

ZResult<void> verify_body(const Body& b) {
  ZELQ_TRY(check_publish_fields(b));
  if (b.metadata_refusal) return fail(*b.metadata_refusal);
  if (b.metadata) ZELQ_TRY(check_json_object_limits(*b.metadata, "metadata"));
  if (b.extensions_refusal) return fail(*b.extensions_refusal);
  ZELQ_TRY(validate_extensions(b.extensions));
  ZELQ_TRY(check_publish_payload(b));
  ZELQ_TRY(validate_identifiers(b.ctx_id, b.lineage_id, b.content_hash));
  if (b.supersedes) ZELQ_TRY(validate_ctx_id(*b.supersedes));
  for (std::string_view d : b.derived_from.entries()) ZELQ_TRY(validate_ctx_id(d));
  if (b.zelq_version) ZELQ_TRY(validate_semver(*b.zelq_version));
  ZELQ_TRY(validate_origin_registry(b.origin_registry));
  if (!did::is_did_key(b.agent_id))
    return fail(ZelqError::text(ErrorKind::KeyResolution,
                                "verify_body_offline supports did:key producers only; '" + b.agent_id +
                                    "' requires the resolver-backed Verifier (client feature)"));
  auto stored = ContentHash::parse(b.content_hash);  // its form was checked above
  if (!stored) return fail(std::move(stored).error());
  auto computed = record_content_hash(b, kBodyRecord);
  if (!computed) return fail(std::move(computed).error());
  if (*computed != *stored) return fail(ZelqError::hash_mismatch(stored->text(), computed->text()));
  ZELQ_TRY(check_key_binding(b.signature, b.agent_id));
  return verify_signature_by_did_key(b.signature, b.content_hash);
}

Result<Body, ArgumentError> body_argument(std::string_view text) {
  auto body = parse_body(text);
  if (!body) return fail(ArgumentError{"invalid body JSON: " + body.error().display()});
  return std::move(*body);
}

Result<PublishRequest, ArgumentError> request_argument(std::string_view text) {
  auto request = parse_publish_request_unkept_metadata(text);  // the check never reads metadata
  if (!request) return fail(ArgumentError{"invalid request JSON: " + request.error().display()});
  return std::move(*request);
}

Result<CtxId, ArgumentError> ctx_id_argument(std::string_view text, std::string_view role) {
  auto ctx = CtxId::parse(text);
  if (!ctx) return fail(ArgumentError{"invalid " + std::string(role) + ": " + ctx.error().display()});
  return std::move(*ctx);
}

Result<void, CheckFailure> verify_request(const PublishRequest& r, const CanonicalMembers& request_text) {
  // The stored text is compared as sent: a malformed one is a difference.
  auto h = body_content_hash(request_text);
  if (!h) return fail(CheckFailure{"content_hash mismatch: " + h.error().display()});
  if (h->hash.text() != r.content_hash)
    return fail(CheckFailure{"content_hash mismatch: " +
                             ZelqError::hash_mismatch(r.content_hash, h->hash.text()).display()});
  auto rest = [&]() -> ZResult<void> {
    ZELQ_TRY(check_key_binding(r.signature, r.agent_id));
    if (!did::is_did_key(r.agent_id))
      return fail(ZelqError::text(ErrorKind::KeyResolution,
                                  "offline verification supports did:key only; got '" + r.agent_id + "'"));
    return verify_signature_by_did_key(r.signature, r.content_hash);
  }();
  if (!rest) return fail(CheckFailure{rest.error().display()});
  return {};
}

ZResult<void> verify_ctx_id_binding(const Body& body, std::string_view expected_ctx_id) {
  auto served = CtxId::parse(body.ctx_id);
  if (!served) return fail(std::move(served).error());
  auto expected = CtxId::parse(expected_ctx_id);
  if (!expected) return fail(std::move(expected).error());
  if (*served != *expected) return fail(ZelqError::context_id_mismatch(expected->text(), served->text()));
  return {};
}

}  // namespace zelq::wire
