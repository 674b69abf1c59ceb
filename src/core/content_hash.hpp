// The two digests that bind JSON documents to their signatures, both SHA-256
// over the canonical JSON form and both written "sha256:" + 64 lowercase hex:
// the body content hash (producer-controlled members only) and the signing
// digest of a signed artefact (everything but its "signature").
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json.hpp"

namespace zelq {

// Top-level body members that the registry assigns or that carry the hash and
// signature themselves; nested members of the same names stay.
inline constexpr std::array<std::string_view, 6> kContentHashExcluded = {
    "content_hash", "signature", "ctx_id", "lineage_id", "origin_registry", "created_at"};

struct BodyHash {
  std::string canonical;  // the exact bytes that were hashed (the preimage)
  std::string hash;       // "sha256:" + 64 lowercase hex digits
};

// InvalidBody "expected a JSON object" for a non-object; the canonicaliser's
// error unchanged when it refuses the body.
ZResult<BodyHash> body_content_hash(const json::Value& body);

// Recomputes and compares byte for byte with `stored` (no case folding, no
// trimming); HashMismatch carries both texts.
ZResult<void> verify_body_content_hash(const json::Value& body, std::string_view stored);

// Hash of a signed object's members without its top-level "signature".
ZResult<std::string> signing_digest(json::Object members);

// Position of the member named exactly "zelq_version", if any.
std::optional<std::size_t> get_zelq_version(const json::Object& members);

}  // namespace zelq
