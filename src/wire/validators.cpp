#include "wire/validators.hpp"

#include <string>

#include "core/ascii.hpp"
#include "core/content_hash.hpp"
#include "did/did_url.hpp"

namespace zelq::wire {

namespace {

using ascii::all_of;
using ascii::is_lower;
using ascii::is_lower_alnum;

ZelqError schema(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  std::string m;
  m.reserve(a.size() + b.size() + c.size());
  m.append(a).append(b).append(c);
  return ZelqError::schema(std::move(m));
}

bool is_label(std::string_view l) {
  return !l.empty() && l.size() <= 63 && is_lower_alnum(l.front()) && is_lower_alnum(l.back()) &&
         all_of(l, [](int c) { return is_lower_alnum(c) || c == '-'; });
}

constexpr std::string_view kCtxPrefix = "zelq://";

ZResult<void> check_ctx_id(std::string_view s) {
  if (!s.starts_with(kCtxPrefix)) return fail(schema("ctx_id must start with 'zelq://', got: ", s));
  std::string_view rest = s.substr(kCtxPrefix.size());
  auto slash = rest.find('/');
  if (slash == std::string_view::npos) return fail(schema("ctx_id missing '/<uuid>': ", s));
  std::string_view authority = rest.substr(0, slash);
  if (!is_lowercase_dns_hostname(authority)) {
    return fail(schema("ctx_id authority '", authority, "' is not a lowercase DNS hostname"));
  }
  std::string_view uuid = rest.substr(slash + 1);
  if (!is_lowercase_uuid_v4(uuid)) return fail(schema("ctx_id uuid '", uuid, "' is not a lowercase v4 UUID"));
  return {};
}

}  // namespace

// ---- predicates ------------------------------------------------------------

bool is_lowercase_dns_hostname(std::string_view s) {
  if (s.empty() || s.size() > 253) return false;
  for (;;) {
    auto dot = s.find('.');
    if (!is_label(s.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    s.remove_prefix(dot + 1);
  }
}

bool is_lowercase_uuid(std::string_view s) {
  if (s.size() != 36) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool dash_pos = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash_pos ? s[i] != '-' : !ascii::is_lower_hex(s[i])) return false;
  }
  return true;
}

bool is_lowercase_uuid_v4(std::string_view s) {
  if (!is_lowercase_uuid(s)) return false;
  const char v = s[19];
  return s[14] == '4' && (v == '8' || v == '9' || v == 'a' || v == 'b');
}

bool is_lowercase_hex64(std::string_view s) { return s.size() == 64 && all_of(s, ascii::is_lower_hex); }

bool has_non_name_char(std::string_view s) {
  return !all_of(s, [](int c) { return is_lower_alnum(c) || c == '_' || c == '-'; });
}

namespace {

bool is_namespace(std::string_view ns) {
  return !ns.empty() && is_lower(ns.front()) && all_of(ns, [](int c) { return is_lower_alnum(c) || c == '_'; });
}

bool is_type_name(std::string_view name) {
  return !name.empty() && is_lower(name.front()) && !has_non_name_char(name);
}

}  // namespace

bool is_custom_context_type(std::string_view s) {
  auto colon = s.find(':');
  if (colon == std::string_view::npos) return false;
  return is_namespace(s.substr(0, colon)) && is_type_name(s.substr(colon + 1));
}

bool is_dotted_scheme(std::string_view s) {
  std::size_t segments = 0;
  for (;;) {
    auto dot = s.find('.');
    std::string_view seg = s.substr(0, dot);
    if (seg.empty() || !is_lower(seg.front()) ||
        !all_of(seg, [](int c) { return is_lower_alnum(c) || c == '-'; })) {
      return false;
    }
    ++segments;
    if (dot == std::string_view::npos) return segments >= 2;
    s.remove_prefix(dot + 1);
  }
}

std::string_view split_ctx_id(std::string_view s) {
  if (!s.starts_with(kCtxPrefix)) return {};
  std::string_view rest = s.substr(kCtxPrefix.size());
  return rest.substr(0, rest.find('/'));
}

// ---- validators ------------------------------------------------------------

ZResult<CtxId> CtxId::parse(std::string_view text) {
  ZELQ_TRY(check_ctx_id(text));
  return CtxId(std::string(text));
}

ZResult<CtxId> CtxId::parse(std::string&& text) {
  ZELQ_TRY(check_ctx_id(text));
  return CtxId(std::move(text));
}

std::string_view CtxId::authority() const { return split_ctx_id(text_); }

ZResult<std::string> validate_ctx_id(std::string_view s) {
  ZELQ_TRY(check_ctx_id(s));
  return std::string(s);
}

ZResult<std::string> validate_ctx_id(std::string&& s) {
  ZELQ_TRY(check_ctx_id(s));
  return std::move(s);
}

ZResult<std::string> validate_content_hash(std::string_view s) {
  ZELQ_TRY(check_prefixed_hex64(s, "content_hash", "sha256:"));
  return std::string(s);
}

ZResult<std::string> validate_lineage_id(std::string_view s) {
  ZELQ_TRY(check_prefixed_hex64(s, "lineage_id", "lin:sha256:"));
  return std::string(s);
}

ZResult<std::string> validate_did(std::string_view s) {
  if (s.size() < 7 || s.size() > 2048) {
    return fail(schema("DID length ", std::to_string(s.size()), " not in 7..=2048"));
  }
  if (!s.starts_with("did:")) return fail(schema("DID missing 'did:' prefix: ", s));
  std::string_view rest = s.substr(4);
  auto colon = rest.find(':');
  if (colon == std::string_view::npos) return fail(schema("DID must have method:id form: ", s));
  std::string_view method = rest.substr(0, colon);
  if (method.empty() || !all_of(method, is_lower_alnum)) {
    return fail(schema("DID method '", method, "' must match [a-z0-9]+"));
  }
  // "%" is taken as is: the two characters after it are not checked.
  std::string_view id = rest.substr(colon + 1);
  if (id.empty() || !all_of(id, [](int c) {
        return is_lower_alnum(c) || ascii::is_upper(c) || c == '.' || c == '_' || c == ':' || c == '%' || c == '-';
      })) {
    return fail(schema("DID method-specific id '", id, "' contains invalid characters"));
  }
  return std::string(s);
}

ZResult<void> validate_producer_did(std::string_view s) {
  ZELQ_TRY(validate_did(s));
  if (did::is_did_key(s)) return did_key_identifier_decodes(s.substr(did::kDidKeyPrefix.size()));
  if (!did::is_did_web(s)) return fail(schema("v0.1.0 producers MUST use did:web; got: ", s));
  return {};
}

ZResult<void> validate_key_id(std::string_view s) {
  if (did::is_did_key(s)) return did_key_url_resolves(s);
  return {};
}

ZResult<void> validate_semver(std::string_view s) {
  int parts = 0;
  bool ok = true;
  std::string_view rest = s;
  for (;;) {
    auto dot = rest.find('.');
    std::string_view part = rest.substr(0, dot);
    ok = ok && !part.empty() && all_of(part, ascii::is_digit);
    ++parts;
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  if (!ok || parts != 3) {
    return fail(schema("zelq_version '", s, "' must match the semver pattern ^\\d+\\.\\d+\\.\\d+$"));
  }
  return {};
}

ZResult<void> validate_origin_registry(std::string_view s) {
  if (s.empty()) return fail(schema("origin_registry must be a non-empty DNS hostname"));
  if (s.starts_with("did:")) {
    return fail(schema("origin_registry must be a DNS hostname, not a DID URI (got '", s,
                       "'); use the bare authority \xE2\x80\x94 capabilities.registry_did carries the did:web form"));
  }
  if (s.find("://") != std::string_view::npos) {
    return fail(schema("origin_registry must be a DNS hostname, not a URL (got '", s, "')"));
  }
  if (s.front() == '.' || s.back() == '.') {
    return fail(schema("origin_registry must be a syntactically valid DNS hostname (got '", s, "')"));
  }
  if (!is_lowercase_dns_hostname(s)) {
    return fail(schema("origin_registry '", s,
                       "' is not a valid DNS hostname (must be lowercase labels of [a-z0-9-] separated by "
                       "dots, e.g. 'registry.example.com')"));
  }
  return {};
}

ZResult<void> validate_context_type(std::string_view s) {
  auto colon = s.find(':');
  if (colon == std::string_view::npos) return fail(schema("context_type '", s, "' missing namespace separator"));
  std::string_view ns = s.substr(0, colon);
  if (!is_namespace(ns)) return fail(schema("context_type namespace '", ns, "' must match [a-z][a-z0-9_]*"));
  std::string_view name = s.substr(colon + 1);
  if (!is_type_name(name)) return fail(schema("context_type name '", name, "' must match [a-z][a-z0-9_-]*"));
  return {};
}

namespace {

struct KnownStatus {
  std::string_view word;
  ContextStatus::Kind kind;
};

constexpr KnownStatus kKnownStatuses[] = {
    {"active", ContextStatus::Kind::Active},
    {"superseded", ContextStatus::Kind::Superseded},
    {"expired", ContextStatus::Kind::Expired},
    {"retracted", ContextStatus::Kind::Retracted},
};

}  // namespace

std::string_view ContextStatus::word() const {
  for (const auto& k : kKnownStatuses) {
    if (k.kind == kind) return k.word;
  }
  return other;
}

bool is_open_vocabulary_word(std::string_view s) {
  return !s.empty() && s.size() <= 64 && is_lower(s.front()) && all_of(s, [](int c) { return is_lower_alnum(c) || c == '_'; });
}

ZResult<ContextStatus> validate_status(std::string_view s) {
  for (const auto& k : kKnownStatuses) {
    if (s == k.word) return ContextStatus{k.kind, {}};
  }
  if (!is_open_vocabulary_word(s)) {
    return fail(schema("status '", s, "' does not match the open-enum pattern ^[a-z][a-z0-9_]*$ (length 1..=64)"));
  }
  return ContextStatus{ContextStatus::Kind::Other, std::string(s)};
}

}  // namespace zelq::wire
