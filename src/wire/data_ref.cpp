#include "wire/data_ref.hpp"

#include "core/error.hpp"
#include "core/rfc3339_relaxed.hpp"

namespace zelq::wire {

namespace {

using json::Presence;

// ---- Location -----------------------------------------------------------------

json::PResult<Location> location_from(const json::Value& v) {
  if (v.is_string()) return Location{v.as_string()};
  if (v.is_object()) return Location{v.as_object()};
  return fail(json::ParseError{});  // the caller names the enum
}

json::PResult<Location> read_location(json::Reader& r) { return json::read_untagged(r, "Location", location_from); }

json::Value location_value(const Location& l) {
  return l.is_uri() ? json::Value(l.uri()) : json::Value(l.structured());
}

// ---- EmbeddedContent ----------------------------------------------------------

json::PResult<json::Value> read_any(json::Reader& r) { return r.parse_value(); }

constexpr json::Field<EmbeddedContent> kEmbeddedFields[] = {
    json::member<&EmbeddedContent::encoding, read_enum<EmbeddedEncoding>, enum_value<EmbeddedEncoding>>("encoding"),
    json::member<&EmbeddedContent::content, read_any, json::copy_value>("content"),
    json::member<&EmbeddedContent::content_hash, json::read_string, json::string_value>("content_hash",
                                                                                       Presence::Defaulted),
};

json::PResult<EmbeddedContent> read_embedded(json::Reader& r) { return json::read_record(r, kEmbeddedContentRecord); }

json::Value embedded_value(const EmbeddedContent& e) { return json::record_value(e, kEmbeddedContentRecord); }

// ---- DataRef ------------------------------------------------------------------

constexpr json::Field<DataRef> kDataRefFields[] = {
    json::member<&DataRef::type, read_enum<DataRefRole>, enum_value<DataRefRole>>("type"),
    json::member<&DataRef::description, json::read_string, json::string_value>("description", Presence::Optional),
    json::member<&DataRef::size_bytes, json::read_u64, json::unsigned_value>("size_bytes", Presence::Optional),
    json::member<&DataRef::format, json::read_string, json::string_value>("format", Presence::Optional),
    json::member<&DataRef::schema_version, json::read_string, json::string_value>("schema_version",
                                                                                  Presence::Optional),
    json::member<&DataRef::content_hash, json::read_string, json::string_value>("content_hash", Presence::Optional),
    json::member<&DataRef::location, read_location, location_value>("location", Presence::Optional),
    json::member<&DataRef::embedded, read_embedded, embedded_value>("embedded", Presence::Optional),
};

json::PResult<DataRef> read_data_ref(json::Reader& r) { return json::read_record(r, kDataRefRecord); }

// ---- DataPeriod ---------------------------------------------------------------

constexpr json::Field<DataPeriod> kDataPeriodFields[] = {
    json::member<&DataPeriod::start, read_date_time, date_time_value>("start"),
    json::member<&DataPeriod::end, read_date_time, date_time_value>("end"),
};

// ---- AnchorEntry --------------------------------------------------------------

constexpr json::Field<AnchorEntry> kAnchorFields[] = {
    json::member<&AnchorEntry::scheme, json::read_string, json::string_value>("scheme"),
    json::member<&AnchorEntry::content_hash, json::read_string, json::string_value>("content_hash"),
    json::member<&AnchorEntry::uri, json::read_opt_string, json::string_value>("uri", Presence::Optional),
};

json::PResult<AnchorEntry> read_anchor(json::Reader& r) { return json::read_record(r, kAnchorEntryRecord); }

}  // namespace

const json::Record<EmbeddedContent> kEmbeddedContentRecord{"EmbeddedContent", kEmbeddedFields, json::Unknown::Deny,
                                                           true};
const json::Record<DataRef> kDataRefRecord{"DataRef", kDataRefFields, json::Unknown::Collect, false,
                                           &DataRef::extensions};
const json::Record<DataPeriod> kDataPeriodRecord{"DataPeriod", kDataPeriodFields, json::Unknown::Deny, true};
const json::Record<AnchorEntry> kAnchorEntryRecord{"AnchorEntry", kAnchorFields, json::Unknown::Collect, false,
                                                   &AnchorEntry::extensions};

json::PResult<UtcTime> read_date_time(json::Reader& r) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c != '"') return fail(json::peek_invalid_type(r, "an RFC 3339 formatted date and time string"));
  r.eat();
  auto s = r.parse_string_body();
  if (!s) return fail(std::move(s).error());
  auto t = parse_rfc3339_relaxed(*s);
  if (!t) return fail(r.fix(json::ParseError{std::string(time_parse_message(t.error()))}));
  return *t;
}

json::PResult<DataPeriod> read_data_period(json::Reader& r) { return json::read_record(r, kDataPeriodRecord); }

json::PResult<DataRefs> read_data_refs(json::Reader& r) {
  DataRefs out;
  ZELQ_TRY(json::read_into(r, read_data_ref, out));
  return out;
}

json::PResult<std::vector<AnchorEntry>> read_anchors(json::Reader& r) {
  return json::read_seq<AnchorEntry>(r, read_anchor);
}

json::Value date_time_value(const UtcTime& t) { return json::Value(format_rfc3339(t)); }

json::Value data_period_value(const DataPeriod& p) { return json::record_value(p, kDataPeriodRecord); }

json::Value data_ref_value(const DataRef& ref) { return json::record_value(ref, kDataRefRecord); }

json::Value anchor_value(const AnchorEntry& anchor) { return json::record_value(anchor, kAnchorEntryRecord); }

bool operator==(const AnchorEntry& a, const AnchorEntry& b) {
  return a.scheme == b.scheme && a.content_hash == b.content_hash && a.uri == b.uri &&
         json::same_members(a.extensions, b.extensions);
}

std::string anchor_debug(const AnchorEntry& a) {
  std::string s = "AnchorEntry { scheme: " + debug_quote(a.scheme) + ", content_hash: ContentHash(" +
                  debug_quote(a.content_hash) + "), uri: ";
  s += a.uri ? "Some(" + debug_quote(*a.uri) + ")" : std::string("None");
  s += ", extensions: ";
  // The object's debug form without its "Object " tag.
  s += json::debug_string(json::Value(a.extensions)).substr(7);
  s += " }";
  return s;
}

}  // namespace zelq::wire
