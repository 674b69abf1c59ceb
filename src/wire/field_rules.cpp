#include "wire/field_rules.hpp"

#include <string>
#include <unordered_map>

#include "core/ascii.hpp"
#include "core/codec.hpp"
#include "core/json/canonical.hpp"
#include "core/sha256.hpp"
#include "core/utf8.hpp"
#include "crypto/algorithm.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

namespace {

std::string num(std::size_t n) { return std::to_string(n); }

// Index of the first entry that equals a later one, or npos. Same answer as
// comparing every pair in order, in linear time.
std::size_t first_repeated(const json::StringList& entries) {
  std::unordered_map<std::string_view, std::size_t> count;
  count.reserve(entries.size());
  for (std::string_view e : entries) ++count[e];
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (count[entries[i]] > 1) return i;
  return std::string::npos;
}

ZResult<void> check_location_uri(const std::string& uri) {
  if (uri.size() < kMinLocationUriBytes || uri.size() > kMaxLocationUriBytes)
    return fail(ZelqError::schema("DataRef.location URI length " + num(uri.size()) + " not in 3..=" +
                                  num(kMaxLocationUriBytes)));
  auto colon = uri.find(':');
  if (colon == std::string::npos) return fail(ZelqError::schema("URI missing scheme: " + uri));
  std::string_view scheme(uri.data(), colon);
  const bool ok = !scheme.empty() && ascii::is_lower(scheme.front()) &&
                  ascii::all_of(scheme, [](int c) { return ascii::is_lower_alnum(c) || c == '+' || c == '.' || c == '-'; });
  if (!ok)
    return fail(ZelqError::schema("URI scheme '" + std::string(scheme) + "' invalid; must match [a-z][a-z0-9+.-]*"));
  std::string_view rest = std::string_view(uri).substr(colon + 1);
  if (rest.starts_with("//")) {
    std::string_view authority = rest.substr(2);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos)
      return fail(ZelqError::schema("URI MUST NOT contain credentials in userinfo: " + uri));
  }
  return {};
}

ZResult<void> check_structured_locator(const json::Object& loc) {
  const json::Value* scheme = loc.find("scheme");
  if (!scheme || !scheme->is_string()) return fail(ZelqError::schema("structured locator missing required 'scheme'"));
  if (!is_dotted_scheme(scheme->as_string()))
    return fail(ZelqError::schema("structured locator scheme '" + scheme->as_string() +
                                  "' must match ^[a-z][a-z0-9-]*(\\.[a-z][a-z0-9-]*)+$"));
  return {};
}

ZResult<void> check_embedded(const EmbeddedContent& e) {
  if (e.encoding != EmbeddedEncoding::Json && !e.content.is_string())
    return fail(ZelqError::schema(std::string("embedded ") +
                                  EnumNames<EmbeddedEncoding>::debug[static_cast<std::size_t>(e.encoding)] +
                                  " content MUST be a JSON string"));
  if (e.content_hash) ZELQ_TRY(validate_content_hash(*e.content_hash));
  auto bytes = decode_embedded_content(e);
  if (!bytes) return fail(std::move(bytes).error());
  if (bytes->size() > kMaxEmbeddedBytes)
    return fail(ZelqError::text(ErrorKind::EmbeddedTooLarge, "embedded decoded size " + num(bytes->size()) +
                                                                 " bytes exceeds " + num(kMaxEmbeddedBytes) + " limit"));
  if (e.content_hash) {
    std::string computed = sha256_prefixed(*bytes);
    if (computed != *e.content_hash)
      return fail(ZelqError::text(ErrorKind::DataRefHashMismatch, "embedded.content_hash mismatch: declared " +
                                                                      *e.content_hash + ", computed " + computed));
  }
  return {};
}

}  // namespace

std::string agent_did_debug(std::string_view s) { return "AgentDid(" + debug_quote(s) + ")"; }
std::string ctx_id_debug(std::string_view s) { return "CtxId(" + debug_quote(s) + ")"; }

namespace {

// The count, then the first entry that comes again later; `entries` holds
// them all whenever the count is within the limit.
ZResult<void> check_count_unique(std::string_view name, std::size_t count, const json::StringList& entries,
                                 std::size_t limit) {
  if (count > limit)
    return fail(ZelqError::schema(std::string(name) + " has " + num(count) + " items, exceeds " + num(limit)));
  if (auto i = first_repeated(entries); i != std::string::npos)
    return fail(ZelqError::schema(std::string(name) + " contains duplicate entry: " + agent_did_debug(entries[i])));
  return {};
}

}  // namespace

ZResult<void> check_list_limit_unique(std::string_view name, const json::StringList& entries, std::size_t limit) {
  return check_count_unique(name, entries.size(), entries, limit);
}

ZResult<void> check_list_limit_unique(std::string_view name, const Audience& entries, std::size_t limit) {
  return check_count_unique(name, entries.size(), entries.entries(), limit);
}

