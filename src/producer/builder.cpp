#include "producer/builder.hpp"

#include "core/content_hash.hpp"
#include "core/json/record.hpp"
#include "wire/publish_checks.hpp"
#include "wire/validators.hpp"

namespace zelq::producer {

namespace {

ZelqError missing(std::string field) { return ZelqError::text(ErrorKind::MissingField, std::move(field)); }

// The version a request may carry, or the rule it breaks.
ZResult<std::uint32_t> checked_version(const PublishRequestBuilder& b) {
  if (b.request.supersedes) {
    if (!b.version) return fail(missing("version"));
    if (*b.version < 2)
      return fail(ZelqError::schema("supersession publish requires version >= 2, got " + std::to_string(*b.version)));
    return *b.version;
  }
  if (b.version && *b.version != 1)
    return fail(ZelqError::schema("first-version publish requires version=1, got " + std::to_string(*b.version)));
  if (b.request.lineage_id) return fail(ZelqError::schema("lineage_id MUST NOT be set on v1 publish requests"));
  return 1u;
}

// The rules of a finished request, in their fixed order; a metadata refused
// when it was read fails in the place of its check.
ZResult<void> validate_request(const wire::PublishRequest& r, const std::optional<ZelqError>& metadata_refusal) {
  ZELQ_TRY(wire::check_publish_fields(r));
  if (r.type.kind == wire::ContextType::Kind::Custom) ZELQ_TRY(wire::validate_context_type(r.type.custom));
  if (metadata_refusal) return fail(*metadata_refusal);
  if (r.metadata) ZELQ_TRY(wire::check_json_object_limits(*r.metadata, "metadata"));
  ZELQ_TRY(wire::check_publish_payload(r));
  ZELQ_TRY(wire::validate_content_hash(r.content_hash));
  if (r.supersedes) ZELQ_TRY(wire::validate_ctx_id(*r.supersedes));
  for (std::string_view d : r.derived_from.entries()) ZELQ_TRY(wire::validate_ctx_id(d));
  if (r.lineage_id) ZELQ_TRY(wire::validate_lineage_id(*r.lineage_id));
  if (r.zelq_version) ZELQ_TRY(wire::validate_semver(*r.zelq_version));
  return {};
}

}  // namespace

PublishRequestBuilder PublishRequestBuilder::first_version(const crypto::ProducerIdentity& identity) {
  PublishRequestBuilder b(identity);
  b.request.zelq_version = std::string(kZelqVersion);
  return b;
}

PublishRequestBuilder PublishRequestBuilder::new_version_from(wire::Body previous,
                                                              const crypto::ProducerIdentity& identity) {
  // The body's members are taken, not copied: it is not needed afterwards,
  // and its lists are the bulk of the call's memory.
  PublishRequestBuilder b(identity);
  b.version = previous.version + 1u;  // wraps to 0, which the build refuses
  b.title = std::move(previous.title);
  b.context_type = std::move(previous.type);
  b.metadata_refusal = std::move(previous.metadata_refusal);
  wire::PublishRequest& r = b.request;
  r.supersedes = std::move(previous.ctx_id);
  r.lineage_id = std::move(previous.lineage_id);
  r.contributors = std::move(previous.contributors);
  r.derived_from = std::move(previous.derived_from);
  r.data_refs = std::move(previous.data_refs);
  r.anchors = std::move(previous.anchors);
  r.visibility = previous.visibility;
  r.audience = std::move(previous.audience);
  r.description = std::move(previous.description);
  r.summary = std::move(previous.summary);
  r.tags = std::move(previous.tags);
  r.domain = std::move(previous.domain);
  r.schema_uri = std::move(previous.schema_uri);
  r.expires_at = previous.expires_at;
  r.data_period = previous.data_period;
  r.metadata = std::move(previous.metadata);
  r.zelq_version = std::move(previous.zelq_version);  // an omitted form stays omitted
  return b;
}

ZResult<wire::PublishRequest> PublishRequestBuilder::build() && {
  if (!title) return fail(missing("title"));
  if (!context_type) return fail(missing("context_type"));
  auto v = checked_version(*this);
  if (!v) return fail(std::move(v).error());
  if (request.visibility == wire::Visibility::Restricted && (!request.audience || request.audience->empty()))
    return fail(ZelqError::schema("visibility:restricted requires a non-empty audience"));

  wire::PublishRequest r = std::move(request);
  r.version = *v;
  r.agent_id = identity->agent_did;
  r.title = std::move(*title);
  r.type = std::move(*context_type);

  // A request whose metadata was refused cannot be built: the rules before
  // that one still speak first, and the hash and signature, which no one
  // would see, are not made.
  if (metadata_refusal) {
    auto first = validate_request(r, metadata_refusal);  // fails, with the refusal at the latest
    return fail(std::move(first).error());
  }

  // The request's own members are the body the hash covers: the hash leaves
  // out content_hash, signature and lineage_id, which are not set yet or not
  // part of it.
  auto hash = record_content_hash(r, wire::kPublishRequestRecord);
  if (!hash) return fail(std::move(hash).error());
  auto sig = identity->key.sign(*hash);
  r.content_hash = hash->text();
  r.signature = wire::Signature{std::string(sig.algorithm), identity->key_id, std::move(sig.value)};

  ZELQ_TRY(validate_request(r, std::nullopt));
  return r;
}

}  // namespace zelq::producer
