#include "core/content_hash.hpp"

#include <algorithm>

#include "core/ascii.hpp"
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

Result<ContentHash, ArgumentError> content_hash_argument(std::string_view text) {
  auto h = ContentHash::parse(text);
  if (!h) return fail(ArgumentError{"invalid content_hash: " + h.error().display()});
  return std::move(*h);
}

ZResult<BodyHash> body_content_hash(const json::Value& body) {
  if (!body.is_object()) return fail(ZelqError::text(ErrorKind::InvalidBody, "expected a JSON object"));
  // Copy only what is hashed; member order is irrelevant to the canonical form.
  json::Object kept;
  kept.reserve(body.as_object().size());
  for (const auto& m : body.as_object()) {
    if (!is_excluded(m.key)) kept.insert(m.key, m.value);
  }
  auto canonical = jcs_canonicalize(json::Value(std::move(kept)));
  if (!canonical) return fail(std::move(canonical).error());
  ContentHash hash = ContentHash::of(*canonical);
  return BodyHash{std::move(*canonical), std::move(hash)};
}

ZResult<void> verify_body_content_hash(const json::Value& body, const ContentHash& stored) {
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
