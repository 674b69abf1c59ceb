#include "producer/request.hpp"

#include "producer/kwargs.hpp"
#include "wire/offline.hpp"

namespace zelq::producer {

namespace {

template <class List>
List owned(std::span<const std::string_view> entries) {
  List out;
  for (std::string_view e : entries) out.push_back(e);
  return out;
}

void set_text(std::optional<std::string>& field, const OptText& arg) {
  if (arg) field = std::string(*arg);
}

template <class List>
void set_list(std::optional<List>& field, const OptList& arg) {
  if (arg) field = owned<List>(*arg);
}

// Writes the parsed value of a given argument into `field`.
template <class Field, class Parse>
PResult<void> set_parsed(Field& field, const OptText& arg, Parse parse) {
  if (!arg) return {};
  auto v = parse(*arg);
  if (!v) return fail(std::move(v).error());
  field = std::move(*v);
  return {};
}

// A given metadata argument replaces the field, as its value or, when the
// limits of metadata refuse it, as that refusal.
PResult<void> set_metadata(PublishRequestBuilder& b, const OptText& arg) {
  if (!arg) return {};
  auto judged = parse_metadata_arg(*arg);
  if (!judged) return fail(std::move(judged).error());
  b.request.metadata = std::move(judged->value);
  b.metadata_refusal = std::move(judged->refusal);
  return {};
}

// The arguments both appliers take, from data_refs to the version rule, by
// the same names on both; only the supersede has clear_anchors, applied
// right after anchors.
template <class Args>
PResult<void> apply_data_refs_onwards(PublishRequestBuilder& b, const Args& a) {
  ZELQ_TRY(set_parsed(b.request.data_refs, a.data_refs, parse_data_refs_arg));
  ZELQ_TRY(set_parsed(b.request.anchors, a.anchors, parse_anchors_arg));
  if constexpr (requires { a.clear_anchors; }) {
    if (a.clear_anchors.value_or(false)) b.request.anchors.reset();
  }
  ZELQ_TRY(set_parsed(b.request.expires_at, a.expires_at, [](std::string_view t) -> PResult<UtcTime> {
    auto v = parse_rfc3339_arg(t);
    if (!v) return v;
    return truncate_to_millis(*v);
  }));
  ZELQ_TRY(set_parsed(b.request.data_period, a.data_period, [](std::string_view t) -> PResult<wire::DataPeriod> {
    auto v = parse_data_period_arg(t);
    if (!v) return v;
    return wire::DataPeriod{truncate_to_millis(v->start), truncate_to_millis(v->end)};
  }));
  ZELQ_TRY(set_parsed(b.request.lineage_id, a.expected_lineage_id, parse_lineage_id_arg));
  // Leaving the member out wins over any text; otherwise a given text
  // replaces what the builder holds.
  if (a.omit_zelq_version.value_or(false)) {
    b.request.zelq_version.reset();
  } else {
    set_text(b.request.zelq_version, a.zelq_version);
  }
  return {};
}

// Identity first: its failure comes before any argument's.
template <class Start>
PResult<std::string> build_with(const Producer& p, Start start) {
  auto identity = p.identity();
  if (!identity) return fail(std::move(identity).error());
  auto builder = start(*identity);
  if (!builder) return fail(std::move(builder).error());
  auto request = std::move(*builder).build();
  if (!request) return fail(std::move(request).error());
  return wire::write_publish_request(*request);
}

}  // namespace

PResult<void> apply_publish_kwargs(PublishRequestBuilder& b, const PublishArgs& a) {
  set_text(b.request.description, a.description);
  set_text(b.request.summary, a.summary);
  set_list(b.request.tags, a.tags);
  set_text(b.request.domain, a.domain);
  set_text(b.request.schema_uri, a.schema_uri);
  ZELQ_TRY(set_metadata(b, a.metadata));
  if (a.derived_from) {
    auto ids = parse_derived_from_arg(*a.derived_from);
    if (!ids) return fail(std::move(ids).error());
    b.request.derived_from = std::move(*ids);
  }
  set_list(b.request.audience, a.audience);
  if (a.contributors) b.request.contributors = owned<json::StringList>(*a.contributors);
  return apply_data_refs_onwards(b, a);
}

PResult<void> apply_supersede_kwargs(PublishRequestBuilder& b, const SupersedeArgs& a) {
  set_text(b.title, a.title);
  set_text(b.request.summary, a.summary);
  set_text(b.request.description, a.description);
  set_list(b.request.tags, a.tags);
  set_text(b.request.domain, a.domain);
  ZELQ_TRY(set_metadata(b, a.metadata));
  return apply_data_refs_onwards(b, a);
}

PResult<std::string> build_publish_request(const Producer& p, const PublishArgs& a) {
  return build_with(p, [&](const crypto::ProducerIdentity& id) -> PResult<PublishRequestBuilder> {
    auto type = parse_context_type_arg(a.context_type);
    if (!type) return fail(std::move(type).error());
    auto visibility = parse_visibility_arg(a.visibility.value_or("public"));
    if (!visibility) return fail(std::move(visibility).error());
    auto b = PublishRequestBuilder::first_version(id);
    b.title = std::string(a.title);
    b.context_type = std::move(*type);
    b.request.visibility = *visibility;
    ZELQ_TRY(apply_publish_kwargs(b, a));
    return b;
  });
}

PResult<std::string> build_supersede_request(const Producer& p, const SupersedeArgs& a) {
  return build_with(p, [&](const crypto::ProducerIdentity& id) -> PResult<PublishRequestBuilder> {
    auto previous = wire::body_argument(a.previous_body_json);
    if (!previous) return fail(std::move(previous).error());
    auto b = PublishRequestBuilder::new_version_from(std::move(*previous), id);
    ZELQ_TRY(apply_supersede_kwargs(b, a));
    return b;
  });
}

}  // namespace zelq::producer