ZResult<void> check_derived_from_list(const DerivedFrom& list) {
  if (list.size() > kMaxDerivedFrom)
    return fail(ZelqError::schema("derived_from has " + num(list.size()) + " items, exceeds " +
                                  num(kMaxDerivedFrom)));
  const json::StringList& entries = list.entries();
  if (auto i = first_repeated(entries); i != std::string::npos)
    return fail(ZelqError::schema("derived_from contains duplicate entry: " + ctx_id_debug(entries[i])));
  return {};
}

ZResult<void> validate_tags(const Tags& list) {
  if (list.size() > kMaxTags)
    return fail(ZelqError::schema("tags has " + num(list.size()) + " entries, exceeds " + num(kMaxTags)));
  const json::StringList& tags = list.entries();
  auto refuse = [](std::string_view tag, const std::string& rule) {
    return fail(ZelqError::schema("tag '" + std::string(tag) + "' " + rule));
  };
  for (std::string_view t : tags) {
    if (t.empty() || t.size() > kMaxTagBytes) return refuse(t, "length not in 1..=" + num(kMaxTagBytes));
    if (!ascii::is_alnum(t.front())) return refuse(t, "first char must be alphanumeric");
    if (!ascii::all_of(t, [](int c) { return ascii::is_alnum(c) || c == '_' || c == '.' || c == '-'; }))
      return refuse(t, "must match [A-Za-z0-9][A-Za-z0-9_.-]*");
  }
  if (auto i = first_repeated(tags); i != std::string::npos)
    return fail(ZelqError::schema("tags contains duplicate entry: " + std::string(tags[i])));
  return {};
}

ZResult<void> check_visibility_audience(Visibility v, const std::optional<Audience>& audience) {
  const bool has_entries = audience && !audience->empty();
  if (v == Visibility::Public && has_entries)
    return fail(ZelqError::schema("visibility:public MUST NOT include audience"));
  if (v == Visibility::Restricted && !has_entries)
    return fail(ZelqError::schema("visibility:restricted requires a non-empty audience"));
  return {};
}

ZResult<void> validate_did_field(std::string_view did) {
  auto r = validate_did(did);
  if (!r) return fail(std::move(r).error());
  return {};
}

std::size_t json_nesting_depth(const json::Value& v, std::size_t budget) {
  if (budget == 0) return 1;
  std::size_t deepest = 0;
  if (v.is_array()) {
    if (v.as_array().empty()) return 1;
    for (const auto& e : v.as_array()) deepest = std::max(deepest, json_nesting_depth(e, budget - 1));
    return 1 + deepest;
  }
  if (v.is_object()) {
    if (v.as_object().empty()) return 1;
    for (const auto& m : v.as_object()) deepest = std::max(deepest, json_nesting_depth(m.value, budget - 1));
    return 1 + deepest;
  }
  return 0;
}

