#include "core/content_hash.hpp"

#include <algorithm>

#include "core/jcs.hpp"
#include "core/sha256.hpp"

namespace zelq {

namespace {

bool is_excluded(std::string_view key) {
  return std::find(kContentHashExcluded.begin(), kContentHashExcluded.end(), key) != kContentHashExcluded.end();
}

}  // namespace

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
  std::string hash = sha256_prefixed(*canonical);
  return BodyHash{std::move(*canonical), std::move(hash)};
}

ZResult<void> verify_body_content_hash(const json::Value& body, std::string_view stored) {
  auto h = body_content_hash(body);
  if (!h) return fail(std::move(h).error());
  if (h->hash != stored) return fail(ZelqError::hash_mismatch(std::string(stored), std::move(h->hash)));
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
