#include "wire/offline.hpp"

#include "core/content_hash.hpp"
#include "wire/did_key_verify.hpp"
#include "wire/field_rules.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

namespace {

constexpr std::string_view kDidKeyPrefix = "did:key:";

ZResult<void> check_length(std::string_view name, const std::optional<std::string>& text, std::size_t limit) {
  if (!text) return {};
  if (auto n = char_count(*text); n > limit)
    return fail(ZelqError::schema(std::string(name) + " length " + std::to_string(n) + " exceeds " +
                                  std::to_string(limit)));
  return {};
}

// The signing key must be the producer's own.
ZResult<void> check_key_binding(const Signature& sig, std::string_view agent_id) {
  std::string_view did = key_id_did(sig.key_id);
  if (did != agent_id)
    return fail(ZelqError::text(ErrorKind::KeyNotAuthorized,
                                "key_id DID '" + std::string(did) + "' \xe2\x89\xa0 agent_id '" +
                                    std::string(agent_id) + "'"));
  return {};
}

}  // namespace

std::string_view key_id_did(std::string_view key_id) { return key_id.substr(0, key_id.find('#')); }

ZResult<void> verify_body(const Body& b) {
  if (auto n = char_count(b.title); n < 1 || n > 500)
    return fail(ZelqError::schema("title length " + std::to_string(n) + " not in 1..=500"));
  ZELQ_TRY(check_length("description", b.description, 5000));
  ZELQ_TRY(check_length("summary", b.summary, 1000));
  ZELQ_TRY(check_length("domain", b.domain, 200));
  ZELQ_TRY(validate_producer_did(b.agent_id));
  for (const auto& c : b.contributors) ZELQ_TRY(validate_did(c));
  ZELQ_TRY(check_list_limit_unique("contributors", b.contributors, kMaxContributors));
  ZELQ_TRY(check_derived_from_list(b.derived_from));
  if (b.tags) ZELQ_TRY(validate_tags(*b.tags));
  if (b.audience) {
    ZELQ_TRY(check_list_limit_unique("audience", *b.audience, kMaxAudience));
    for (const auto& a : *b.audience) ZELQ_TRY(validate_did_field(a));
  }
  ZELQ_TRY(check_visibility_audience(b.visibility, b.audience));
  if (b.data_period && b.data_period->start > b.data_period->end)
    return fail(ZelqError::schema("data_period.start must not be after data_period.end"));
  if (b.metadata) ZELQ_TRY(check_json_object_limits(*b.metadata, "metadata"));
  ZELQ_TRY(validate_extensions(b.extensions));
  for (const auto& d : b.data_refs) ZELQ_TRY(validate_data_ref(d));
  if (b.anchors) ZELQ_TRY(validate_anchors(*b.anchors));
  ZELQ_TRY(check_signature_value_length(b.signature.algorithm, b.signature.value.size()));
  ZELQ_TRY(validate_key_id(b.signature.key_id));
  ZELQ_TRY(validate_identifiers(b.ctx_id, b.lineage_id, b.content_hash));
  if (b.supersedes) ZELQ_TRY(validate_ctx_id(*b.supersedes));
  for (const auto& d : b.derived_from) ZELQ_TRY(validate_ctx_id(d));
  if (b.zelq_version) ZELQ_TRY(validate_semver(*b.zelq_version));
  ZELQ_TRY(validate_origin_registry(b.origin_registry));
  if (!b.agent_id.starts_with(kDidKeyPrefix))
    return fail(ZelqError::text(ErrorKind::KeyResolution,
                                "verify_body_offline supports did:key producers only; '" + b.agent_id +
                                    "' requires the resolver-backed Verifier (client feature)"));
  auto stored = ContentHash::parse(b.content_hash);  // its form was checked above
  if (!stored) return fail(std::move(stored).error());
  ZELQ_TRY(verify_body_content_hash(body_to_value(b), *stored));
  ZELQ_TRY(check_key_binding(b.signature, b.agent_id));
  return verify_signature_by_did_key(b.signature, b.content_hash);
}

Result<Body, ArgumentError> body_argument(std::string_view text) {
  auto body = parse_body(text);
  if (!body) return fail(ArgumentError{"invalid body JSON: " + body.error().display()});
  return std::move(*body);
}

Result<PublishRequest, ArgumentError> request_argument(std::string_view text) {
  auto request = parse_publish_request(text);
  if (!request) return fail(ArgumentError{"invalid request JSON: " + request.error().display()});
  return std::move(*request);
}

Result<void, CheckFailure> verify_request(const PublishRequest& r, const json::Value& request_value) {
  // The stored text is compared as sent: a malformed one is a difference.
  auto h = body_content_hash(request_value);
  if (!h) return fail(CheckFailure{"content_hash mismatch: " + h.error().display()});
  if (h->hash.text() != r.content_hash)
    return fail(CheckFailure{"content_hash mismatch: " +
                             ZelqError::hash_mismatch(r.content_hash, h->hash.text()).display()});
  auto rest = [&]() -> ZResult<void> {
    ZELQ_TRY(check_key_binding(r.signature, r.agent_id));
    if (!r.agent_id.starts_with(kDidKeyPrefix))
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
