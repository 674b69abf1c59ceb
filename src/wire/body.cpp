#include "wire/body.hpp"

#include "wire/field_rules.hpp"

namespace zelq::wire {

namespace {

using json::Presence;
using json::read_string;
using json::string_value;

// `supersedes` is the one optional member always written: null when absent.
template <auto Member>
void write_string_or_null(const json::OwnerOf<Member>& t, const char* name, json::Object& out) {
  const auto& m = t.*Member;
  out.insert(name, m ? json::Value(*m) : json::Value(nullptr));
}

template <auto Member>
ZResult<bool> emit_string_or_null(const json::OwnerOf<Member>& t, json::Form form, json::TextSink& out) {
  const auto& m = t.*Member;
  if (!m) out.text().append("null");
  else if (form == json::Form::Canonical) write_canonical_string(*m, out.text());
  else json::write_string(*m, out.text());
  return true;
}

template <auto Member>
constexpr json::Field<json::OwnerOf<Member>> supersedes_field() {
  return {"supersedes", Presence::Optional, &json::read_member<Member, json::read_opt_string>, nullptr,
          &write_string_or_null<Member>, &emit_string_or_null<Member>};
}

json::Value signature_value(const Signature& s) { return json::record_value(s, kSignatureRecord); }

// A body's metadata is judged under its limits as it is read (null is
// absent), so that a refused one is never built whole.
json::PResult<void> read_metadata(json::Reader& r, Body& b) {
  if (r.peek_ws() == 'n') {
    auto v = r.parse_value();  // "null", or the reader's failure on a bad ident
    if (!v) return fail(std::move(v).error());
    return {};
  }
  auto judged = read_judged_object(r, "metadata", kMetadataLookups);
  if (!judged) return fail(std::move(judged).error());
  b.metadata = std::move(judged->value);
  b.metadata_refusal = std::move(judged->refusal);
  return {};
}

// Lists of texts: read entry by entry into their compact lists, written
// from the entries they keep.
json::Value text_value(std::string_view s) { return json::Value(std::string(s)); }

const json::StringList& entries_of(const json::StringList& l) { return l; }
template <std::size_t Bound>
const json::StringList& entries_of(const BoundedList<Bound>& l) {
  return l.entries();
}

template <auto Member>
void write_texts(const json::OwnerOf<Member>& t, const char* name, json::Object& out) {
  const auto& m = t.*Member;
  if constexpr (json::kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (m) out.insert(name, json::list_value<text_value>(entries_of(*m)));
  } else {
    out.insert(name, json::list_value<text_value>(entries_of(m)));
  }
}

template <auto Member>
ZResult<bool> emit_texts(const json::OwnerOf<Member>& t, json::Form form, json::TextSink& out) {
  const auto& m = t.*Member;
  if constexpr (json::kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (!m) return false;
    ZELQ_TRY(json::emit_list<text_value>(entries_of(*m), form, out));
  } else {
    ZELQ_TRY(json::emit_list<text_value>(entries_of(m), form, out));
  }
  return true;
}

template <auto Member, auto Read>
constexpr json::Field<json::OwnerOf<Member>> texts_member(const char* name, Presence p = Presence::Required) {
  return {name, p, &json::read_member<Member, Read>, nullptr, &write_texts<Member>, &emit_texts<Member>};
}

constexpr auto read_contributors = json::read_strings_into<json::StringList>;
constexpr auto read_derived_from = json::read_strings_into<DerivedFrom>;
constexpr auto read_tags = json::read_strings_into<Tags>;
constexpr auto read_opt_audience = json::read_or_null<json::read_strings_into<Audience>>;
constexpr auto read_opt_time = json::read_or_null<read_date_time>;
constexpr auto read_opt_period = json::read_or_null<read_data_period>;

constexpr json::Field<Body> kBodyFields[] = {
    json::member<&Body::ctx_id, read_string, string_value>("ctx_id"),
    json::member<&Body::lineage_id, read_string, string_value>("lineage_id"),
    json::member<&Body::origin_registry, read_string, string_value>("origin_registry"),
    json::member<&Body::created_at, read_date_time, date_time_value>("created_at"),
    json::member<&Body::content_hash, read_string, string_value>("content_hash"),
    json::member<&Body::signature, read_signature, signature_value>("signature"),
    json::member<&Body::version, json::read_u32, json::unsigned_value>("version"),
    supersedes_field<&Body::supersedes>(),
    json::member<&Body::agent_id, read_string, string_value>("agent_id"),
    texts_member<&Body::contributors, read_contributors>("contributors"),
    json::member<&Body::title, read_string, string_value>("title"),
    json::member<&Body::type, read_context_type, context_type_value>("type"),
    json::list_member<&Body::data_refs, read_data_refs, data_ref_value>("data_refs"),
    texts_member<&Body::derived_from, read_derived_from>("derived_from"),
    json::member<&Body::visibility, read_enum<Visibility>, enum_value<Visibility>>("visibility"),
    texts_member<&Body::audience, read_opt_audience>("audience", Presence::Optional),
    json::member<&Body::zelq_version, read_string, string_value>("zelq_version", Presence::Optional),
    json::member<&Body::description, read_string, string_value>("description", Presence::Optional),
    json::member<&Body::summary, read_string, string_value>("summary", Presence::Optional),
    texts_member<&Body::tags, read_tags>("tags", Presence::Optional),
    json::member<&Body::domain, read_string, string_value>("domain", Presence::Optional),
    json::member<&Body::expires_at, read_opt_time, date_time_value>("expires_at", Presence::Optional),
    json::member<&Body::data_period, read_opt_period, data_period_value>("data_period", Presence::Optional),
    {"metadata", Presence::Optional, &read_metadata, nullptr, &json::write_member<&Body::metadata, json::copy_value>,
     &json::emit_member<&Body::metadata, json::copy_value>},
    json::member<&Body::schema_uri, read_string, string_value>("schema_uri", Presence::Optional),
    json::list_member<&Body::anchors, read_anchors, anchor_value>("anchors", Presence::Optional),
};

// In the array form, Optional members must be present as elements (null for
// none) while Defaulted ones may be cut off at the end. The metadata reader
// is the one difference between the request as kept and as checked.
template <auto ReadMetadata>
constexpr json::Field<PublishRequest> kRequestFieldsWith[] = {
    json::member<&PublishRequest::version, json::read_u32, json::unsigned_value>("version"),
    supersedes_field<&PublishRequest::supersedes>(),
    json::member<&PublishRequest::agent_id, read_string, string_value>("agent_id"),
    texts_member<&PublishRequest::contributors, read_contributors>("contributors"),
    json::member<&PublishRequest::title, read_string, string_value>("title"),
    json::member<&PublishRequest::type, read_context_type, context_type_value>("type"),
    json::list_member<&PublishRequest::data_refs, read_data_refs, data_ref_value>("data_refs"),
    texts_member<&PublishRequest::derived_from, read_derived_from>("derived_from"),
    json::member<&PublishRequest::visibility, read_enum<Visibility>, enum_value<Visibility>>("visibility"),
    json::member<&PublishRequest::content_hash, read_string, string_value>("content_hash"),
    json::member<&PublishRequest::signature, read_signature, signature_value>("signature"),
    texts_member<&PublishRequest::audience, read_opt_audience>("audience", Presence::Optional),
    json::member<&PublishRequest::zelq_version, read_string, string_value>("zelq_version", Presence::Defaulted),
    json::member<&PublishRequest::description, read_string, string_value>("description", Presence::Defaulted),
    json::member<&PublishRequest::summary, read_string, string_value>("summary", Presence::Defaulted),
    json::member<&PublishRequest::lineage_id, json::read_opt_string, string_value>("lineage_id",
                                                                                   Presence::Optional),
    texts_member<&PublishRequest::tags, read_tags>("tags", Presence::Defaulted),
    json::member<&PublishRequest::domain, read_string, string_value>("domain", Presence::Defaulted),
    json::member<&PublishRequest::expires_at, read_opt_time, date_time_value>("expires_at", Presence::Optional),
    json::member<&PublishRequest::data_period, read_opt_period, data_period_value>("data_period",
                                                                                   Presence::Optional),
    json::member<&PublishRequest::metadata, ReadMetadata, json::copy_value>("metadata", Presence::Optional),
    json::member<&PublishRequest::schema_uri, read_string, string_value>("schema_uri", Presence::Defaulted),
    json::list_member<&PublishRequest::anchors, read_anchors, anchor_value>("anchors", Presence::Defaulted),
};

// A body's extra members are judged under their limits before any value of
// them is built: a refused set of them, however large, costs no more than
// its reading.
void settle_extensions(json::MemberTexts&& texts, Body& body) {
  if (texts.empty()) return;
  if (auto judged = check_object_text_limits(texts, "extensions"); !judged) {
    body.extensions_refusal = std::move(judged).error();
    return;
  }
  body.extensions = texts.to_object();
}

}  // namespace

const json::Record<Body> kBodyRecord{"Body", kBodyFields, json::Unknown::Collect, false, &Body::extensions,
                                     &settle_extensions};
const json::Record<PublishRequest> kPublishRequestRecord{"PublishRequest", kRequestFieldsWith<json::read_opt_value>,
                                                         json::Unknown::Deny, true};
// The offline check hashes the request's own text and never looks at its
// metadata, which can be far larger built than written: it is judged as it
// is read, and dropped.
const json::Record<PublishRequest> kPublishRequestCheckRecord{
    "PublishRequest", kRequestFieldsWith<json::read_opt_value_unkept>, json::Unknown::Deny, true};

json::PResult<Body> parse_body(std::string_view text) { return json::parse_record(text, kBodyRecord); }

json::Value body_to_value(const Body& body) { return json::record_value(body, kBodyRecord); }

json::PResult<PublishRequest> parse_publish_request(std::string_view text) {
  return json::parse_record(text, kPublishRequestRecord);
}

json::PResult<PublishRequest> parse_publish_request_unkept_metadata(std::string_view text) {
  return json::parse_record(text, kPublishRequestCheckRecord);
}

std::string write_publish_request(const PublishRequest& request) {
  return json::record_text(request, kPublishRequestRecord);
}

}  // namespace zelq::wire
