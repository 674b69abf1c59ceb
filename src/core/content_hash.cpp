#include "core/content_hash.hpp"

#include <algorithm>

#include "core/ascii.hpp"
#include "core/codec.hpp"
#include "core/json/canonical.hpp"
#include "core/sha256.hpp"

namespace zelq {

namespace {

bool is_excluded(std::string_view key) {
  return std::find(kContentHashExcluded.begin(), kContentHashExcluded.end(), key) != kContentHashExcluded.end();
}

}  // namespace

ZResult<void> check_prefixed_hex64(std::string_view s, std::string_view field, std::string_view prefix) {
  if (!s.starts_with(prefix)) {
    std::string m(field);
    m.append(" must start with '").append(prefix).append("', got: ").append(s);
    return fail(ZelqError::schema(std::move(m)));
  }
  std::string_view digest = s.substr(prefix.size());
  if (digest.size() != 64 || !ascii::all_of(digest, ascii::is_lower_hex)) {
    std::string m(field);
    m.append(" digest must be 64 lowercase hex chars, got: ").append(digest);
    return fail(ZelqError::schema(std::move(m)));
  }
  return {};
}

ZResult<ContentHash> ContentHash::parse(std::string_view text) {
  ZELQ_TRY(check_prefixed_hex64(text, "content_hash", "sha256:"));
  return ContentHash(std::string(text));
}

ContentHash ContentHash::of(std::string_view bytes) { return ContentHash(sha256_prefixed(bytes)); }

ContentHash ContentHash::of_digest(const Digest32& digest) { return ContentHash("sha256:" + hex_encode(digest)); }

Result<ContentHash, ArgumentError> content_hash_argument(std::string_view text) {
  auto h = ContentHash::parse(text);
  if (!h) return fail(ArgumentError{"invalid content_hash: " + h.error().display()});
  return std::move(*h);
}

ZResult<BodyHash> members_content_hash(std::vector<const json::Member*> members) {
  // The canonical object is written from the members where they are: the
  // body is never copied.
  std::erase_if(members, [](const json::Member* m) { return is_excluded(m->key); });
  std::sort(members.begin(), members.end(),
            [](const json::Member* a, const json::Member* b) { return a->key < b->key; });
  std::string canonical = "{";
  for (const json::Member* m : members) {
    if (canonical.size() > 1) canonical.push_back(',');
    write_canonical_string(m->key, canonical);
    canonical.push_back(':');
    ZELQ_TRY(write_canonical_value(m->value, canonical, 1));
  }
  canonical.push_back('}');
  ContentHash hash = ContentHash::of(canonical);
  return BodyHash{std::move(canonical), std::move(hash)};
}

ZResult<BodyHash> body_content_hash(const json::Value& body) {
  if (!body.is_object()) return fail(ZelqError::text(ErrorKind::InvalidBody, "expected a JSON object"));
  std::vector<const json::Member*> members;
  members.reserve(body.as_object().size());
  for (const auto& m : body.as_object()) members.push_back(&m);
  return members_content_hash(std::move(members));
}

ZResult<void> verify_body_content_hash(const json::Value& body, const ContentHash& stored) {
  auto h = body_content_hash(body);
  if (!h) return fail(std::move(h).error());
  if (h->hash != stored) return fail(ZelqError::hash_mismatch(stored.text(), h->hash.text()));
  return {};
}

Result<CanonicalMembers, ArgumentError> canonical_body_argument(std::string_view text, std::string_view role) {
  auto c = canonicalize_members(text, false);
  if (!c) return fail(ArgumentError{"invalid " + std::string(role) + " JSON: " + c.error().display()});
  return std::move(*c);
}

BodyHash hash_of_member_texts(const std::vector<std::string_view>& members) {
  std::size_t size = 2;
  for (auto m : members) size += m.size() + 1;
  std::string canonical;
  canonical.reserve(size);
  canonical.push_back('{');
  for (auto m : members) {
    if (canonical.size() > 1) canonical.push_back(',');
    canonical.append(m);
  }
  canonical.push_back('}');
  ContentHash hash = ContentHash::of(canonical);
  return BodyHash{std::move(canonical), std::move(hash)};
}

bool member_has_key(std::string_view member, std::string_view name) {
  return member.size() > name.size() + 2 && member[0] == '"' && member.substr(1, name.size()) == name &&
         member[name.size() + 1] == '"' && member[name.size() + 2] == ':';
}

ZResult<std::vector<std::string_view>> hashed_member_texts(const CanonicalMembers& body) {
  if (!body.object) return fail(ZelqError::text(ErrorKind::InvalidBody, "expected a JSON object"));
  std::vector<std::string_view> out;
  out.reserve(body.members.size());
  for (const auto& span : body.members) {
    const std::string_view m = body.member(span);
    const bool excluded = std::any_of(kContentHashExcluded.begin(), kContentHashExcluded.end(),
                                      [&](std::string_view name) { return member_has_key(m, name); });
    if (!excluded) out.push_back(m);
  }
  return out;
}

ZResult<BodyHash> body_content_hash(const CanonicalMembers& body) {
  auto members = hashed_member_texts(body);
  if (!members) return fail(std::move(members).error());
  return hash_of_member_texts(*members);
}

ZResult<void> verify_body_content_hash(const CanonicalMembers& body, const ContentHash& stored) {
  auto h = body_content_hash(body);
  if (!h) return fail(std::move(h).error());
  if (h->hash != stored) return fail(ZelqError::hash_mismatch(stored.text(), h->hash.text()));
  return {};
}

ZResult<std::string> signing_digest(json::Object members) {
  members.remove("signature");
  auto canonical = jcs_canonicalize(json::Value(std::move(members)));
  if (!canonical) return fail(std::move(canonical).error());
  return sha256_prefixed(*canonical);
}

std::optional<std::size_t> get_zelq_version(const json::Object& members) {
  const auto& ms = members.members();
  for (std::size_t i = 0; i < ms.size(); ++i) {
    if (ms[i].key == "zelq_version") return i;
  }
  return std::nullopt;
}

}  // namespace zelq