namespace {

// The limits of a free-form object in their order: its member count, then
// its depth, then its canonical size, each measured only once the one
// before has passed.
template <class Depth, class Size>
ZResult<void> check_object_limits(std::string_view name, std::size_t members, Depth depth, Size canonical_size) {
  const std::string n(name);
  if (members > kMaxObjectMembers)
    return fail(ZelqError::schema(n + " has " + num(members) + " top-level properties, exceeds " +
                                  num(kMaxObjectMembers) + " limit"));
  if (std::size_t d = depth(); d > kMaxObjectDepth)
    return fail(ZelqError::schema(n + " nesting depth " + num(d) + " exceeds " + num(kMaxObjectDepth)));
  ZResult<std::size_t> size = canonical_size();
  if (!size) return fail(std::move(size).error());
  if (*size > kMaxObjectCanonicalBytes)
    return fail(ZelqError::schema(n + " JCS-canonical size " + num(*size) + " bytes exceeds " +
                                  num(kMaxObjectCanonicalBytes)));
  return {};
}

ZelqError not_an_object(std::string_view name) { return ZelqError::schema(std::string(name) + " must be a JSON object"); }

// The depth of a canonical text: its deepest bracket. Canonical strings
// escape only '"' and '\' among the characters that matter here.
std::size_t canonical_depth(std::string_view text) {
  std::size_t depth = 0, deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

ZResult<void> check_json_object_limits(const json::Value& v, std::string_view name) {
  if (!v.is_object()) return fail(not_an_object(name));
  return check_object_limits(
      name, v.as_object().size(), [&] { return json_nesting_depth(v, kJcsMaxDepth); },
      [&]() -> ZResult<std::size_t> {
        auto canonical = jcs_canonicalize(v);
        if (!canonical) return fail(std::move(canonical).error());
        return canonical->size();
      });
}

ZResult<void> check_object_text_limits(const json::MemberTexts& members, std::string_view name) {
  const std::vector<std::size_t> last = members.last_of_each();
  // Each value is canonicalized on its own, one at a time: its depth and
  // size are all the object's limits need of it.
  std::size_t deepest = 0;
  std::size_t size = 2 + (last.empty() ? 0 : last.size() - 1);
  std::string key;
  auto measure = [&] {
    for (std::size_t i : last) {
      auto canonical = canonicalize_text(members.value(i));
      if (!canonical) continue;  // the texts were read: unreachable
      deepest = std::max(deepest, canonical_depth(*canonical));
      key.clear();
      write_canonical_string(members.key(i), key);
      size += key.size() + 1 + canonical->size();
    }
    return 1 + deepest;
  };
  return check_object_limits(name, last.size(), measure, [&]() -> ZResult<std::size_t> { return size; });
}

ZResult<void> validate_extensions(const json::Object& extensions) {
  if (extensions.empty()) return {};
  return check_json_object_limits(json::Value(extensions), "extensions");
}

json::PResult<JudgedObject> read_judged_object(json::Reader& r, std::string_view name,
                                               std::span<const std::string_view> keep) {
  if (r.peek_ws() != '{') {
    auto text = json::read_value_text(r);
    if (!text) return fail(std::move(text).error());
    return JudgedObject{std::nullopt, not_an_object(name)};
  }
  auto members = json::read_member_texts(r);
  if (!members) return fail(std::move(members).error());
  if (auto judged = check_object_text_limits(*members, name); !judged) {
    std::optional<json::Value> kept;
    // Those members are looked up for their kind and a scalar's value.
    if (!keep.empty()) kept = json::Value(members->only(keep, json::kind_prune()));
    return JudgedObject{std::move(kept), std::move(judged).error()};
  }
  return JudgedObject{json::Value(members->to_object()), std::nullopt};
}

json::PResult<JudgedObject> read_judged_object(std::string_view text, std::string_view name) {
  json::Reader r(text);
  auto judged = read_judged_object(r, name, {});
  if (!judged) return judged;
  ZELQ_TRY(r.end());
  return judged;
}

ZResult<void> validate_data_ref(const DataRef& ref) {
  if (!ref.location && !ref.embedded)
    return fail(ZelqError::schema("DataRef requires exactly one of 'location' or 'embedded' (got neither)"));
  if (ref.location && ref.embedded)
    return fail(ZelqError::schema("DataRef requires exactly one of 'location' or 'embedded' (got both)"));
  if (ref.content_hash) ZELQ_TRY(validate_content_hash(*ref.content_hash));
  if (ref.description) {
    if (auto chars = utf8_char_count(*ref.description); chars > kMaxDataRefDescriptionChars)
      return fail(ZelqError::schema("DataRef.description " + num(chars) + " chars exceeds " +
                                    num(kMaxDataRefDescriptionChars) + " limit"));
  }
  if (ref.location) {
    if (ref.location->is_uri()) return check_location_uri(ref.location->uri());
    return check_structured_locator(ref.location->structured());
  }
  return check_embedded(*ref.embedded);
}

ZResult<std::string> decode_embedded_content(const EmbeddedContent& e) {
  switch (e.encoding) {
    case EmbeddedEncoding::Json:
      return jcs_canonicalize(e.content);
    case EmbeddedEncoding::Utf8:
      return e.content.as_string();
    case EmbeddedEncoding::Base64: {
      auto bytes = base64_decode(e.content.as_string());
      if (!bytes) return fail(ZelqError::schema("base64 decode failed: " + bytes.error()));
      return std::string(bytes->begin(), bytes->end());
    }
  }
  return fail(ZelqError::schema("unknown embedded encoding"));
}

ZResult<void> validate_anchors(const std::vector<AnchorEntry>& anchors) {
  if (anchors.empty())
    return fail(ZelqError::schema(
        "anchors MUST be omitted entirely (never sent as an empty array) when there is nothing to anchor \xe2\x80\x94 "
        "the absent-when-empty convention (RFC-ZELQ-0016 \xc2\xa7" "4)"));
  if (anchors.size() > kMaxAnchors)
    return fail(ZelqError::schema("anchors has " + num(anchors.size()) + " items, exceeds " + num(kMaxAnchors)));
  for (std::size_t i = 0; i < anchors.size(); ++i)
    for (std::size_t j = i + 1; j < anchors.size(); ++j)
      if (anchors[i] == anchors[j])
        return fail(ZelqError::schema("anchors contains duplicate entry: " + anchor_debug(anchors[i])));
  for (const auto& a : anchors) {
    if (!is_dotted_scheme(a.scheme))
      return fail(ZelqError::schema("anchor scheme '" + a.scheme +
                                    "' must match ^[a-z][a-z0-9-]*(\\.[a-z][a-z0-9-]*)+$ (RFC-ZELQ-0016 \xc2\xa7" "4)"));
    ZELQ_TRY(validate_content_hash(a.content_hash));
  }
  return {};
}

ZResult<void> check_signature_value_length(std::string_view algorithm, std::size_t value_len) {
  if (crypto::algorithm_from_name(algorithm) && value_len != kSignatureValueChars)
    return fail(ZelqError::invalid_signature("signature.value for '" + std::string(algorithm) + "' must be " +
                                             num(kSignatureValueChars) + " base64 chars, got " + num(value_len)));
  return {};
}

ZResult<void> validate_identifiers(std::string_view ctx_id, std::string_view lineage_id,
                                   std::string_view content_hash) {
  ZELQ_TRY(validate_ctx_id(ctx_id));
  ZELQ_TRY(validate_lineage_id(lineage_id));
  ZELQ_TRY(validate_content_hash(content_hash));
  return {};
}

}  // namespace zelq::wire
